// What the windows say about the synthesizer: envelope times from the
// chip's tables, the tooltips' texts, and the hints and lights beside the
// controls.
#include "hardware/opl3envelope.h"
#include "synth/controltips.h"
#include "synth/viewrules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

SynthState Playing(int note) {
    SynthState state;
    state.lastNote = note;
    return state;
}

} // namespace

TEST(EnvelopeTimes, RatesFollowTheKeyAndTimesHalveEveryStep) {
    struct Rate {
        int value, keyScale;
        bool rateScaling;
        int rate;
    };
    const Rate rates[] = {
        {0, 15, true, 0},   {1, 0, false, 4},   {1, 15, false, 7},  {1, 15, true, 19},
        {10, 9, false, 42}, {15, 3, false, 60}, {15, 15, true, 63},
    };
    for (const Rate& r : rates)
        EXPECT_EQ(opl3::EnvelopeRate(r.value, r.keyScale, r.rateScaling), r.rate)
            << r.value << " " << r.keyScale;

    struct Times {
        int rate;
        double attackMs, decayMs;
    };
    const Times times[] = {
        {0, kNever, kNever},
        {3, kNever, kNever},
        {4, 2826.24, 39280.64},
        {7, 1597.44, 22446.08},
        {8, 1413.12, 19640.32},
        {38, 1884.16 / 256, 26173.44 / 256},
        {59, 1597.44 / 8192, 22446.08 / 8192},
        {60, 0, 39280.64 / 16384},
        {63, 0, 39280.64 / 16384},
    };
    for (const Times& t : times) {
        EXPECT_DOUBLE_EQ(opl3::AttackMs(t.rate), t.attackMs) << t.rate;
        EXPECT_DOUBLE_EQ(opl3::DecayMs(t.rate), t.decayMs) << t.rate;
    }
}

TEST(EnvelopeTimes, LevelsMultipliersAndTheKeyScaleOfANote) {
    const std::pair<int, double> sustains[] = {{0, 0}, {5, -15}, {14, -42}, {15, -93}};
    for (auto [level, db] : sustains)
        EXPECT_EQ(opl3::SustainDb(level), db) << level;
    const std::pair<int, double> slopes[] = {{0, 0}, {1, 3.0}, {2, 1.5}, {3, 6.0}};
    for (auto [value, slope] : slopes)
        EXPECT_EQ(opl3::LevelScalingDbPerOctave(value), slope) << value;
    const std::pair<int, double> multipliers[] = {{0, 0.5}, {1, 1},   {7, 7},   {10, 10},
                                                  {11, 10}, {13, 12}, {14, 15}, {15, 15}};
    for (auto [value, multiplier] : multipliers)
        EXPECT_EQ(opl3::Multiplier(value), multiplier) << value;

    struct Key {
        int note, cents, keyScale;
    };
    const Key keys[] = {
        {60, 0, 8}, {66, 0, 8},  {67, 0, 9}, // the F-number's top bit from G on
        {71, 0, 9}, {72, 0, 10}, {60, 700, 9}, {60, -100, 7}, {5, 0, 0}, {127, 0, 15},
    };
    for (const Key& k : keys)
        EXPECT_EQ(OPL3::KeyScaleNumber(k.note, k.cents), k.keyScale) << k.note << " " << k.cents;
}

TEST(ControlTips, NamesDurationsAndIntervals) {
    const std::pair<int, const char*> notes[] = {
        {60, "C4"}, {61, "C#4"}, {69, "A4"}, {0, "C-1"}, {127, "G9"}};
    for (auto [note, name] : notes)
        EXPECT_EQ(NoteName(note), name);
    const std::pair<double, const char*> durations[] = {{0.35, "0.35 ms"},  {2.4, "2.4 ms"},
                                                        {102.24, "102 ms"}, {1597.44, "1.6 s"},
                                                        {39280.64, "39 s"}, {kNever, "forever"}};
    for (auto [ms, text] : durations)
        EXPECT_EQ(DurationText(ms), text) << ms;
    const std::pair<int32_t, const char*> intervals[] = {
        {0, "no change"},        {1200, "an octave up"}, {-2400, "2 octaves down"},
        {700, "7 semitones up"}, {100, "1 semitone up"}, {-5, "5 cents down"}};
    for (auto [cents, text] : intervals)
        EXPECT_EQ(IntervalText(cents), text) << cents;
}

