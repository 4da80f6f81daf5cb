#include "ui/ccform.h"

#include "synth/controllermap.h"
#include "synth/controltips.h"
#include "synth/synthstate.h"
#include "ui/accessible.h"
#include "ui/accessiblenames.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QShortcut>

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
    BuildLearning();
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

// The line sits in the group box's title row, right of its caption.
void TFormCc::BuildLearning() {
    LabelLearn = new QLabel(this);
    LabelLearn->setObjectName("LabelLearn");
    LabelLearn->setGeometry(112, 2, 406, 16);
    LabelLearn->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelLearn->setAutoFillBackground(true);
    LabelLearn->hide();

    PopupMenuRows = new QMenu(this);
    PopupMenuRows->setObjectName("PopupMenuRows");
    MenuItemLearn = PopupMenuRows->addAction("Learn");
    MenuItemLearn->setObjectName("MenuItemLearn");
    MenuItemStopLearn = PopupMenuRows->addAction("Stop learning");
    MenuItemStopLearn->setObjectName("MenuItemStopLearn");
    MenuItemStopLearn->setEnabled(false);
    connect(MenuItemLearn, &QAction::triggered, this,
            [this] { Learn(ValueListEditorCc->currentRow()); });
    connect(MenuItemStopLearn, &QAction::triggered, this, [this] { Learn(-1); });
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape_->setEnabled(false);
    connect(escape_, &QShortcut::activated, this, [this] { Learn(-1); });

    ValueListEditorCc->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ValueListEditorCc, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const int row = ValueListEditorCc->rowAt(at.y());
        if (row < 0) return;
        ValueListEditorCc->setCurrentCell(row, 0);
        PopupMenuRows->popup(ValueListEditorCc->viewport()->mapToGlobal(at));
    });
}

void TFormCc::Learn(int row) {
    if (row >= kControllerRowCount) return;
    RunGuarded([this, row] {
        if (learn_) learn_(row);
    });
}

int TFormCc::BoundRow(int number) const {
    const QString text = QString::number(number);
    for (int row = 0; row < kControllerRowCount; ++row)
        if (ValueListEditorCc->Value(kControllerRows[row].key) == text) return row;
    return -1;
}

QString TFormCc::RowName(int row) const {
    if (row < 0 || row >= kControllerRowCount) return {};
    return QString(kControllerRows[row].key).trimmed();
}

void TFormCc::ShowLearning(int row) {
    const bool was = learning_ >= 0;
    learning_ = row;
    escape_->setEnabled(row >= 0);
    MenuItemStopLearn->setEnabled(row >= 0);
    if (row >= 0) {
        LabelLearn->setText(
            QStringLiteral("Move a controller for \"%1\" (Esc stops)").arg(RowName(row)));
        LabelLearn->show();
    } else if (was && LabelLearn->text().startsWith("Move")) {
        LabelLearn->hide(); // stopped without a binding
    }
}

void TFormCc::ShowLearned(const LearnedBinding& learned) {
    const QString row = RowName(learned.row);
    if (learned.lost >= 0)
        LabelLearn->setText(QStringLiteral("Controller %1 moved from \"%2\" to \"%3\"")
                                .arg(learned.number)
                                .arg(RowName(learned.lost), row));
    else
        LabelLearn->setText(
            QStringLiteral("\"%1\" follows controller %2").arg(row).arg(learned.number));
    LabelLearn->show();
}
