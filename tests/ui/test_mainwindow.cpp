#include "mainwindow_support.h"
#include "userchooses.h"

#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "midi/midi.h"
#include "ui/clicklabel.h"
#include "ui/opframe.h"
#include "ui/outputnotice.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

uint16_t OperatorRegister(uint8_t base, int slot, int op) {
    return base + OPL3::OperatorOffset[OPL3::SlotOperatorBase[slot] + 3 * op];
}

const OperatorPatch kDefaultOperator{0x01, 0x3F, 0xFF, 0xFF, 0x00};

} // namespace

// --- every frame control reaches its setter for its own operator ---

struct FrameControlCase {
    const char* control;
    uint8_t base;
    uint8_t mask;
    uint8_t bits; // the field after the edit
    std::function<void(TFrameOp&)> edit;
};

TEST(FrameControls, EachWritesItsFieldForItsOperator) {
    const FrameControlCase cases[] = {
        {"ComboBoxWS", 0xE0, 0xFF, 5, [](TFrameOp& f) { UserChooses(f.ComboBoxWS, 5); }},
        {"CheckBoxTremolo", 0x20, 0x80, 0x80,
         [](TFrameOp& f) { f.CheckBoxTremolo->setChecked(true); }},
        {"CheckBoxVibrato", 0x20, 0x40, 0x40,
         [](TFrameOp& f) { f.CheckBoxVibrato->setChecked(true); }},
        {"CheckBoxRateScaling", 0x20, 0x10, 0x10,
         [](TFrameOp& f) { f.CheckBoxRateScaling->setChecked(true); }},
        {"ComboBoxLevelScaling", 0x40, 0xC0, 0xC0,
         [](TFrameOp& f) { UserChooses(f.ComboBoxLevelScaling, 3); }},
        {"ComboBoxFreqMultiplier", 0x20, 0x0F, 7,
         [](TFrameOp& f) { UserChooses(f.ComboBoxFreqMultiplier, 7); }},
        {"TrackBarAttack", 0x60, 0xF0, 0xA0, [](TFrameOp& f) { f.TrackBarAttack->setValue(10); }},
        {"TrackBarDecay", 0x60, 0x0F, 0x03, [](TFrameOp& f) { f.TrackBarDecay->setValue(3); }},
        {"TrackBarSustain", 0x80, 0xF0, 0x40, [](TFrameOp& f) { f.TrackBarSustain->setValue(4); }},
        {"TrackBarRelease", 0x80, 0x0F, 0x09, [](TFrameOp& f) { f.TrackBarRelease->setValue(9); }},
        {"CheckBoxHold", 0x20, 0x20, 0x20, [](TFrameOp& f) { f.CheckBoxHold->setChecked(true); }},
        {"TrackBarVolume", 0x40, 0x3F, 63 - 40,
         [](TFrameOp& f) { f.TrackBarVolume->setValue(40); }},
    };
    Started s;
    OPL3& opl3 = *s.form->Fm801->Opl3;
    for (const auto& c : cases) {
        for (int op = 0; op < kOperatorCount; ++op) {
            SCOPED_TRACE(std::string(c.control) + " of operator " + std::to_string(op + 1));
            const uint8_t before = opl3.ReadRegister(OperatorRegister(c.base, 0, op));
            s.rec.Clear();
            c.edit(*s.form->OperatorFrames[op]);
            // The chip test pins the other five slots.
            const auto writes = RegisterWrites(s.rec);
            ASSERT_FALSE(writes.empty());
            EXPECT_EQ(writes[0].index, OperatorRegister(c.base, 0, op));
            EXPECT_EQ(writes[0].value & c.mask, c.bits);
            EXPECT_EQ(writes[0].value & ~c.mask, before & ~c.mask);
        }
    }
}

TEST(FrameControls, CcSwitchAndTuningTextsWriteNothing) {
    Started s;
    s.rec.Clear();
    s.form->OperatorFrames[2]->CheckBoxCC->setChecked(true);
    s.form->ComboBoxTR1->setEditText("+1200");
    QTest::keyClicks(s.form->ComboBoxTranspose, "-5");
    EXPECT_TRUE(s.rec.Accesses().empty());
}

