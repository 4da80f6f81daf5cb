// The plugin as hosts load it: lilv finds the bundle of the build tree,
// instantiates it, and runs it with notes, bends, controllers, program
// changes and port changes at chosen frames. Measured: the ports and presets
// the host sees, pitch, onsets, the output against the program's render of
// the same events, allocations and locks in run(), independent instances,
// the session and the presets.
#include "app/commandline.h"
#include "app/songplayer.h"
#include "countingallocator.h"
#include "emulated/rig.h"
#include "lv2host.h"
#include "plugin/controlports.h"
#include "plugin/instrument.h"
#include "plugin/lv2uris.h"
#include "render/offlinerender.h"
#include "synth/synthcore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

namespace {

constexpr unsigned kRate = 48000;
const std::filesystem::path kBanks = VI801_SHARE_DIR; // the program's starter banks

Lv2World& World() {
    static Lv2World world(VI801_LV2_DIR, plugin::kPluginUri);
    return world;
}

MidiAt NoteOn(uint64_t frame, uint8_t note, uint8_t velocity = 100, uint8_t channel = 0) {
    return {frame, {static_cast<uint8_t>(0x90 | channel), note, velocity}};
}
MidiAt NoteOff(uint64_t frame, uint8_t note) {
    return {frame, {0x80, note, 0}};
}

// Operator 6 alone, a sine held at full level while the key is down.
const std::vector<PortAt> kHeldSine = {
    {0, "op6_level", 63}, {0, "op6_decay", 0}, {0, "op6_sustain", 0}, {0, "op6_hold", 1}};

class Lv2Host : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(World().Plugin(), nullptr) << "no bundle in " VI801_LV2_DIR; }
};

// --- what a host sees ---

TEST_F(Lv2Host, SeesThePortTableWithItsRangesDefaultsAndItems) {
    const LilvPlugin* p = World().Plugin();
    const auto& ports = plugin::ControlPorts();
    ASSERT_EQ(lilv_plugin_get_num_ports(p), plugin::kFirstControl + ports.size());
    const plugin::Instrument fresh(kRate);
    std::vector<float> minimum(ports.size() + 3), maximum(minimum.size()), defaults(minimum.size());
    lilv_plugin_get_port_ranges_float(p, minimum.data(), maximum.data(), defaults.data());
    for (size_t i = 0; i < ports.size(); ++i) {
        const uint32_t index = plugin::kFirstControl + static_cast<uint32_t>(i);
        const LilvPort* port = lilv_plugin_get_port_by_index(p, index);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), ports[i].symbol.c_str());
        EXPECT_EQ(minimum[index], ports[i].minimum) << ports[i].symbol;
        EXPECT_EQ(maximum[index], ports[i].maximum) << ports[i].symbol;
        EXPECT_EQ(defaults[index], PortValueOf(ports[i], fresh.State(), fresh.Player()))
            << ports[i].symbol;
        LilvScalePoints* points = lilv_port_get_scale_points(p, port);
        EXPECT_EQ(points ? lilv_scale_points_size(points) : 0u, ports[i].items.size())
            << ports[i].symbol;
        lilv_scale_points_free(points);
    }
    size_t presets = 0;
    for (const PresetBank& bank : fresh.Banks())
        presets += bank.Names.size();
    EXPECT_EQ(World().Presets().size(), presets);
}

// --- pitch and time ---

struct PitchCase {
    const char* what;
    unsigned rate;
    uint8_t note;
    std::vector<PortAt> ports;
    std::vector<MidiAt> bend;
    std::function<void(SynthCore&)> same; // the same settings on the core
    int cents;                            // off the tempered note
};

// What the chip is told to play: its F-number's pitch.
double ChipPitch(const PitchCase& c) {
    EmulatedCard card;
    ScopedThreadPortBackend ports(card);
    SynthCore core(card.Base());
    core.ShowCardOutputState();
    core.LoadPreset({PresetChoice::Kind::Default});
    core.SetOperatorField(5, kFieldVolume, 63);
    core.SetOperatorField(5, kFieldHold, 1);
    if (c.same) c.same(core);
    core.HandleMidiData(1, {0x90, c.note, 100});
    for (const MidiAt& m : c.bend)
        core.HandleMidiData(1, {m.bytes[0], m.bytes[1], m.bytes[2]});
    return ChannelFrequency(core.Chip(),
                            static_cast<uint16_t>(KeyedTwoOperatorChannel(core.Chip())));
}

