#pragma once
// The controller dialog: which MIDI controller each of the twenty-two
// functions follows. Its table is the only state of the binding and is read
// afresh at every control change; an edited number counts from the next one.
// Shown modelessly by the main window's "CC" button; closing only hides it.
#include <QWidget>

class QGroupBox;
class ValueListEditor;

class TFormCc : public QWidget {
public:
    explicit TFormCc(QWidget* owner = nullptr);

    // The row a controller number is bound to: the first whose value text
    // is exactly its decimal text. -1 when none is.
    int BoundRow(int number) const;

    QGroupBox* GroupBoxCc;
    ValueListEditor* ValueListEditorCc;
};