// --- the frame on its own: register images and controller values ---

TEST(Frame, RegisterImagesSurviveLoadAndSave) {
    TFrameOp frame;
    OperatorPatch initial;
    frame.SaveToPatch(initial);
    EXPECT_EQ(initial, kDefaultOperator);
    const OperatorPatch patterns[] = {{0x00, 0x00, 0x00, 0x00, 0x00},
                                      {0xFF, 0xFF, 0xFF, 0xFF, 0x07},
                                      {0xA5, 0x5A, 0x3C, 0xC3, 0x05}};
    for (const auto& p : patterns) {
        frame.LoadFromPatch(p);
        OperatorPatch back;
        frame.SaveToPatch(back);
        EXPECT_EQ(back, p);
    }
    frame.LoadFromPatch({0x01, 0x3F, 0xFF, 0xFF, 0xFE}); // waveform bits 7-3 are not kept
    OperatorPatch back;
    frame.SaveToPatch(back);
    EXPECT_EQ(back.RegE0, 0x06);
}

TEST(Frame, TabOrderFollowsTheEditingControls) {
    TFrameOp f;
    const QWidget* expected[] = {
        f.ComboBoxWS,          f.CheckBoxTremolo,      f.CheckBoxVibrato,
        f.CheckBoxRateScaling, f.ComboBoxLevelScaling, f.ComboBoxFreqMultiplier,
        f.TrackBarAttack,      f.TrackBarDecay,        f.TrackBarSustain,
        f.TrackBarRelease,     f.CheckBoxHold,         f.TrackBarVolume,
        f.CheckBoxCC};
    QWidget* w = f.ComboBoxWS;
    for (const QWidget* want : expected) {
        EXPECT_EQ(w, want) << want->objectName().toStdString();
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) && w != f.ComboBoxWS);
    }
}