TEST_F(Lv2Host, PlaysTheChipsPitchWithinATenthOfACent) {
    const auto tuning = [](Tuning which, const char* cents) {
        return
            [which, cents](SynthCore& core) { core.SetTuning(which, TuningFromText(-1, cents)); };
    };
    const PitchCase cases[] = {
        {"A4", kRate, 69, {}, {}, {}, 0},
        {"A4 at 44.1 kHz", 44100, 69, {}, {}, {}, 0},
        {"C3 at 96 kHz", 96000, 48, {}, {}, {}, 0},
        {"A4 at 8 kHz", 8000, 69, {}, {}, {}, 0},
        {"A6 at 192 kHz", 192000, 93, {}, {}, {}, 0},
        {"C4, voice 5-6 37 cents up",
         kRate,
         60,
         {{0, "tuning2", 37}},
         {},
         tuning(Tuning::Voice2, "37"),
         37},
        {"A5 transposed an octave down",
         kRate,
         81,
         {{0, "transpose", -1200}},
         {},
         tuning(Tuning::Transpose, "-1200"),
         -1200},
        {"A4 bent up", kRate, 69, {}, {{2400, {0xE0, 0, 127}}}, {}, 98},
        {"E2 bent down at 22.05 kHz", 22050, 40, {}, {{2400, {0xE0, 0, 0}}}, {}, -100},
    };
    double worst = 0;
    for (const PitchCase& c : cases) {
        Lv2Instance synth(World(), c.rate);
        std::vector<PortAt> ports = kHeldSine;
        ports.insert(ports.end(), c.ports.begin(), c.ports.end());
        std::vector<MidiAt> midi = {NoteOn(0, c.note)};
        midi.insert(midi.end(), c.bend.begin(), c.bend.end());
        const Signal played = synth.Play(c.rate, 256, midi, ports);
        // The last half second, well after the bend.
        const double measured = MeasureFrequency(played.Channel(0, c.rate / 2), c.rate);
        const double expected = ChipPitch(c);
        EXPECT_LT(std::fabs(Cents(measured, expected)), 0.1)
            << c.what << ": " << measured << " Hz for " << expected << " Hz";
        worst = std::max(worst, std::fabs(Cents(measured, expected)));
        // The chip's F-numbers are a few cents apart: the note is the one asked for.
        const double tempered = 440.0 * std::exp2((c.note - 69) / 12.0 + c.cents / 1200.0);
        EXPECT_LT(std::fabs(Cents(expected, tempered)), 5) << c.what;
    }
    std::printf("pitch: at most %.4f cents off the chip's F-number over %zu notes\n", worst,
                std::size(cases));
}

// The first frame louder than a hundredth of the note's peak.
long Onset(const Signal& s) {
    const std::vector<double> x = s.Channel(0);
    const double threshold = 0.01 * Peak(x);
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold) return static_cast<long>(i);
    return -1;
}

// A note sounds at its frame, wherever the host's runs begin and end: the
// card's constant delay apart, within the sample the chip's own clock adds.
TEST_F(Lv2Host, NotesStartAtTheirFramesWithinOneSample) {
    const auto onset = [](uint64_t frame, uint32_t block) {
        Lv2Instance synth(World(), kRate);
        return Onset(synth.Play(frame + 2400, block, {NoteOn(frame, 69)}, kHeldSine));
    };
    const long delay = onset(0, 4096);
    ASSERT_GE(delay, 0);
    long worst = 0;
    for (uint32_t block : {64u, 100u, 4096u})
        for (uint64_t frame : {0, 1, 63, 64, 65, 99, 100, 1000, 4097}) {
            const long heard = onset(frame, block);
            const long off = heard - static_cast<long>(frame) - delay;
            EXPECT_LE(std::labs(off), 1)
                << "note at frame " << frame << " in runs of " << block << ": heard at " << heard;
            worst = std::max(worst, std::labs(off));
        }
    std::printf("onsets: %ld frames after their frames, at most %ld off that\n", delay, worst);
}

// --- the program's render of the same events ---