// The connection's picture marks the heard operators: the last of each chain.
TEST(ControlTips, OperatorsHeardInEachConnection) {
    const char* heard[kConnectionCount] = {"4 6",   "1 4 6",   "2 4 6",   "1 3 4 6",
                                           "4 5 6", "1 4 5 6", "2 4 5 6", "1 3 4 5 6"};
    for (int connection = 0; connection < kConnectionCount; ++connection) {
        std::string ops;
        for (int op = 0; op < kOperatorCount; ++op)
            if (OperatorIsHeard(connection, op))
                ops += (ops.empty() ? "" : " ") + std::to_string(op + 1);
        EXPECT_EQ(ops, heard[connection]) << connection;
    }
}

TEST(ControlTips, OperatorFieldsInTimesDecibelsAndMultipliers) {
    SynthState atC5 = Playing(72);
    SynthState scaled = Playing(60);
    scaled.ops[0].fields[kFieldRateScaling] = 1;
    SynthState held = Playing(60);
    held.ops[0].fields[kFieldHold] = 1;
    held.ops[0].cc = true;
    struct Case {
        const SynthState state;
        size_t field;
        int value;
        const char* tip;
    };
    const Case cases[] = {
        {Playing(60), kFieldAttack, 0, "Attack 0: the note never starts to sound"},
        {Playing(60), kFieldAttack, 15, "Attack 15: full level at once"},
        {Playing(60), kFieldAttack, 12, "Attack 12: from silence to full level in 0.92 ms at C4"},
        {Playing(60), kFieldDecay, 9,
         "Decay 9: down to the sustain level (-93.0 dB) in 99 ms at C4; 96 dB take 102 ms"},
        {scaled, kFieldDecay, 9, // faster for the key
         "Decay 9: down to the sustain level (-93.0 dB) in 37 ms at C4; 96 dB take 38 ms"},
        {atC5, kFieldRelease, 7,
         "Release 7: from full level to silence (96 dB) in 409 ms at C5 once the key is let go"},
        {Playing(60), kFieldSustain, 15,
         "Sustain 15: the decay stops at -93.0 dB; with Hold off the note goes on fading at "
         "the release rate"},
        {held, kFieldSustain, 5, "Sustain 5: the decay stops at -15.0 dB"},
        {Playing(60), kFieldVolume, 39,
         "Volume 39: -18.0 dB (63 is full level). Operator 1 modulates another: this sets how "
         "bright the sound is"},
        {held, kFieldVolume, 63,
         "Volume 63: 0.0 dB (63 is full level). Operator 1 modulates "
         "another: this sets how bright the sound is, at velocity 127"},
        {Playing(60), kFieldMultiplier, 15,
         "Frequency multiplier x15: the 15th harmonic, three octaves and a major seventh up"},
        {Playing(60), kFieldMultiplier, 14,
         "Frequency multiplier x15: the chip has no x14: it plays x15, as +4690 does"},
        {Playing(60), kFieldMultiplier, 0, "Frequency multiplier x0.5: an octave below the note"},
        {Playing(60), kFieldLevelScaling, 1,
         "Key scaling of level: 3.0 dB quieter per octave as notes rise (the chip's slope for "
         "this item)"},
        {Playing(60), kFieldLevelScaling, 3,
         "Key scaling of level: 6.0 dB quieter per octave as "
         "notes rise"},
        {Playing(60), kFieldWaveform, 6, "Waveform: a square wave: hollow, odd harmonics only"},
        {Playing(60), kFieldTremolo, 1,
         "Tremolo: on. The level wavers by 1 dB at 3.7 Hz (the Tremolo Depth)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OperatorTip(c.state, 0, c.field, c.value), c.tip);
    // The heard operators say so; the key is the voice's own, tuning included.
    EXPECT_NE(OperatorTip(Playing(60), 5, kFieldVolume, 10).find("Operator 6 is heard"),
              std::string::npos);
    SynthState tuned = Playing(60);
    tuned.tunings[static_cast<size_t>(Tuning::Voice2)].cents = 1200;
    EXPECT_EQ(
        OperatorTip(tuned, 4, kFieldRelease, 7),
        "Release 7: from full level to silence (96 dB) in 409 ms at C4 once the key is let go");
}

TEST(ControlTips, TheMainWindowsAndTheControllerWindowsControls) {
    const std::pair<std::string, const char*> tips[] = {
        {OutputVolumeTip(25), "Output volume 25: -9.0 dB (31 is 0 dB)"},
        {OutputVolumeTip(0), "Output volume 0: -46.5 dB (31 is 0 dB)"},
        {PanTip(10, 32), "Pan +32: the left side 7.5 dB quieter"},
        {PanTip(31, -64), "Pan -64: the right side 45.0 dB quieter"},
        {PanTip(0, 63), "Pan +63: both sides alike at this volume"},
        {PanTip(20, 0), "Pan 0: centred"},
        {TuningTip(Tuning::Voice1, 1200),
         "Tuning of operators 1-4: 1200 cents, an octave up (100 cents make a semitone); the "
         "next note takes it"},
        {ControllerValueTip("-1"), "-1: not bound; no controller moves this function"},
        {ControllerValueTip("7"), "Controller 7 moves this function; -1 binds none"},
        {ControllerValueTip("07"), "Not a controller number: no controller moves this function"},
        {VoiceTip(VoiceField::Connection, 6),
         "Connection: (1' . 2) + (3 . 4) + 5' + 6. Heard: operators 2, 4, 5, 6; the others "
         "modulate them (' marks feedback)"},
        {VoiceTip(VoiceField::OutputB2, 0), "Operators 5-6 on the right output: off"},
        {SavePresetTip("Organ", 2), "Save the whole sound as \"Organ\" in the 6op bank"},
        {SavePresetTip("Lead", 0), "Save operators 5-6 as \"Lead\" in the 2op bank"},
        {SavePresetTip("", 2), "Type a name in the preset box to save the sound under it"},
        {SavePresetTip("Default", 2), "The Default preset cannot be saved"},
        {ResetPresetTip(""), "Type or pick a preset to reset to"},
    };
    for (const auto& [tip, expected] : tips)
        EXPECT_EQ(tip, expected);
    EXPECT_NE(CcSwitchTip(true).find("follows velocity and controllers"), std::string::npos);
    EXPECT_NE(ChordTip(false).find("major-chord switch"), std::string::npos);
}

TEST(ViewRules, PresetPartsNameTheTwoVoicesWhenTheyDiffer) {
    SynthState state;
    EXPECT_EQ(PresetPartsText(state), "choose a preset");
    state.presetChosen = true;
    EXPECT_EQ(PresetPartsText(state), ""); // Default on both
    state.parts = {PresetName::Of("Organ"), PresetName::Of("Clarinet")};
    EXPECT_EQ(PresetPartsText(state), "4op Organ + 2op Clarinet");
    state.parts[1] = PresetName::Of("Organ");
    EXPECT_EQ(PresetPartsText(state), "");

    // A long name is cut at a whole character.
    const std::string long_(47, 'a');
    EXPECT_EQ(PresetName::Of(long_ + "\xc3\xa9" + "b").View(), long_);
    EXPECT_EQ(PresetName::Of(long_ + "b" + "c").View(), long_ + "b");
}

TEST(ViewRules, SoundingNotesAreTheSlotsNotes) {
    SynthState state;
    state.slotNotes = {60, OPL3::FreeSlot, 64, 67, 200, -3};
    const std::bitset<128> notes = SoundingNotes(state);
    EXPECT_EQ(notes.count(), 3u);
    EXPECT_TRUE(notes[60] && notes[64] && notes[67]);
}

TEST(ViewRules, TheLightBlinksOnMessagesAndTheHintNamesTheirChannel) {
    struct Poll {
        int channel;    // received on, -1 none
        uint32_t count; // how many
        int listened;   // the channel chosen
        int64_t ms;
        bool lit;
        int other;
    };
    const Poll polls[] = {
        {-1, 0, 0, 0, false, -1},   {0, 1, 0, 10, true, -1}, // the chosen channel
        {-1, 0, 0, 100, true, -1},                           // still within the blink
        {-1, 0, 0, 200, false, -1}, {2, 5, 0, 300, true, 2}, // another channel only
        {-1, 0, 0, 900, false, 2}, // the hint stays while nothing else comes
        {0, 1, 0, 1000, true, -1},  {5, 3, 0, 1100, true, 5},
        {-1, 0, 5, 1200, true, -1},                            // listening there now
        {5, 1, 5, 1300, true, -1},  {0, 1, -1, 1400, true, 0}, // listening to none
    };
    MidiActivity activity;
    std::array<uint32_t, kMidiChannelCount> counts{};
    for (const Poll& p : polls) {
        if (p.channel >= 0) counts[static_cast<size_t>(p.channel)] += p.count;
        activity.Poll(counts, p.listened, p.ms);
        EXPECT_EQ(activity.Lit(), p.lit) << p.ms;
        EXPECT_EQ(activity.OtherChannel(), p.other) << p.ms;
    }
    counts[3] = 0xFFFFFFFF;
    activity.Poll(counts, 0, 2000);
    counts[3] += 2; // counts wrap around
    counts[4] += 1;
    activity.Poll(counts, 0, 3000);
    EXPECT_TRUE(activity.Lit());
    EXPECT_EQ(activity.OtherChannel(), 3); // the busier one
    EXPECT_EQ(ChannelHintText(3), "Input on channel 4");
}