TEST(Frame, ControllerValuesMoveOnlyCcEnabledFrames) {
    using Setter = void (TFrameOp::*)(uint8_t);
    struct Case {
        Setter setter;
        uint8_t value;
        OperatorPatch expected; // starting from the cleared frame
    };
    const Case cases[] = {
        {&TFrameOp::SetAttackFromCc, 127, {0x01, 0x3F, 0x0F, 0xFF, 0}},
        {&TFrameOp::SetAttackFromCc, 0, {0x01, 0x3F, 0xFF, 0xFF, 0}},
        {&TFrameOp::SetDecayFromCc, 8, {0x01, 0x3F, 0xFE, 0xFF, 0}},
        {&TFrameOp::SetReleaseFromCc, 16, {0x01, 0x3F, 0xFF, 0xFD, 0}},
        {&TFrameOp::SetSustainFromCc, 64, {0x21, 0x3F, 0xFF, 0xFF, 0}},
        {&TFrameOp::SetSustainFromCc, 63, {0x01, 0x3F, 0xFF, 0x0F, 0}},
        {&TFrameOp::SetSustainFromCc, 70, {0x21, 0x3F, 0xFF, 0xEF, 0}},
        {&TFrameOp::SetWaveformFromCc, 100, {0xC1, 0x3F, 0xFF, 0xFF, 1}},
        {&TFrameOp::SetKeyScalingFromCc, 112, {0x11, 0xFF, 0xFF, 0xFF, 0}},
        {&TFrameOp::SetTuningFromCc, 127, {0x0F, 0x3F, 0xFF, 0xFF, 0}},
        {&TFrameOp::SetVolumeFromCc, 127, {0x01, 0x00, 0xFF, 0xFF, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << int(c.value));
        for (bool enabled : {false, true}) {
            TFrameOp frame;
            frame.SetCcEnabled(enabled);
            (frame.*c.setter)(c.value);
            OperatorPatch got;
            frame.SaveToPatch(got);
            EXPECT_EQ(got, enabled ? c.expected : kDefaultOperator);
            EXPECT_EQ(frame.IsCcEnabled(), enabled);
        }
    }
}

// --- voice-wide controls ---

struct VoiceControlCase {
    const char* control;
    std::vector<int> registers; // in write order
    uint8_t mask;
    uint8_t bits;
    std::function<void(TFormMain&)> edit;
};

TEST(VoiceControls, EachWritesItsChannelBits) {
    // Slot 0's registers; the chip test pins the other slots.
    const VoiceControlCase cases[] = {
        {"CheckBoxA",
         {0xC0, 0xC3},
         0x10,
         0x00,
         [](TFormMain& f) { f.CheckBoxA->setChecked(false); }},
        {"CheckBoxB",
         {0xC0, 0xC3},
         0x20,
         0x00,
         [](TFormMain& f) { f.CheckBoxB->setChecked(false); }},
        {"CheckBoxA2", {0xC6}, 0x10, 0x00, [](TFormMain& f) { f.CheckBoxA2->setChecked(false); }},
        {"CheckBoxB2", {0xC6}, 0x20, 0x00, [](TFormMain& f) { f.CheckBoxB2->setChecked(false); }},
        {"ComboBoxFB", {0xC0}, 0x0E, 7 << 1, [](TFormMain& f) { UserChooses(f.ComboBoxFB, 7); }},
        {"ComboBoxFB2", {0xC6}, 0x0E, 3 << 1, [](TFormMain& f) { UserChooses(f.ComboBoxFB2, 3); }},
        {"ComboBoxTD", {0xBD}, 0x80, 0x80, [](TFormMain& f) { UserChooses(f.ComboBoxTD, 1); }},
        {"ComboBoxVD", {0xBD}, 0x40, 0x40, [](TFormMain& f) { UserChooses(f.ComboBoxVD, 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        Started s;
        s.rec.Clear();
        c.edit(*s.form);
        const auto writes = RegisterWrites(s.rec);
        ASSERT_GE(writes.size(), c.registers.size());
        for (size_t i = 0; i < c.registers.size(); ++i) {
            EXPECT_EQ(writes[i].index, c.registers[i]);
            EXPECT_EQ(writes[i].value & c.mask, c.bits);
        }
        EXPECT_TRUE(VolumeWrites(s.rec).empty());
    }
}

TEST(VoiceControls, ChoosingConnection3SendsItAndShowsItsPicture) {
    const QString here = QDir::currentPath();
    QDir::setCurrent(VI801_SOURCE_DIR "/data");
    Started s;
    s.rec.Clear();
    UserChooses(s.form->ComboBoxCNT, 3);
    const auto writes = RegisterWrites(s.rec);
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[0], (RegWrite{0xC0, 0x31}));
    EXPECT_EQ(writes[1], (RegWrite{0xC3, 0x31}));
    EXPECT_EQ(writes[2], (RegWrite{0xC6, 0x30}));
    EXPECT_EQ(s.form->ImageCnt->Picture().size(), QSize(146, 66));
    EXPECT_TRUE(s.form->ImageCnt->text().isEmpty());

    // Without the picture the chip is set all the same and the file is named.
    QDir::setCurrent(here);
    s.rec.Clear();
    UserChooses(s.form->ComboBoxCNT, 5);
    EXPECT_FALSE(RegisterWrites(s.rec).empty());
    EXPECT_EQ(s.form->ImageCnt->text(), "img/cnt5.jpg");
}

// --- event rule: values set by the program ---

TEST(EventRule, ProgramSetEqualValuesAndListSelectionsWriteNothing) {
    Started s;
    TFrameOp& f = *s.form->OperatorFrames[1];
    s.rec.Clear();
    f.TrackBarAttack->setValue(15); // already 15
    f.TrackBarAttack->setValue(99); // clamped to 15: no change
    f.CheckBoxTremolo->setChecked(false);
    f.ComboBoxWS->setCurrentIndex(3);
    f.ComboBoxFreqMultiplier->setCurrentIndex(9);
    s.form->ComboBoxCNT->setCurrentIndex(2);
    s.form->ComboBoxFB->setCurrentIndex(4);
    s.form->ComboBoxTD->setCurrentIndex(1);
    s.form->CheckBoxA->setChecked(true);
    s.form->TrackBarVolume->setValue(s.form->TrackBarVolume->value());
    EXPECT_TRUE(s.rec.Accesses().empty());

    f.TrackBarAttack->setValue(-3); // clamped to 0: a change, so it is written
    const auto writes = RegisterWrites(s.rec);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].value >> 4, 0);
}

// --- copy, paste and clear ---

TEST(CopyPaste, PasteIsDisabledUntilACopyThenCopiesTheWholeOperatorButNotCc) {
    Started s;
    TFormMain& w = *s.form;
    for (QAction* paste : w.PasteItems)
        EXPECT_FALSE(paste->isEnabled());

    TFrameOp& one = *w.OperatorFrames[0];
    UserChooses(one.ComboBoxWS, 6);
    UserChooses(one.ComboBoxLevelScaling, 2);
    UserChooses(one.ComboBoxFreqMultiplier, 12);
    one.CheckBoxVibrato->setChecked(true);
    one.CheckBoxHold->setChecked(true);
    one.TrackBarAttack->setValue(3);
    one.TrackBarRelease->setValue(7);
    one.TrackBarVolume->setValue(50);
    TFrameOp& six = *w.OperatorFrames[5];
    six.CheckBoxCC->setChecked(true);

    w.CopyItems[0]->trigger();
    for (QAction* paste : w.PasteItems)
        EXPECT_TRUE(paste->isEnabled());
    w.PasteItems[5]->trigger();

    OperatorPatch copied, pasted;
    one.SaveToPatch(copied);
    six.SaveToPatch(pasted);
    EXPECT_EQ(pasted, copied);
    EXPECT_EQ(copied, w.CopyBuffer);
    EXPECT_TRUE(six.IsCcEnabled());
    EXPECT_FALSE(one.IsCcEnabled());
    // What the frame shows is what sounds, lists included.
    const OPL3& opl3 = *w.Fm801->Opl3;
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x20, 0, 5)), copied.Reg20);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x40, 0, 5)), copied.Reg40);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x60, 0, 5)), copied.Reg60);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x80, 0, 5)), copied.Reg80);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0xE0, 0, 5)), copied.RegE0);
}