struct CoreEdit {
    uint64_t frame;
    std::function<void(SynthCore&)> edit;
};

// As `vi801 --render` plays a song: the core started as the program starts
// it (the 6op bank of its starter banks, the Default patch, channel 1), each message
// handed to it between two of the card's Render calls, at its frame. A
// song can't carry port edits: they reach the same core the same way, as a
// status byte MIDI leaves undefined, before the messages of their frame.
Signal RenderAsTheProgram(unsigned rate, const std::vector<MidiAt>& midi,
                          const std::vector<CoreEdit>& edits) {
    constexpr uint8_t kEdit = 0xF4;
    EmulatedCard card;
    card.SetOutputRate(rate);
    ScopedThreadPortBackend ports(card);
    SongPlayer player(card.Base(), CommandLine{}, kBanks);
    std::vector<FramedMessage> messages;
    for (size_t i = 0; i < edits.size(); ++i)
        messages.push_back({edits[i].frame, {kEdit, static_cast<uint8_t>(i), 0}});
    for (const MidiAt& m : midi)
        messages.push_back(
            {m.frame, {m.bytes[0], m.bytes[1], m.bytes.size() > 2 ? m.bytes[2] : uint8_t{0}}});
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const FramedMessage& a, const FramedMessage& b) { return a.Frame < b.Frame; });
    Signal out;
    out.rate = rate;
    OfflineRender render;
    render.deliver = [&](ShortMessage m) {
        if (m.Status == kEdit)
            edits[m.Data1].edit(player.Core());
        else
            player.Play(m);
    };
    render.write = [&out](const float* frames, size_t count) {
        out.samples.insert(out.samples.end(), frames, frames + 2 * count);
    };
    render.Run(card, messages);
    return out;
}

// Two presets, notes, a bend, controllers (the master volume, an operator
// row, all notes off), a note on another channel, and port edits, some on
// the frame of a note.
struct Song {
    std::vector<MidiAt> midi = {
        {0, {0xC0, 0}}, // the 6op bank's first preset
        NoteOn(2400, 60),        NoteOn(3001, 64, 90),
        {4321, {0xB0, 7, 100}},  {6000, {0xE0, 0, 80}},
        NoteOff(9000, 60),       NoteOn(9001, 61, 100, 1), // channel 2: not played
        {12000, {0xC0, 5}},      NoteOn(12001, 67, 127),
        NoteOn(15000, 72),       NoteOn(18000, 48),
        NoteOn(20000, 55),       {24000, {0xB0, 74, 40}},
        {27000, {0xB0, 123, 0}}, NoteOn(28000, 60),
        NoteOff(36000, 60),
    };
    std::vector<PortAt> ports = {
        {0, "channel", 1},   {15000, "op1_level", 20}, {18000, "tuning1", 50},
        {20000, "chord", 1}, {26000, "connection", 3}, {28000, "volume", 20},
    };
    std::vector<CoreEdit> edits = {
        {0, [](SynthCore& c) { c.SetMidiChannel(0); }},
        {15000, [](SynthCore& c) { c.SetOperatorField(0, kFieldVolume, 20); }},
        {18000, [](SynthCore& c) { c.SetTuning(Tuning::Voice1, TuningFromText(-1, "50")); }},
        {20000, [](SynthCore& c) { c.SetChord(true); }},
        {26000, [](SynthCore& c) { c.SetVoiceField(VoiceField::Connection, 3); }},
        {28000, [](SynthCore& c) { c.SetVolume(20); }},
    };
};

TEST_F(Lv2Host, PlaysExactlyWhatTheProgramRenders) {
    const Song song;
    for (unsigned rate : {48000u, 44100u}) {
        const Signal rendered = RenderAsTheProgram(rate, song.midi, song.edits);
        ASSERT_GT(rendered.Frames(), 36000u);
        ASSERT_GT(Peak(rendered.Channel(0)), 0.05);
        for (uint32_t block : {4096u, 333u, 64u, 7u}) {
            Lv2Instance synth(World(), rate);
            const Signal played = synth.Play(rendered.Frames(), block, song.midi, song.ports);
            size_t differ = 0, first = 0;
            for (size_t i = 0; i < rendered.samples.size(); ++i)
                if (played.samples[i] != rendered.samples[i] && differ++ == 0) first = i / 2;
            EXPECT_EQ(differ, 0u) << rate << " Hz in runs of " << block << ": from frame " << first;
            if (differ == 0)
                std::printf("%u Hz in runs of %u: the program's %zu frames, sample for sample\n",
                            rate, block, rendered.Frames());
        }
    }
}

