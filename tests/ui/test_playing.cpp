// MIDI short messages posted to the real main window, on the recorder.
#include "accessibletree.h"
#include "mainwindow_support.h"

#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/midi.h"
#include "midi/shortmessage.h"
#include "ui/ccform.h"
#include "ui/clicklabel.h"
#include "ui/kbdform.h"
#include "ui/opframe.h"
#include "ui/tag.h"
#include "ui/tips.h"
#include "ui/toolkit.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace {

constexpr uint32_t kDevice = 1; // the handle of an open input

void Post(TFormMain& w, uint32_t lparam, uint32_t source = kDevice,
          uint32_t message = MM_MIM_DATA) {
    PostMessage(&w, message, source, lparam);
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
}

void Send(TFormMain& w, uint8_t status, uint8_t data1, uint8_t data2 = 0,
          uint32_t source = kDevice) {
    Post(w, PackShortMessage({status, data1, data2}), source);
}

// The notes of the occupied slots, from slot 0 up.
std::vector<int> Sounding(const TFormMain& w) {
    std::vector<int> notes;
    for (int32_t note : w.Fm801->Opl3->Slots)
        if (note != OPL3::FreeSlot) notes.push_back(note);
    return notes;
}

std::string Shown(const QLabel* label) {
    return label->text().toStdString();
}

uint8_t LevelRegister(const TFormMain& w, int op) {
    return w.Fm801->Opl3->ReadRegister(0x40 + OPL3::OperatorOffset[3 * op]);
}

// The writes a bare chip makes for the same notes: what the window must send.
std::vector<RegWrite> ReferenceWrites(const std::function<void(OPL3&)>& play) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    OPL3 opl3(kOplPort);
    rec.Clear();
    play(opl3);
    return RegisterWrites(rec);
}

} // namespace

// --- notes ---

TEST(Notes, OnlyTheChosenChannelPlaysAndTheMiniKeyboardAlwaysDoes) {
    struct Case {
        uint32_t source;
        uint8_t status;
        bool plays;
    };
    const Case cases[] = {
        {kDevice, 0x92, true},         {kDevice, 0x90, false}, {kDevice, 0x9F, false},
        {kDevice, 0xA2, false},        {kDevice, 0xF2, false}, {KeyboardSource, 0x90, true},
        {KeyboardSource, 0x92, false},
    };
    Started s;
    TFormMain& w = *s.form;
    w.ComboBoxMidiChannel->setCurrentIndex(2); // channel 3
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.source << " " << int(c.status));
        Send(w, c.status, 60, 100, c.source);
        EXPECT_EQ(Sounding(w), c.plays ? std::vector<int>{60} : std::vector<int>{});
        w.Fm801->Opl3->Reset();
    }
}

TEST(Notes, ChordStartsThirdAndFifthFirstAndVelocityZeroReleasesIt) {
    Started s;
    TFormMain& w = *s.form;
    w.CheckBoxChorder->setChecked(true);
    Send(w, 0x90, 60, 100);
    // The highest free slot takes each note in turn.
    EXPECT_EQ(Sounding(w), (std::vector<int>{60, 67, 64}));
    EXPECT_EQ(Shown(w.LabelP), "3");
    Send(w, 0x90, 60, 0);
    EXPECT_TRUE(Sounding(w).empty());
    EXPECT_EQ(Shown(w.LabelP), "0");

    // Cleared while the chord sounds: only the root stops.
    Send(w, 0x90, 60, 100);
    w.CheckBoxChorder->setChecked(false);
    Send(w, 0x80, 60, 64);
    EXPECT_EQ(Sounding(w), (std::vector<int>{67, 64}));
    EXPECT_EQ(Shown(w.LabelP), "2");
}

