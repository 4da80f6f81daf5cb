#pragma once
// Tooltips made when they are asked for, from the value the control holds
// then, so that they never go stale; a track bar also shows the first
// clause of its tip beside its handle while it is dragged, for the value
// under the handle.
#include <QString>

#include <functional>

class QWidget;

using TipText = std::function<QString(int value)>;

// The tip of a check box (value 0 or 1), a list (its item, -1 for none), a
// track bar (its position) or any other widget (value 0).
void SetTip(QWidget* control, TipText text);
// What its tip says now; empty when it has none.
QString TipOf(const QWidget* control);
