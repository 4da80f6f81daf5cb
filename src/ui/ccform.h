#pragma once
// The controller dialog. It is shown by the main window's "CC" button.
#include <QWidget>

class TFormCc : public QWidget {
public:
    using QWidget::QWidget;
};
