// The main window's additions on the recorder: its Edit menu and keys
// reach the core's undo and compare and show what they did, the Play menu
// sets the pedals and the bend range, and the controller window learns.
#include "mainwindow_support.h"

#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/shortmessage.h"
#include "synth/corelink.h"
#include "ui/ccform.h"
#include "ui/opframe.h"
#include "ui/toolkit.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

void Send(TFormMain& w, uint8_t status, uint8_t data1, uint8_t data2) {
    PostMessage(&w, MM_MIM_DATA, 1, PackShortMessage({status, data1, data2}));
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
}

// Attack of operator 3 in slot 0: the bar and the chip must agree.
int AttackOnChip(const TFormMain& w) {
    return w.Fm801->Opl3->ReadRegister(0x60 + OPL3::OperatorOffset[3 * 2]) >> 4;
}

void Drag(QSlider* bar, std::initializer_list<int> values) {
    bar->setSliderDown(true);
    for (int v : values)
        bar->setValue(v);
    bar->setSliderDown(false);
}

void Key(QWidget& w, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(&w, key, modifiers);
}

} // namespace

TEST(Editing, ADragIsOneStepThatTheKeysUndoAndRedoWithTheChip) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_FALSE(w.MenuItemUndo->isEnabled()); // the start is no step
    QSlider* attack = w.OperatorFrames[2]->TrackBarAttack;
    const int before = attack->value();
    Drag(attack, {before - 1, before - 3, 4});
    EXPECT_EQ(AttackOnChip(w), 4);
    EXPECT_TRUE(w.MenuItemUndo->isEnabled());

    Key(w, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(attack->value(), before);
    EXPECT_EQ(AttackOnChip(w), before);
    EXPECT_FALSE(w.MenuItemUndo->isEnabled()); // the whole drag was one step
    EXPECT_TRUE(w.MenuItemRedo->isEnabled());

    Key(w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(attack->value(), 4);
    EXPECT_EQ(AttackOnChip(w), 4);
    EXPECT_FALSE(w.MenuItemRedo->isEnabled());
}

// Clear and a typed tuning are steps too; undone, the lists show them back.
TEST(Editing, UndoShowsListsAndTuningTextsBack) {
    Started s;
    TFormMain& w = *s.form;
    TFrameOp& frame = *w.OperatorFrames[4];
    frame.TrackBarVolume->setValue(50);
    w.ComboBoxTR2->setEditText("+700");
    frame.MenuItemClearClick();
    EXPECT_EQ(frame.TrackBarVolume->value(), 0);
    w.UndoClick();
    EXPECT_EQ(frame.TrackBarVolume->value(), 50);
    w.UndoClick();
    EXPECT_EQ(w.ComboBoxTR2->currentText(), "0 cents");
    w.RedoClick();
    EXPECT_EQ(w.ComboBoxTR2->currentText(), "700");
}

TEST(Editing, TheCompareSwitchShowsWhichPatchSounds) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSlider* level = w.OperatorFrames[0]->TrackBarVolume;
    level->setValue(40);
    EXPECT_EQ(w.ButtonCompare->text(), "A");
    QTest::mouseClick(w.ButtonCompare, Qt::LeftButton);
    EXPECT_EQ(w.ButtonCompare->text(), "B");
    level->setValue(20);
    Key(w, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(w.ButtonCompare->text(), "A");
    EXPECT_EQ(level->value(), 40);
    EXPECT_EQ(w.Fm801->Opl3->ReadRegister(0x40) & 0x3F, 63 - 40);
    w.MenuItemCopyAToB->trigger();
    w.CompareClick();
    EXPECT_EQ(w.ButtonCompare->text(), "B");
    EXPECT_EQ(level->value(), 40);
}

TEST(Editing, ThePlayMenuSetsThePedalsAndTheBendRange) {
    Started s;
    TFormMain& w = *s.form;
    EXPECT_EQ(w.MenuBendRange->title(), QString::fromUtf8("Bend range: \u00B11 semitone"));
    EXPECT_TRUE(w.BendRangeItems[0]->isChecked());
    w.BendRangeItems[1]->trigger();
    EXPECT_EQ(w.Link->State().bendRange, 200);
    EXPECT_TRUE(w.BendRangeItems[1]->isChecked());
    EXPECT_FALSE(w.BendRangeItems[0]->isChecked());

    // A registered parameter sets any range; the menu says which.
    w.ControllerForm->ValueListEditorCc->SetValue("Master Tuning ", "-1");
    for (auto [number, value] : {std::pair<uint8_t, uint8_t>{101, 0}, {100, 0}, {6, 2}, {38, 50}})
        Send(w, 0xB0, number, value);
    EXPECT_EQ(w.MenuBendRange->title(), QString::fromUtf8("Bend range: \u00B1250 cents"));

    w.MenuItemPedals->trigger();
    EXPECT_FALSE(w.Link->State().pedalsEnabled);
    Send(w, 0x90, 60, 100);
    Send(w, 0xB0, 64, 127);
    Send(w, 0x80, 60, 0);
    EXPECT_EQ(w.LabelP->text(), "0");
    w.MenuItemPedals->trigger();
    Send(w, 0x90, 60, 100);
    Send(w, 0xB0, 64, 127);
    Send(w, 0x80, 60, 0);
    EXPECT_EQ(w.LabelP->text(), "1"); // the held note counts
}

TEST(Learn, ARowLearnsTheNextControllerAndSaysWhichRowLostIt) {
    Started s;
    TFormMain& w = *s.form;
    TFormCc& cc = *w.ControllerForm;
    ValueListEditor& rows = *cc.ValueListEditorCc;
    cc.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cc));

    rows.setCurrentCell(17, 0);
    cc.MenuItemLearn->trigger();
    EXPECT_TRUE(cc.LabelLearn->isVisible());
    EXPECT_EQ(cc.LabelLearn->text(), "Move a controller for \"Operator Attack\" (Esc stops)");
    Send(w, 0xB0, 7, 20);
    EXPECT_EQ(rows.Value("Operator Attack"), "7");
    EXPECT_EQ(rows.Value("Master Volume "), "-1");
    EXPECT_EQ(cc.LabelLearn->text(),
              "Controller 7 moved from \"Master Volume\" to \"Operator Attack\"");
    EXPECT_EQ(w.TrackBarVolume->value(), 25); // the message was learnt, not played

    // Esc stops waiting: the next controller plays as it always did.
    rows.setCurrentCell(1, 0);
    cc.MenuItemLearn->trigger();
    cc.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&cc));
    QTest::keyClick(&cc, Qt::Key_Escape);
    EXPECT_EQ(w.Link->State().learnRow, -1);
    EXPECT_FALSE(cc.LabelLearn->isVisible());
    Send(w, 0xB0, 10, 0);
    EXPECT_EQ(rows.Value("Master Pan "), "10");
    EXPECT_EQ(w.TrackBarPan->value(), -64);
}

// The row's context menu is where Learn is offered.
TEST(Learn, TheRowsContextMenuOffersIt) {
    Started s;
    TFormCc& cc = *s.form->ControllerForm;
    ValueListEditor& rows = *cc.ValueListEditorCc;
    cc.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cc));
    const QPoint at = rows.visualItemRect(rows.item(5, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, rows.viewport()->mapToGlobal(at));
    QApplication::sendEvent(rows.viewport(), &event);
    EXPECT_EQ(QApplication::activePopupWidget(), cc.PopupMenuRows);
    EXPECT_EQ(rows.currentRow(), 5);
    cc.PopupMenuRows->close();
}