// --- real time ---

// A long run with a flood of every kind of message and port change: no
// allocation and no lock inside run().
TEST_F(Lv2Host, RunNeitherAllocatesNorLocks) {
    ASSERT_TRUE(counting::SeesAllocationsAndLocks());
    Lv2Instance synth(World(), kRate);
    const auto& ports = plugin::ControlPorts();
    std::mt19937 random(801);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    constexpr uint32_t kBlock = 128;
    constexpr int kBlocks = 4000; // 10.7 seconds
    std::vector<float> left(kBlock), right(kBlock);
    uint64_t events = 0, changes = 0;
    const counting::Counts before = counting::Counted();
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<MidiAt> midi;
        for (int i = 0; i < 24; ++i) {
            const uint8_t kinds[] = {0x90, 0x80, 0xB0, 0xE0, 0xC0, 0x90, 0x80, 0xB0};
            const uint8_t kind = kinds[pick(0, 7)];
            midi.push_back(
                {static_cast<uint64_t>(pick(0, kBlock - 1)),
                 {static_cast<uint8_t>(kind | pick(0, 1)), static_cast<uint8_t>(pick(0, 127)),
                  static_cast<uint8_t>(pick(0, 127))}});
        }
        std::sort(midi.begin(), midi.end(),
                  [](const MidiAt& a, const MidiAt& b) { return a.frame < b.frame; });
        for (int i = 0; i < 4; ++i) {
            const plugin::ControlPort& port =
                ports[static_cast<size_t>(pick(0, static_cast<int>(ports.size()) - 1))];
            synth.Set(port.symbol, static_cast<float>(pick(port.minimum, port.maximum)));
        }
        synth.Run(kBlock, midi, left.data(), right.data(),
                  [](bool before) { counting::Watch(before); });
        events += midi.size();
        changes += 4;
        for (uint32_t i = 0; i < kBlock; ++i)
            ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]));
    }
    const counting::Counts after = counting::Counted();
    EXPECT_EQ(after.allocations - before.allocations, 0u);
    EXPECT_EQ(after.locks - before.locks, 0u);
    std::printf("run(): %llu allocations and %llu locks in %d runs of %u frames with %llu events "
                "and %llu port changes\n",
                static_cast<unsigned long long>(after.allocations - before.allocations),
                static_cast<unsigned long long>(after.locks - before.locks), kBlocks, kBlock,
                static_cast<unsigned long long>(events), static_cast<unsigned long long>(changes));
}

// --- several instances ---

TEST_F(Lv2Host, InstancesPlayIndependently) {
    const std::vector<MidiAt> tune = {NoteOn(100, 69), NoteOn(5000, 72), NoteOff(20000, 69)};
    const std::vector<MidiAt> chords = {
        {0, {0xC0, 3}}, NoteOn(10, 48), NoteOn(11, 52), NoteOn(3333, 55)};
    constexpr uint64_t kFrames = 94 * 256;
    const Signal tuneAlone = Lv2Instance(World(), kRate).Play(kFrames, 256, tune, kHeldSine);
    const Signal chordsAlone = Lv2Instance(World(), kRate).Play(kFrames, 256, chords);

    Lv2Instance a(World(), kRate), b(World(), kRate), quiet(World(), kRate);
    Signal heardA, heardB, heardQuiet;
    heardA.rate = heardB.rate = heardQuiet.rate = kRate;
    for (uint64_t done = 0; done < kFrames; done += 256) {
        a.Play(256, 256, tune, kHeldSine, heardA);
        b.Play(256, 256, chords, {}, heardB);
        quiet.Play(256, 256, {}, {}, heardQuiet);
    }
    EXPECT_EQ(heardA.samples, tuneAlone.samples);
    EXPECT_EQ(heardB.samples, chordsAlone.samples);
    EXPECT_EQ(Peak(heardQuiet.Channel(0)) + Peak(heardQuiet.Channel(1)), 0.0);
}

// --- session and presets ---