TEST(CopyPaste, ClearResetsShownAndSoundingOperatorButKeepsCc) {
    Started s;
    TFrameOp& f = *s.form->OperatorFrames[3];
    UserChooses(f.ComboBoxWS, 4);
    UserChooses(f.ComboBoxFreqMultiplier, 9);
    f.TrackBarVolume->setValue(63);
    f.CheckBoxCC->setChecked(true);
    f.MenuItemClear->trigger();

    OperatorPatch shown;
    f.SaveToPatch(shown);
    EXPECT_EQ(shown, kDefaultOperator);
    EXPECT_TRUE(f.IsCcEnabled());
    const OPL3& opl3 = *s.form->Fm801->Opl3;
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x20, 0, 3)), 0x01);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x40, 0, 3)), 0x3F);
    EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0xE0, 0, 3)), 0x00);
}

// --- output panel ---

TEST(OutputPanel, VolumeAndPanGiveTheseAttenuations) {
    struct Case {
        int volume, pan;
        uint16_t left, right;
    };
    const Case cases[] = {
        {31, 63, 30, 0},  {31, -64, 0, 30}, {10, 32, 26, 21}, {0, 40, 31, 31},
        {0, -64, 31, 31}, {20, 0, 11, 11},  {31, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        Started s(0x8000); // muted, both sides loudest
        s.form->TrackBarPan->setValue(c.pan);
        s.form->TrackBarVolume->setValue(c.volume);
        s.form->TrackBarVolume->setValue(c.volume == 0 ? 1 : 0); // force both handlers
        s.form->TrackBarVolume->setValue(c.volume);
        const auto words = VolumeWrites(s.rec);
        ASSERT_FALSE(words.empty());
        EXPECT_EQ(words.back(), 0x8000 | c.right << 8 | c.left); // mute bit kept
    }
}

TEST(OutputPanel, LabelClicksCentreAndSet25OnlyWhenItChanges) {
    Started s(0x0606); // volume 25, pan 0
    TFormMain& w = *s.form;
    ASSERT_EQ(w.TrackBarVolume->value(), 25);
    s.rec.Clear();
    QTest::mouseClick(w.LabelVolume, Qt::LeftButton);
    EXPECT_TRUE(VolumeWrites(s.rec).empty());

    w.TrackBarPan->setValue(-40);
    w.TrackBarVolume->setValue(12);
    s.rec.Clear();
    QTest::mouseClick(w.LabelVolume, Qt::LeftButton);
    EXPECT_EQ(w.TrackBarVolume->value(), 25);
    ASSERT_EQ(VolumeWrites(s.rec).size(), 1u);
    QTest::mouseClick(w.LabelPan, Qt::LeftButton);
    EXPECT_EQ(w.TrackBarPan->value(), 0);
    EXPECT_EQ(VolumeWrites(s.rec).back(), 6 << 8 | 6);
}

TEST(OutputPanel, MuteSetsAndClearsOnlyTheMuteBit) {
    Started s;
    s.rec.SetWord(kVolumePort, 0x7FFF); // every other bit set, by someone else
    s.rec.Clear();
    s.form->CheckBoxMute->setChecked(true);
    s.form->CheckBoxMute->setChecked(false);
    EXPECT_EQ(VolumeWrites(s.rec), (std::vector<uint16_t>{0xFFFF, 0x7FFF}));
}

// --- start-up and shutdown ---

TEST(StartUp, CardOutputStateBecomesVolumePanAndMute) {
    struct Case {
        uint16_t card;
        int volume, pan;
        bool muted;
    };
    const Case cases[] = {
        {31 << 8 | 0, 31, -64, false},      {0 << 8 | 15, 31, 30, false},
        {6 << 8 | 6, 25, 0, false},         {31 << 8 | 31, 0, 0, false},
        {0x8000 | 6 << 8 | 6, 25, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "card word 0x" << std::hex << c.card);
        Started s(c.card);
        EXPECT_EQ(s.form->TrackBarVolume->value(), c.volume);
        EXPECT_EQ(s.form->TrackBarPan->value(), c.pan);
        EXPECT_EQ(s.form->CheckBoxMute->isChecked(), c.muted);
        for (uint16_t word : VolumeWrites(s.rec))
            EXPECT_EQ(word & 0x8000, c.card & 0x8000); // the card's own mute bit stays
    }
}

TEST(StartUp, NoCardChosenEndsWithoutTouchingAPort) {
    for (uint16_t result : {uint16_t(0), uint16_t(0xFFFF)}) {
        PortRecorder rec;
        ScopedPortBackend scope(rec);
        TFormMain form(nullptr, [result](QWidget*) { return result; });
        EXPECT_TRUE(form.Terminated());
        EXPECT_FALSE(form.Fm801);
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(rec.Accesses().empty());
    }
}

TEST(StartUp, DesignValuesAndTheDefaultPatchProgrammed) {
    Started s;
    TFormMain& w = *s.form;
    EXPECT_EQ(w.windowTitle(), "Midi Synthesizer - VI 801");
    EXPECT_EQ(w.size(), QSize(984, 641));
    EXPECT_EQ(w.ComboBoxMidiIn->count(), w.MidiIn->DeviceCount + 1); // none without MIDI systems
    EXPECT_EQ(w.ComboBoxMidiIn->currentText(), "No midi input");
    EXPECT_FALSE(w.MidiIn->IsOpen);
    EXPECT_EQ(w.ComboBoxPreset->currentText(), "Default");
    EXPECT_EQ(w.ComboBoxBank->currentText(), "6op");
    EXPECT_EQ(w.BankNames, (std::vector<std::string>{"2op", "4op", "6op"}));
    for (int op = 0; op < kOperatorCount; ++op) {
        EXPECT_EQ(w.OperatorFrames[op]->LabelOp->text(), QString::number(op + 1));
        EXPECT_EQ(w.OperatorFrames[op]->TrackBarVolume->pageStep() == 4, op < 4);
    }

    const SynthPatch patch = w.GetSynthPatch();
    EXPECT_EQ(patch.RegC0Ops12, 0x30);
    EXPECT_EQ(patch.RegC0Ops34, 0x31);
    EXPECT_EQ(patch.RegC0Ops56, 0x31);
    const OPL3& opl3 = *w.Fm801->Opl3;
    for (int op = 0; op < kOperatorCount; ++op) {
        EXPECT_EQ(patch.Ops[op], kDefaultOperator);
        EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x40, 0, op)), 0x3F);
        EXPECT_EQ(opl3.ReadRegister(OperatorRegister(0x60, 0, op)), 0xFF);
    }
    EXPECT_EQ(opl3.ReadRegister(0xC0), 0x30);
    EXPECT_EQ(opl3.ReadRegister(0xC3), 0x31);
    EXPECT_EQ(opl3.ReadRegister(0xC6), 0x31);
}