TEST(Notes, SixSlotsAtMostAndARepeatedNoteChangesNothing) {
    Started s;
    TFormMain& w = *s.form;
    for (uint8_t n = 60; n < 66; ++n)
        Send(w, 0x90, n, 100);
    EXPECT_EQ(Shown(w.LabelP), "6");
    s.rec.Clear();
    Send(w, 0x90, 66, 100);
    EXPECT_EQ(Shown(w.LabelP), "6");
    Send(w, 0x90, 60, 100);
    EXPECT_EQ(Shown(w.LabelP), "6");
    EXPECT_TRUE(RegisterWrites(s.rec).empty());
    Send(w, 0x80, 61);
    EXPECT_EQ(Shown(w.LabelP), "5");
}

TEST(Notes, VelocityScalesOnlyCcOperatorsAndLeavesTheirBars) {
    Started s;
    TFormMain& w = *s.form;
    for (int op : {0, 1})
        w.OperatorFrames[op]->TrackBarVolume->setValue(63);
    w.OperatorFrames[0]->SetCcEnabled(true);
    Send(w, 0x90, 60, 64);
    EXPECT_EQ(LevelRegister(w, 0) & 0x3F, 63 - 31);
    EXPECT_EQ(LevelRegister(w, 1) & 0x3F, 0);
    EXPECT_EQ(w.OperatorFrames[0]->TrackBarVolume->value(), 63);
    // Also for a note that is refused: the scaling comes first.
    Send(w, 0x90, 60, 127);
    EXPECT_EQ(LevelRegister(w, 0) & 0x3F, 0);
}

TEST(Notes, TuningsTransposeAndBendReachTheChip) {
    Started s;
    TFormMain& w = *s.form;
    w.ComboBoxTR1->setEditText("+1200");
    w.ComboBoxTR2->setEditText("+10");
    w.ComboBoxTranspose->setEditText("-5");
    s.rec.Clear();
    Send(w, 0x90, 60, 100);
    EXPECT_EQ(RegisterWrites(s.rec), ReferenceWrites([](OPL3& chip) { chip.NoteOn(1195, 5, 60); }));

    s.rec.Clear();
    Send(w, 0xE0, 0x7F, 0); // the low seven bits don't count
    std::vector<RegWrite> bent = ReferenceWrites([](OPL3& chip) {
        chip.NoteOn(0, 0, 60);
        chip.Retune(1095, -95);
    });
    bent.erase(bent.begin(), bent.begin() + 4); // the note on
    EXPECT_EQ(RegisterWrites(s.rec), bent);
}

// Tuning texts hold any number of digits: the sums saturate, the note plays.
TEST(Notes, AbsurdTuningTextsStillPlayWithoutOverflow) {
    Started s;
    TFormMain& w = *s.form;
    w.ComboBoxTR1->setEditText("99999999999999999999");
    w.ComboBoxTranspose->setEditText("2147483647");
    w.ComboBoxTR2->setEditText("-99999999999999999999");
    Send(w, 0x90, 127, 100);
    Send(w, 0xE0, 0, 127);
    EXPECT_EQ(Sounding(w), std::vector<int>{127});
}

// --- controllers ---

struct ControllerCase {
    uint8_t number, value;
    std::function<bool(const TFormMain&)> holds;
};

TEST(Controllers, EachMainRowMovesItsControlAndTheChipFollows) {
    const ControllerCase cases[] = {
        {7, 127, [](auto& w) { return w.TrackBarVolume->value() == 31; }},
        {10, 0, [](auto& w) { return w.TrackBarPan->value() == -64; }},
        {10, 127, [](auto& w) { return w.TrackBarPan->value() == 63; }},
        {93, 127,
         [](auto& w) {
             return w.ComboBoxFB->currentText() == "PI x 4" &&
                    (w.Fm801->Opl3->ReadRegister(0xC0) & 0x0E) == 7 << 1;
         }},
        {91, 40, [](auto& w) { return (w.Fm801->Opl3->ReadRegister(0xC6) & 0x0E) == 2 << 1; }},
        {6, 127, [](auto& w) { return w.ComboBoxTranspose->currentText() == "+3600"; }},
        {6, 64, [](auto& w) { return w.ComboBoxTranspose->currentText() == "-5"; }},
        {5, 127, [](auto& w) { return w.ComboBoxTR1->currentText() == "+3600"; }},
    };
    for (const ControllerCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "controller " << int(c.number) << " = " << int(c.value));
        Started s;
        s.form->ComboBoxTranspose->setEditText("typed");
        s.form->TrackBarVolume->setValue(20);
        Send(*s.form, 0xB0, c.number, c.value);
        EXPECT_TRUE(c.holds(*s.form));
    }
}

