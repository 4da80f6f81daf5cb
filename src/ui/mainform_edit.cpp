// Added in the window's free room: the Edit menu (undo, redo,
// the A/B compare) and the Play menu (the pedals, the bend range). The core
// does the work; these hand it the user's choice and show what it holds.
#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/mainform.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

namespace {

// The ranges the menu offers, in semitones; registered parameter 0 sets any.
constexpr int kBendSemitones[] = {1, 2, 3, 4, 5, 7, 12, 24};

QToolButton* MakeMenuButton(QWidget* parent, const char* name, const char* text, QRect at,
                            QMenu* menu) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setGeometry(at);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    return button;
}

QAction* AddItem(QWidget* window, QMenu* menu, const char* name, const QString& text,
                 const QKeySequence& keys = {}) {
    QAction* item = menu->addAction(text);
    item->setObjectName(name);
    if (!keys.isEmpty()) {
        item->setShortcut(keys);
        window->addAction(item); // the keys work while the menu is closed
    }
    return item;
}

QString RangeText(int cents) {
    if (cents % 100 == 0)
        return QStringLiteral("\u00B1%1 semitone%2").arg(cents / 100).arg(cents == 100 ? "" : "s");
    return QStringLiteral("\u00B1%1 cents").arg(cents);
}

} // namespace

void TFormMain::BuildPlayMenu() {
    PopupMenuPlay = new QMenu(this);
    PopupMenuPlay->setObjectName("PopupMenuPlay");
    MenuItemPedals = AddItem(this, PopupMenuPlay, "MenuItemPedals",
                             "Sustain and sostenuto pedals (controllers 64, 66)");
    MenuItemPedals->setCheckable(true);
    MenuItemPedals->setChecked(true);
    MenuBendRange = PopupMenuPlay->addMenu(QString());
    MenuBendRange->setObjectName("MenuBendRange");
    for (int semitones : kBendSemitones) {
        QAction* item = MenuBendRange->addAction(RangeText(100 * semitones));
        item->setCheckable(true);
        item->setData(100 * semitones);
        BendRangeItems.push_back(item);
    }
    ButtonPlay = MakeMenuButton(PanelMidi, "ButtonPlay", "Play", {72, 68, 36, 25}, PopupMenuPlay);
}

void TFormMain::BuildEditMenu() {
    PopupMenuEdit = new QMenu(this);
    PopupMenuEdit->setObjectName("PopupMenuEdit");
    MenuItemUndo = AddItem(this, PopupMenuEdit, "MenuItemUndo", "Undo", QKeySequence::Undo);
    MenuItemRedo = AddItem(this, PopupMenuEdit, "MenuItemRedo", "Redo",
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    PopupMenuEdit->addSeparator();
    MenuItemCompare = AddItem(this, PopupMenuEdit, "MenuItemCompare", "Compare A / B",
                              QKeySequence(Qt::CTRL | Qt::Key_B));
    MenuItemCopyAToB = AddItem(this, PopupMenuEdit, "MenuItemCopyAToB", "Copy A to B");
    ButtonEdit = MakeMenuButton(PanelSynth, "ButtonEdit", "Edit", {940, 4, 36, 21}, PopupMenuEdit);
    ButtonCompare = new QToolButton(PanelSynth);
    ButtonCompare->setObjectName("ButtonCompare");
    ButtonCompare->setText("A");
    ButtonCompare->setGeometry(940, 27, 36, 21);
    ButtonCompare->setToolTip("The patch sounding, A or B: click to compare (Ctrl+B)");
}

void TFormMain::ConnectEditing() {
    const auto on = [this](QAction* item, void (TFormMain::*handler)()) {
        connect(item, &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    };
    on(MenuItemUndo, &TFormMain::UndoClick);
    on(MenuItemRedo, &TFormMain::RedoClick);
    on(MenuItemCompare, &TFormMain::CompareClick);
    on(MenuItemCopyAToB, &TFormMain::CopyAToBClick);
    on(MenuItemPedals, &TFormMain::PedalsClick);
    OnClick(ButtonCompare, [this] { CompareClick(); });
    for (QAction* item : BendRangeItems)
        connect(item, &QAction::triggered, this, [this, item] {
            RunGuarded([this, item] { BendRangeClick(item->data().toInt()); });
        });
    // A drag of any bar is one step of the patch.
    for (QSlider* bar : findChildren<QSlider*>()) {
        connect(bar, &QSlider::sliderPressed, this, [this] {
            if (Link) Link->Send(command::Gesture{true});
        });
        connect(bar, &QSlider::sliderReleased, this, [this] {
            if (Link) Link->Send(command::Gesture{false});
        });
    }
}

void TFormMain::UndoClick() {
    Link->Send(command::Undo{});
    ShowCore();
}

void TFormMain::RedoClick() {
    Link->Send(command::Redo{});
    ShowCore();
}

void TFormMain::CompareClick() {
    Link->Send(command::SwitchCompare{});
    ShowCore();
}

void TFormMain::CopyAToBClick() {
    Link->Send(command::CopyAToB{});
    ShowCore();
}

void TFormMain::PedalsClick() {
    Link->Send(command::PedalsEnabled{MenuItemPedals->isChecked()});
    ShowCore();
}

void TFormMain::BendRangeClick(int cents) {
    Link->Send(command::BendRange{cents});
    ShowCore();
}

void TFormMain::ForgetHistory() {
    if (!Link) return;
    Link->Send(command::ForgetHistory{});
    ShowCore();
}

void TFormMain::ShowEditing(const SynthState& state) {
    MenuItemUndo->setEnabled(state.undoSteps > 0);
    MenuItemRedo->setEnabled(state.redoSteps > 0);
    ButtonCompare->setText(state.comparingB ? "B" : "A");
    {
        const QSignalBlocker quiet(MenuItemPedals);
        MenuItemPedals->setChecked(state.pedalsEnabled);
    }
    MenuBendRange->setTitle("Bend range: " + RangeText(state.bendRange));
    for (QAction* item : BendRangeItems)
        item->setChecked(item->data().toInt() == state.bendRange);
    if (!ControllerForm) return;
    if (!shown_ || shown_->learnRow != state.learnRow) ControllerForm->ShowLearning(state.learnRow);
    if (shown_ && shown_->learned.serial != state.learned.serial)
        ControllerForm->ShowLearned(state.learned);
}