TEST(Shutdown, EndsWithTheChipResetSequence) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    auto form = std::make_unique<TFormMain>(nullptr, [](QWidget*) { return kBase; });
    rec.Clear();
    form.reset();

    const std::vector<RegWrite> reset = ResetSequence();
    EXPECT_EQ(RegisterWrites(rec), reset);
    EXPECT_EQ(rec.Accesses().size(), 2 * reset.size()); // nothing else, nothing after
}

// --- patch transfer ---

TEST(PatchTransfer, LoadDefaultPatchClearsOperatorsButKeepsVoiceSettings) {
    Started s;
    TFormMain& w = *s.form;
    UserChooses(w.ComboBoxCNT, 1);
    UserChooses(w.ComboBoxFB2, 5);
    w.CheckBoxB->setChecked(false);
    w.ComboBoxTR1->setEditText("+10");
    for (TFrameOp* f : w.OperatorFrames) {
        UserChooses(f->ComboBoxWS, 2);
        f->TrackBarVolume->setValue(33);
        f->CheckBoxTremolo->setChecked(true);
    }
    w.LoadDefaultPatch();

    const SynthPatch patch = w.GetSynthPatch();
    for (const OperatorPatch& op : patch.Ops)
        EXPECT_EQ(op, kDefaultOperator);
    EXPECT_EQ(patch.RegC0Ops12, 0x11);
    EXPECT_EQ(patch.RegC0Ops34, 0x10);
    EXPECT_EQ(patch.RegC0Ops56, 0x30 | 5 << 1);
    EXPECT_EQ(w.ComboBoxTR1->currentText(), "10");          // normalised
    EXPECT_EQ(w.Fm801->Opl3->ReadRegister(0xE0 + 0x13), 0); // chip follows the lists too
}

