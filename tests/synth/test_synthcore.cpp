// The synthesizer core without any window: what each kind of input does to
// its values and to the chip.
#include "synth/corefixture.h"
#include "synth/corelink.h"

#include "presets/presetfile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

PresetChoice SixOperator(uint8_t volume) {
    SynthPatch patch;
    patch.Ops.fill({0x01, 0x00, 0xF0, 0xF0, 0});
    PatchSettings settings;
    settings.Volume = volume;
    settings.Outputs = 0x0F;
    return PresetChoice::FromBytes(EncodePreset(PresetKind::SixOperator, "", patch, settings));
}

PresetBank Bank(std::vector<std::string> names) {
    PresetBank bank;
    for (const std::string& name : names) {
        bank.Names.push_back(name);
        bank.Choices.push_back(name == "Default" ? PresetChoice{PresetChoice::Kind::Default}
                                                 : SixOperator(static_cast<uint8_t>(name.size())));
    }
    return bank;
}

// --- the change rule: a value set by the synthesizer itself ---

TEST(SynthCore, ValuesItSetsItselfProgramOnlyChangedChecksAndBars) {
    Core c;
    SynthPatch patch = c.core->GetSynthPatch();
    c.core->SetSynthPatch(patch);
    EXPECT_TRUE(c.Writes().empty()); // nothing changed, nothing sent
    patch.Ops[1].Reg60 = 0x3F;       // attack 3: a bar
    patch.Ops[1].RegE0 = 0x05;       // waveform: a list, waits for SetPatch
    c.core->SetSynthPatch(patch);
    EXPECT_EQ(c.Writes().size(), 6u); // attack of operator 2 in all six slots
    EXPECT_EQ(c.State().ops[1].fields[kFieldAttack], 3);
    EXPECT_EQ(c.State().ops[1].fields[kFieldWaveform], 5);

    // A user's edit programs its parameter whether it changed or not.
    c.rec.Clear();
    c.core->SetOperatorField(1, kFieldWaveform, 5);
    c.core->SetVoiceField(VoiceField::Feedback, 0);
    EXPECT_EQ(c.Writes().size(), 12u); // each in all six slots
}

TEST(SynthCore, CardStateAtStartBecomesVolumePanAndMute) {
    struct Case {
        uint16_t card;
        int volume, pan;
        bool mute;
    };
    const Case cases[] = {{0x1F00, 31, -64, false},
                          {0x000F, 31, 30, false},
                          {0x0606, 25, 0, false},
                          {0x1F1F, 0, 0, false},
                          {0x8606, 25, 0, true}};
    for (const Case& c : cases) {
        Core core(c.card);
        EXPECT_EQ(core.State().volume, c.volume) << std::hex << c.card;
        EXPECT_EQ(core.State().pan, c.pan) << std::hex << c.card;
        EXPECT_EQ(core.State().mute, c.mute) << std::hex << c.card;
    }
}

// --- notes ---

TEST(SynthCore, NotesFollowChannelChordVelocityAndTunings) {
    Core c;
    c.core->SetOperatorField(0, kFieldVolume, 63);
    c.core->SetCcEnabled(0, true);
    c.core->SetChord(true);
    c.core->SetMidiChannel(2);
    c.Send(0x90, 60, 100);
    EXPECT_EQ(c.State().poly, 0); // channel 1: not ours
    c.Send(0x92, 60, 64);
    EXPECT_EQ(c.State().poly, 3);
    EXPECT_EQ(c.core->Chip().ReadRegister(0x40) & 0x3F, 63 - 31); // level 31 at velocity 64
    EXPECT_EQ(c.State().ops[0].fields[kFieldVolume], 63);         // the volume stays
    c.Send(0x90, 61, 127, KeyboardSource);                        // the keyboard: channel 1 always
    EXPECT_EQ(c.State().poly, 6);
    c.Send(0x92, 60, 0);
    EXPECT_EQ(c.State().poly, 3);
    c.Send(0xB2, 123, 0);
    EXPECT_EQ(c.State().poly, 0);

    c.core->SetTuning(Tuning::Voice1, TuningFromText(-1, "+1200"));
    c.core->SetTuning(Tuning::Transpose, TuningFromText(7, "-5"));
    EXPECT_TRUE(c.State().tunings[0].matchesItem);
    c.core->SetChord(false);
    c.core->SetCcEnabled(0, false);
    c.rec.Clear();
    c.Send(0x92, 69, 127);
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    OPL3 chip(kOplPort);
    rec.Clear();
    chip.NoteOn(1195, -5, 69);
    EXPECT_EQ(c.Writes(), DecodeRegisterWrites(rec.Accesses(), kOplPort));
}