// A session saved by the host and opened again: the same ports and the same
// sound, including what the core changed itself (a preset, a controller).
TEST_F(Lv2Host, SessionReopensToTheSameSound) {
    const std::vector<PortAt> ports = {{0, "bank", 1}, {0, "channel", 3}, {0, "pan", -30}};
    const std::vector<MidiAt> setUp = {
        {10, {0xC2, 2}}, {20, {0xB2, 7, 60}}, NoteOn(30, 50, 100, 2), NoteOff(4000, 50)};
    // From the instance's frame `now` on.
    const auto later = [](uint64_t now) {
        return std::vector<MidiAt>{NoteOn(now + 100, 57, 100, 2), NoteOff(now + 9000, 57)};
    };
    Lv2Instance first(World(), kRate);
    first.Play(12000, 512, setUp, ports);
    const std::string saved = first.SaveState();
    EXPECT_NE(saved.find("urn:vi801:instrument#session"), std::string::npos);

    Lv2Instance reopened(World(), kRate);
    reopened.RestoreState(saved);
    EXPECT_EQ(reopened.Get("pan"), -30);
    reopened.Play(12000, 512, {}, {}); // as long as the first played
    EXPECT_EQ(reopened.SaveState(), saved);

    Lv2Instance again(World(), kRate); // set up the same way, no note played
    again.Play(12000, 512, {setUp[0], setUp[1]}, ports);
    ASSERT_EQ(reopened.Now(), again.Now());
    const Signal heard = reopened.Play(12000, 512, later(reopened.Now()), {});
    const Signal expected = again.Play(12000, 512, later(again.Now()), {});
    EXPECT_EQ(heard.samples, expected.samples);
    EXPECT_GT(Peak(heard.Channel(0)), 0.001);
}

// Every preset of the bundle, loaded as a host loads it, plays what a
// program change to it plays on a new instance.
TEST_F(Lv2Host, PresetsSoundAsTheirProgramChanges) {
    const plugin::Instrument listing(kRate);
    const std::vector<MidiAt> note = {NoteOn(64, 62), NoteOff(6000, 62)};
    int checked = 0;
    for (const auto& [uri, label] : World().Presets()) {
        for (size_t b = 0; b < kBankNames.size(); ++b) {
            const auto& names = listing.Banks()[b].Names;
            const auto found = std::find(names.begin(), names.end(), label);
            if (found == names.end() ||
                uri.find(std::string("-") + kBankNames[b] + "-") == std::string::npos)
                continue;
            Lv2Instance loaded(World(), kRate);
            loaded.LoadPreset(uri);
            Lv2Instance changed(World(), kRate);
            const uint8_t program = static_cast<uint8_t>(found - names.begin());
            std::vector<MidiAt> midi = {{0, {0xC0, program}}};
            midi.insert(midi.end(), note.begin(), note.end());
            const Signal byPreset = loaded.Play(9600, 256, note, {});
            const Signal byProgram =
                changed.Play(9600, 256, midi, {{0, "bank", static_cast<float>(b)}});
            EXPECT_EQ(byPreset.samples, byProgram.samples) << uri;
            EXPECT_GT(Peak(byPreset.Channel(0)) + Peak(byPreset.Channel(1)), 0.001) << uri;
            ++checked;
        }
    }
    EXPECT_EQ(checked, static_cast<int>(World().Presets().size()));
}

// A host that switches the plugin off and on again loses the note-offs of
// that time: nothing is left hanging.
TEST_F(Lv2Host, ReactivationLeavesNoNoteHanging) {
    double held = 0, reset = 0;
    for (bool reactivate : {false, true}) {
        Lv2Instance synth(World(), kRate);
        synth.Play(4800, 256, {NoteOn(0, 69)}, kHeldSine);
        if (reactivate) synth.Reactivate();
        // A tenth of a second on, past the output's AC coupling settling.
        const Signal after = synth.Play(9600, 256, {}, {});
        (reactivate ? reset : held) = Rms(after.Channel(0, 4800));
    }
    EXPECT_GT(held, 0.01); // the held note, unless something silenced it
    EXPECT_LT(Db(reset / held), -60);
    std::printf("reactivated: %.1f dB under the held note\n", Db(reset / held));
}

} // namespace