TEST(PatchTransfer, SettingsSurviveARoundTrip) {
    Started s;
    TFormMain& w = *s.form;
    for (int pan : {-10, 63, -64}) {
        w.TrackBarPan->setValue(pan);
        const PatchSettings settings = w.GetPatchSettings();
        w.TrackBarPan->setValue(0);
        w.SetPatchSettings(settings);
        EXPECT_EQ(w.TrackBarPan->value(), pan);
    }

    w.ComboBoxTranspose->setEditText("+10");
    w.ComboBoxTR2->setEditText("abc");
    UserChooses(w.ComboBoxVD, 1);
    w.CheckBoxB->setChecked(false);
    w.OperatorFrames[4]->SetCcEnabled(true);
    const PatchSettings settings = w.GetPatchSettings();
    EXPECT_EQ(settings.Transpose, 10);
    EXPECT_EQ(settings.Tuning2, 0);
    EXPECT_EQ(settings.Outputs, outputs::kA | outputs::kA2 | outputs::kB2);
    EXPECT_EQ(settings.LfoDepth, lfo::kVibratoDeep);
    EXPECT_EQ(settings.CcMask, 1 << 4);
    const SynthPatch patch = w.GetSynthPatch();
    EXPECT_EQ(patch.RegC0Ops12 & 0x30, 0x10);
    EXPECT_EQ(patch.RegC0Ops34 & 0x30, 0x10);

    w.SetPatchSettings(settings);
    EXPECT_EQ(w.ComboBoxTranspose->currentText(), "10");
    EXPECT_EQ(w.ComboBoxTR2->currentText(), "0 cents");
}