// --- presets ---

TEST(SynthCore, ProgramChangeSelectsByPositionAndIgnoresTheRest) {
    Core c;
    const PresetBank bank = Bank({"Bell", "Default", "Organ"});
    c.core->SetBank(&bank);
    c.core->SelectPreset(0);
    c.core->SetOperatorField(2, kFieldVolume, 40);
    const uint32_t serial = c.State().presetSerial;
    c.Send(0xC0, 1);
    EXPECT_EQ(c.State().presetIndex, 1);
    EXPECT_EQ(c.State().presetSerial, serial + 1);
    EXPECT_EQ(c.State().ops[2].fields[kFieldVolume], 0); // the Default patch applied
    c.Send(0xC0, 2);
    EXPECT_EQ(c.State().volume, 5); // "Organ" carries volume 5
    EXPECT_EQ(c.State().presetLabel, 3);
    c.rec.Clear();
    c.Send(0xC0, 3);
    c.Send(0xC1, 0);
    EXPECT_EQ(c.State().presetIndex, 2);
    EXPECT_TRUE(c.rec.Accesses().empty());
}

TEST(SynthCore, KeyboardStepsWrapAndIgnoreTheChannel) {
    struct Case {
        int selected;
        uint8_t step;
        int index;
    };
    const Case cases[] = {{0, 0xFF, 3}, {3, 0x01, 0}, {1, 0x01, 2}, {-1, 0x01, 0}, {-1, 0xFF, 3}};
    Core c;
    const PresetBank bank = Bank({"A", "B", "C", "D"});
    c.core->SetBank(&bank);
    c.core->SetMidiChannel(4);
    for (const Case& k : cases) {
        c.core->SelectPreset(k.selected);
        c.Send(0xC0, 0, k.step, KeyboardSource);
        EXPECT_EQ(c.State().presetIndex, k.index) << k.selected;
    }
    // From an input the same bytes are a program change on channel 1.
    c.core->SetMidiChannel(0);
    c.core->SelectPreset(2);
    c.Send(0xC0, 0, 0x01);
    EXPECT_EQ(c.State().presetIndex, 0);
    // No bank: nothing to choose from.
    c.core->SetBank(nullptr);
    c.Send(0xC0, 0, 0x01, KeyboardSource);
    EXPECT_EQ(c.State().presetIndex, 0);
}

TEST(SynthCore, AFileThatDoesNotDecodeChangesNothingButTheLabel) {
    Core c;
    c.core->SelectPreset(4);
    const SynthState before = c.State();
    for (const PresetChoice& choice :
         {PresetChoice{PresetChoice::Kind::File}, PresetChoice::FromBytes({1, 2, 3}),
          PresetChoice::FromBytes(std::vector<uint8_t>(200, 0)), PresetChoice{}}) {
        c.core->LoadPreset(choice);
        EXPECT_EQ(c.State().presetLabel, SynthState::kPlainLabel);
        EXPECT_EQ(c.State().ops, before.ops);
    }
    EXPECT_TRUE(c.rec.Accesses().empty());
    c.core->LoadPreset(SixOperator(9));
    EXPECT_EQ(c.State().presetLabel, 5);
    EXPECT_EQ(c.State().volume, 9);
}

// --- controllers ---

struct RowCase {
    int number;
    uint8_t value;
    std::function<bool(const SynthState&)> holds;
};

TEST(SynthCore, ControllerRowsMoveTheirValues) {
    const auto voice = [](const SynthState& s, VoiceField f) {
        return s.voice[static_cast<size_t>(f)];
    };
    const RowCase cases[] = {
        {7, 127, [](auto& s) { return s.volume == 31; }},
        {7, 0, [](auto& s) { return s.volume == 0; }},
        {10, 0, [](auto& s) { return s.pan == -64; }},
        {10, 127, [](auto& s) { return s.pan == 63; }},
        {93, 127, [&](auto& s) { return voice(s, VoiceField::Feedback) == 7; }},
        {93, 200, [&](auto& s) { return voice(s, VoiceField::Feedback) == -1; }}, // past the items
        {91, 40, [&](auto& s) { return voice(s, VoiceField::Feedback2) == 2; }},
        {6, 127, [](auto& s) { return s.tunings[0].index == 13 && s.tunings[0].cents == 3600; }},
        {6, 64, [](auto& s) { return s.tunings[0].Shown() == "-5"; }},
        {5, 0, [](auto& s) { return s.tunings[1].cents == -7200; }},
        {3, 127, [](auto& s) { return s.volume == 25; }}, // bound to nothing
    };
    for (const RowCase& k : cases) {
        SCOPED_TRACE(testing::Message() << "controller " << k.number << " = " << int(k.value));
        Core c;
        c.core->HandleController(static_cast<uint8_t>(k.number), k.value);
        EXPECT_TRUE(k.holds(c.State()));
    }
}