TEST(Controllers, BoundRowsOnlyByExactTextAndTheFirstWins) {
    Started s;
    TFormMain& w = *s.form;
    ValueListEditor& rows = *w.ControllerForm->ValueListEditorCc;
    rows.SetValue("Operator 1 Feedback Modulation", "7"); // after Master Volume
    Send(w, 0xB0, 7, 127);
    EXPECT_EQ(w.TrackBarVolume->value(), 31);
    EXPECT_EQ(w.ComboBoxFB->currentIndex(), 0);

    rows.SetValue("Master Volume ", "07");
    Send(w, 0xB0, 7, 0);
    EXPECT_EQ(w.TrackBarVolume->value(), 31);
    EXPECT_EQ(w.ComboBoxFB->currentIndex(), 0); // row 3 now answers 7
    Send(w, 0xB0, 7, 127);
    EXPECT_EQ(w.ComboBoxFB->currentIndex(), 7);

    // An edited number counts from the next control change on.
    rows.SetValue("Operator 1, 2, 3, 4 Output Left", "20");
    Send(w, 0xB0, 20, 0);
    EXPECT_FALSE(w.CheckBoxA->isChecked());
    EXPECT_EQ(w.Fm801->Opl3->ReadRegister(0xC0) & 0x10, 0);

    s.rec.Clear();
    Send(w, 0xB0, 3, 127); // bound to nothing
    Send(w, 0xB1, 7, 127); // another channel
    EXPECT_TRUE(s.rec.Accesses().empty());
}

TEST(Controllers, OperatorRowsMoveOnlyCcFramesAndAreHeardAtOnce) {
    Started s;
    TFormMain& w = *s.form;
    s.rec.Clear();
    Send(w, 0xB0, 74, 100); // no frame takes controllers yet
    EXPECT_TRUE(s.rec.Accesses().empty());

    for (int op : {0, 4})
        w.OperatorFrames[op]->SetCcEnabled(true);
    Send(w, 0xB0, 74, 100);
    Send(w, 0xB0, 78, 70);
    Send(w, 0xB0, 76, 127);
    const OPL3& opl3 = *w.Fm801->Opl3;
    for (int op = 0; op < kOperatorCount; ++op) {
        SCOPED_TRACE(op + 1);
        const TFrameOp& f = *w.OperatorFrames[op];
        const bool cc = op == 0 || op == 4;
        EXPECT_EQ(f.ComboBoxWS->currentIndex(), cc ? 1 : 0);
        EXPECT_EQ(f.CheckBoxTremolo->isChecked(), cc);
        EXPECT_EQ(f.CheckBoxVibrato->isChecked(), cc);
        EXPECT_EQ(f.TrackBarSustain->value(), cc ? 14 : 15);
        EXPECT_EQ(f.CheckBoxHold->isChecked(), cc);
        EXPECT_EQ(f.ComboBoxFreqMultiplier->currentIndex(), cc ? 15 : 1);
        // The lists reach the chip at once, not with the next preset.
        const uint16_t offset = OPL3::OperatorOffset[3 * op];
        EXPECT_EQ(opl3.ReadRegister(0xE0 + offset), cc ? 1 : 0);
        EXPECT_EQ(opl3.ReadRegister(0x20 + offset) & 0x0F, cc ? 15 : 1);
    }
}

