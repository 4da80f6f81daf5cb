#pragma once
// The mini keyboard window. It is shown by the main window's "Kbd" button.
#include <QWidget>

class TFormKBD : public QWidget {
public:
    using QWidget::QWidget;
};