TEST(PatchTransfer, NoSelectionGivesZeroFeedbackAndConnection) {
    Started s;
    s.form->ComboBoxFB->setCurrentIndex(-1);
    s.form->ComboBoxCNT->setCurrentIndex(-1);
    const SynthPatch patch = s.form->GetSynthPatch();
    EXPECT_EQ(patch.RegC0Ops12, 0x30);
    EXPECT_EQ(ConnectionIndex(patch), 0);
}

TEST(PatchTransfer, SettingsSetVolumeAndPanOnTheCard) {
    Started s(0x8000);
    PatchSettings settings;
    settings.Volume = 10;
    settings.Pan = 32;
    settings.Outputs = 0x0F;
    s.rec.Clear();
    s.form->SetPatchSettings(settings);
    EXPECT_EQ(VolumeWrites(s.rec).back(), 0x8000 | 21 << 8 | 26);
}

// --- the real window, driven as a user would ---

TEST(RealWindow, MouseAndKeysEditTheSoundingPatch) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TFrameOp& three = *w.OperatorFrames[2];

    s.rec.Clear();
    QCheckBox* tremolo = three.CheckBoxTremolo;
    QTest::mouseClick(tremolo, Qt::LeftButton, {}, QPoint(6, tremolo->height() / 2));
    EXPECT_TRUE(tremolo->isChecked());
    auto writes = RegisterWrites(s.rec);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].index, OperatorRegister(0x20, 0, 2));
    EXPECT_EQ(writes[0].value & 0x80, 0x80);

    three.TrackBarAttack->setFocus();
    s.rec.Clear();
    QTest::keyClick(three.TrackBarAttack, Qt::Key_Up); // minimum at the top
    EXPECT_EQ(three.TrackBarAttack->value(), 14);
    writes = RegisterWrites(s.rec);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].index, OperatorRegister(0x60, 0, 2));
    EXPECT_EQ(writes[0].value >> 4, 14);

    s.rec.Clear();
    QTest::keyClick(three.ComboBoxWS, Qt::Key_Down);
    EXPECT_EQ(three.ComboBoxWS->currentText(), "Half Sine");
    writes = RegisterWrites(s.rec);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0], (RegWrite{OperatorRegister(0xE0, 0, 2), 1}));

    QTest::mouseClick(w.LabelPan, Qt::LeftButton);
    w.TrackBarVolume->setFocus();
    s.rec.Clear();
    QTest::keyClick(w.TrackBarVolume, Qt::Key_End);
    EXPECT_EQ(w.TrackBarVolume->value(), 31);
    EXPECT_EQ(VolumeWrites(s.rec).back() & 0x1F1F, 0);
}

// --- the audio output going away is told in the output panel ---

TEST(OutputNotice, SaysAtOnceThatTheOutputWentAwayAndGoesWhenItIsBack) {
    Started s;
    TFormMain& w = *s.form;
    OutputStatus status;
    auto* notice = new OutputNotice(w.PanelOutput, [&status] { return status; });
    w.show();
    notice->Look();
    EXPECT_FALSE(notice->isVisible());

    for (const char* api : {"JACK", "PulseAudio", "ALSA"}) {
        SCOPED_TRACE(api);
        status = OutputStatus{true, api, 1, std::chrono::seconds(3), std::chrono::seconds(3)};
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return notice->isVisible(); }, 5 * OutputNotice::kLookMs));
        EXPECT_EQ(notice->text(), OutputNotice::Text(status));
        EXPECT_TRUE(notice->text().contains(api));
        // Whole, in the panel, over none of its controls.
        EXPECT_LE(notice->fontMetrics().horizontalAdvance(notice->text()), notice->width());
        EXPECT_TRUE(w.PanelOutput->rect().contains(notice->geometry()));
        for (QWidget* control : w.PanelOutput->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control == notice || !control->isVisible()) continue;
            EXPECT_FALSE(control->geometry().intersects(notice->geometry()))
                << control->objectName().toStdString();
        }
        status.lost = false;
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !notice->isVisible(); }, 5 * OutputNotice::kLookMs));
    }
}