// Every sequencer sends these when it stops; nothing may keep sounding.
TEST(Controllers, AllSoundOffAndAllNotesOffReleaseEveryNote) {
    for (uint8_t number : {120, 123}) {
        Started s;
        TFormMain& w = *s.form;
        w.ControllerForm->ValueListEditorCc->SetValue("Master Volume ", QString::number(number));
        w.CheckBoxChorder->setChecked(true);
        Send(w, 0x90, 60, 100);
        Send(w, 0x90, 62, 100);
        ASSERT_EQ(Sounding(w).size(), 6u);
        Send(w, 0xB0, number, 127);
        EXPECT_TRUE(Sounding(w).empty()) << int(number);
        EXPECT_EQ(Shown(w.LabelP), "0");
        EXPECT_EQ(w.TrackBarVolume->value(), 31); // and the row bound to it answered
    }
}

// --- the windows around it ---

TEST(Windows, CcAndKbdShowTheirWindowsModelessAndClosingHides) {
    Started s;
    TFormMain& w = *s.form;
    EXPECT_FALSE(w.ControllerForm->isVisible());
    EXPECT_FALSE(w.KeyboardForm->isVisible());
    QTest::mouseClick(w.ButtonCc, Qt::LeftButton);
    QTest::mouseClick(w.ButtonKbd, Qt::LeftButton);
    for (QWidget* dialog :
         {static_cast<QWidget*>(w.ControllerForm), static_cast<QWidget*>(w.KeyboardForm)}) {
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->isModal());
        dialog->close();
        EXPECT_FALSE(dialog->isVisible());
    }
    QTest::mouseClick(w.ButtonCc, Qt::LeftButton);
    EXPECT_TRUE(w.ControllerForm->isVisible());
}

TEST(Windows, MiniKeyboardPlaysOnChannel1WhateverIsChosen) {
    Started s;
    TFormMain& w = *s.form;
    w.ComboBoxMidiChannel->setCurrentIndex(9);
    w.KeyboardForm->show();
    QTest::keyPress(w.KeyboardForm, Qt::Key_J);
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
    EXPECT_EQ(Sounding(w), std::vector<int>{69});
    QTest::keyRelease(w.KeyboardForm, Qt::Key_J);
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
    EXPECT_TRUE(Sounding(w).empty());
}

TEST(Windows, MoreDataPlaysLikeDataAndOtherNumbersAreIgnored) {
    Started s;
    TFormMain& w = *s.form;
    Post(w, 0x7F3C90, kDevice, MM_MIM_MOREDATA);
    EXPECT_EQ(Sounding(w), std::vector<int>{60});
    for (uint32_t number : {962u, 964u, 965u, 966u, 1000u})
        Post(w, 0x7F3E90, kDevice, number);
    Post(w, 0, kDevice, MM_MIM_OPEN); // no input is open: nothing starts
    EXPECT_EQ(Sounding(w), std::vector<int>{60});
}

TEST(Windows, MidiInputChosenByTextAsTheUserWouldPickIt) {
    Started s;
    TFormMain& w = *s.form;
    w.ComboBoxMidiIn->addItems({"Keystation:port 1", "VI 801 virtual input"});
    EXPECT_TRUE(w.ChooseMidiIn("VIRTUAL"));
    EXPECT_EQ(w.ComboBoxMidiIn->currentIndex(), 2);
    EXPECT_FALSE(w.ChooseMidiIn("nanoKEY"));
    EXPECT_EQ(w.ComboBoxMidiIn->currentIndex(), 2);
    EXPECT_TRUE(w.ChooseMidiIn("keystation"));
    EXPECT_EQ(w.ComboBoxMidiIn->currentIndex(), 1);
}

