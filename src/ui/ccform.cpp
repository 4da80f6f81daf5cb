#include "ui/ccform.h"

#include "synth/controllermap.h"
#include "synth/controltips.h"
#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/toolkit.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>

TFormCc::TFormCc(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName("FormCc");
    setWindowTitle("Setup Midi Controllers - VI 801");
    setFixedSize(526, 497);
    setFont(StandardFont());

    GroupBoxCc = new QGroupBox("Midi Controllers", this);
    GroupBoxCc->setObjectName("GroupBoxCc");
    GroupBoxCc->setGeometry(4, 4, 517, 485);
    ValueListEditorCc = new ValueListEditor(GroupBoxCc);
    ValueListEditorCc->setObjectName("ValueListEditorCc");
    ValueListEditorCc->setGeometry(10, 20, 495, 453);
    ValueListEditorCc->SetTitles("Function", "Value");
    for (const ControllerRow& row : kControllerRows)
        ValueListEditorCc->AddRow(row.key, QString::number(row.defaultNumber));
    ValueListEditorCc->setColumnWidth(0, 401);
    ValueListEditorCc->setColumnWidth(1, 88);
    SetAccessible(ValueListEditorCc, ControlAccessible("ValueListEditorCc"));
    for (int row = 0; row < kControllerRowCount; ++row) {
        const AccessibleText value = ControllerValueAccessible(kControllerRows[row].key);
        ValueListEditorCc->SetValueAccessible(row, QString::fromStdString(value.name),
                                              QString::fromStdString(value.description));
    }
    ValueListEditorCc->SetValueTip([](const QString& value) {
        return QString::fromStdString(ControllerValueTip(value.toStdString()));
    });

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

int TFormCc::BoundRow(int number) const {
    const QString text = QString::number(number);
    for (int row = 0; row < kControllerRowCount; ++row)
        if (ValueListEditorCc->Value(kControllerRows[row].key) == text) return row;
    return -1;
}