TEST(SynthCore, OperatorRowsMoveOnlyCcOperatorsAndSendTheirLists) {
    Core c;
    c.core->HandleController(74, 100);
    EXPECT_TRUE(c.Writes().empty()); // no operator follows controllers yet
    for (int op : {0, 4})
        c.core->SetCcEnabled(op, true);
    c.core->HandleController(74, 100); // waveform 1, tremolo, vibrato
    c.core->HandleController(78, 70);  // sustain 14, hold
    c.core->HandleController(76, 127); // multiplier 15
    for (int op = 0; op < kOperatorCount; ++op) {
        SCOPED_TRACE(op + 1);
        const bool cc = op == 0 || op == 4;
        const auto& f = c.State().ops[op].fields;
        EXPECT_EQ(f[kFieldWaveform], cc ? 1 : 0);
        EXPECT_EQ(f[kFieldTremolo], cc);
        EXPECT_EQ(f[kFieldVibrato], cc);
        EXPECT_EQ(f[kFieldSustain], cc ? 14 : 15);
        EXPECT_EQ(f[kFieldHold], cc);
        EXPECT_EQ(f[kFieldMultiplier], cc ? 15 : 1);
        const uint16_t offset = OPL3::OperatorOffset[3 * op];
        EXPECT_EQ(c.core->Chip().ReadRegister(0xE0 + offset), cc ? 1 : 0);
        EXPECT_EQ(c.core->Chip().ReadRegister(0x20 + offset) & 0x0F, cc ? 15 : 1);
    }
}

TEST(SynthCore, BindingsTakeOnlyPlainNumbersAndTheFirstRowWins) {
    const std::pair<const char*, int> texts[] = {
        {"7", 7},         {"07", kUnbound}, {"+7", kUnbound}, {" 7", kUnbound}, {"0", 0},
        {"-1", kUnbound}, {"200", 200},     {"", kUnbound},   {"7x", kUnbound}};
    for (const auto& [text, number] : texts)
        EXPECT_EQ(ControllerNumberFromText(text), number) << text;

    Core c;
    c.core->SetControllerNumber(3, 7); // feedback after master volume
    c.core->HandleController(7, 127);
    EXPECT_EQ(c.State().volume, 31);
    EXPECT_EQ(c.State().voice[0], 0);
    c.core->SetControllerNumber(1, kUnbound);
    c.core->HandleController(7, 127);
    EXPECT_EQ(c.State().voice[0], 7);
}

// On a thread of its own the core plays what it is sent in order, and the
// sender reads back what it did once it has caught up.
TEST(CoreLink, OnItsOwnThreadItPlaysWhatDirectPlayingPlays) {
    const auto play = [](CoreLink& link) {
        link.Send(command::OperatorField{5, kFieldVolume, 63, false});
        link.Send(command::Chord{true});
        for (uint8_t n = 40; n < 80; n += 3) {
            link.SendMidi(1, {0x90, n, 100});
            link.SendMidi(1, {0xB0, 7, static_cast<uint8_t>(n)});
            link.SendMidi(1, {0xE0, 0, static_cast<uint8_t>(2 * n - 60)});
            link.SendMidi(1, {0x80, static_cast<uint8_t>(n - 3), 0});
        }
        link.Send(command::Clear{5});
    };
    SynthState state;
    std::vector<RegWrite> writes;
    {
        Core direct;
        CoreLink here(*direct.core);
        play(here);
        state = direct.State();
        writes = direct.Writes();
    }
    Core threaded;
    {
        CoreLink there(*threaded.core);
        there.PlayOnThread();
        ASSERT_TRUE(there.PlaysElsewhere());
        play(there);
        there.Sync();
        EXPECT_TRUE(there.CaughtUp());
        EXPECT_EQ(there.State(), state);
        EXPECT_EQ(there.MessagesPlayed(), 4u * 14);
    }
    EXPECT_EQ(threaded.Writes(), writes);
}

} // namespace