// However a note is played, its key lights on the mini keyboard: from the
// core's slots, so a chord's notes light too.
TEST(Windows, TheMiniKeyboardLightsTheKeysThatSoundHoweverTheyArePlayed) {
    Started s;
    TFormMain& w = *s.form;
    const auto lit = [&w] {
        std::vector<int> notes;
        for (const PianoKey* key : w.KeyboardForm->Keys)
            if (key->Sounding()) notes.push_back(TagOf(key));
        return notes;
    };
    w.CheckBoxChorder->setChecked(true);
    Send(w, 0x90, 60, 100); // MIDI input, with the chord
    EXPECT_EQ(lit(), (std::vector<int>{60, 64, 67}));
    w.CheckBoxChorder->setChecked(false);
    Send(w, 0x80, 60, 0);
    EXPECT_EQ(lit(), (std::vector<int>{64, 67})); // the switch was off at the release
    Send(w, 0xB0, 123, 0);
    EXPECT_TRUE(lit().empty());
    w.KeyboardForm->show();
    QTest::keyPress(w.KeyboardForm, Qt::Key_K); // a letter
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
    EXPECT_EQ(lit(), std::vector<int>{71});
    QTest::keyRelease(w.KeyboardForm, Qt::Key_K);
    QTest::mousePress(w.KeyboardForm->Keys[1], Qt::LeftButton); // the mouse
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
    EXPECT_EQ(lit(), std::vector<int>{61});
    QTest::mouseRelease(w.KeyboardForm->Keys[1], Qt::LeftButton);
    QCoreApplication::sendPostedEvents(&w, PostedMessage::EventType());
    EXPECT_TRUE(lit().empty());
}

// The light blinks at every message received; messages on another channel
// than the one played bring a hint, whose click plays that channel.
TEST(Windows, TheMidiLightBlinksAndAHintNamesTheChannelInputArrivesOn) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QString off = w.MidiLight->styleSheet();
    const auto on = [&] { return w.MidiLight->styleSheet() != off; };
    Send(w, 0x90, 60, 100);
    Send(w, 0x80, 60, 0);
    EXPECT_TRUE(QTest::qWaitFor(on, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !on(); }, 1000)); // a blink, not a lamp
    EXPECT_FALSE(w.LabelChannelHint->isVisible());

    Send(w, 0x92, 60, 100);
    Send(w, 0x82, 60, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.LabelChannelHint->isVisible(); }, 1000));
    EXPECT_EQ(w.LabelChannelHint->text(), "Input on channel 3");
    EXPECT_TRUE(on());
    EXPECT_TRUE(Sounding(w).empty());
    QTest::mouseClick(w.LabelChannelHint, Qt::LeftButton);
    EXPECT_EQ(w.ComboBoxMidiChannel->currentText(), "3");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.LabelChannelHint->isVisible(); }, 1000));
    Send(w, 0x92, 62, 100);
    EXPECT_EQ(Sounding(w), std::vector<int>{62});
    // The mini keyboard is no MIDI input.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !on(); }, 1000));
    Send(w, 0x90, 64, 100, KeyboardSource);
    QTest::qWait(100);
    EXPECT_FALSE(on());
}

// Every slider, list and check box of the windows says what it does and
// what its value means, and says it anew as the value changes.
TEST(Windows, EveryControlTellsWhatItDoesAndWhatItsValueMeans) {
    Started s;
    TFormMain& w = *s.form;
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (!qobject_cast<QSlider*>(c) && !qobject_cast<QComboBox*>(c) &&
            !qobject_cast<QCheckBox*>(c))
            continue;
        EXPECT_FALSE(TipOf(c).isEmpty() && c->toolTip().isEmpty())
            << c->objectName().toStdString() << " of " << c->parent()->objectName().toStdString();
    }
    // Each tip is its own control's, at the value it holds now; the
    // envelope's times are those of the note played last.
    TFrameOp& op2 = *w.OperatorFrames[1];
    op2.TrackBarAttack->setValue(12);
    EXPECT_TRUE(TipOf(op2.TrackBarAttack).startsWith("Attack 12:"));
    EXPECT_TRUE(TipOf(op2.TrackBarVolume).contains("Operator 2"));
    EXPECT_TRUE(
        op2.ComboBoxFreqMultiplier->itemData(15, Qt::ToolTipRole).toString().contains("x15"));
    EXPECT_TRUE(TipOf(op2.TrackBarRelease).contains("at C4"));
    Send(w, 0x90, 96, 100);
    EXPECT_TRUE(TipOf(op2.TrackBarRelease).contains("at C7"));

    ValueListEditor& rows = *w.ControllerForm->ValueListEditorCc;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const QString tip = rows.ValueTip(row);
        EXPECT_EQ(tip.contains("not bound"), rows.Value(rows.Key(row)) == "-1") << row;
    }
}

// A screen reader tells every control of a window apart by its name: none
// is nameless or undescribed, and no two share a name.
TEST(Windows, ScreenReadersTellEveryControlByItsOwnName) {
    Started s;
    TFormMain& w = *s.form;
    // The main window's four beyond the described: Play, Edit, A/B, Browse.
    ExpectEachNamedOnce(&w, 6 * 13 + 24 + 4);
    ExpectEachNamedOnce(w.KeyboardForm, 15);
    ExpectEachNamedOnce(w.ControllerForm, 1);
    // Each names its own operator; a list keeps its item as its value.
    const auto text = [](QWidget* control, QAccessible::Text what) {
        return QAccessible::queryAccessibleInterface(control)->text(what).toStdString();
    };
    EXPECT_EQ(text(w.OperatorFrames[2]->TrackBarAttack, QAccessible::Name),
              "Operator 3 attack rate");
    EXPECT_EQ(text(w.OperatorFrames[5]->ComboBoxWS, QAccessible::Name), "Operator 6 waveform");
    EXPECT_EQ(text(w.OperatorFrames[5]->ComboBoxWS, QAccessible::Value), "Sine");
    EXPECT_EQ(text(w.ComboBoxTR2->lineEdit(), QAccessible::Name), "Operators 5 and 6 tuning");
    EXPECT_EQ(text(w.KeyboardForm->Keys[1], QAccessible::Name), "Key C sharp 4");
    // The lists of the MIDI and preset panels are read with their labels.
    const std::pair<QLabel*, QWidget*> linked[] = {{w.LabelMidiInput, w.ComboBoxMidiIn},
                                                   {w.LabelChannel, w.ComboBoxMidiChannel},
                                                   {w.LabelPreset, w.ComboBoxPreset},
                                                   {w.LabelBank, w.ComboBoxBank}};
    for (const auto& [label, list] : linked) {
        const auto relations =
            QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label);
        ASSERT_EQ(relations.size(), 1) << label->text().toStdString();
        EXPECT_EQ(relations[0].first->object(), label);
    }
    // A controller's number is edited in a line named for its function.
    ValueListEditor& rows = *w.ControllerForm->ValueListEditorCc;
    rows.editItem(rows.item(1, 1));
    const auto* editor = rows.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->accessibleName(), "Master Volume controller");
    EXPECT_TRUE(rows.item(1, 1)
                    ->data(Qt::AccessibleDescriptionRole)
                    .toString()
                    .contains("moves Master Volume"));
}

// The list of inputs is read again as it opens: an input that went is no
// longer offered, and nothing stays open on it.
TEST(Windows, TheMidiInputListIsReadAgainWhenItOpens) {
    Started s;
    TFormMain& w = *s.form;
    QStringList now;
    w.MidiIn->GetDeviceList(now);
    w.ComboBoxMidiIn->addItem("Gone since:port 1");
    w.ComboBoxMidiIn->setCurrentIndex(w.ComboBoxMidiIn->count() - 1);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.ComboBoxMidiIn->showPopup();
    QStringList items;
    for (int i = 0; i < w.ComboBoxMidiIn->count(); ++i)
        items << w.ComboBoxMidiIn->itemText(i);
    EXPECT_EQ(items, now);
    EXPECT_EQ(w.ComboBoxMidiIn->currentIndex(), 0);
    w.ComboBoxMidiIn->hidePopup();
}
