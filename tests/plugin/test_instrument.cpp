// The plugin's instrument without a host: its ports against the core's
// values, the channel and bank it plays, the session it saves and restores,
// and the banks it carries.
#include "plugin/instrument.h"

#include "plugin/atomsequence.h"
#include "plugin/session.h"
#include "plugin/starterbanks.h"
#include "plugin/turtle.h"
#include "presets/sbi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <vector>

namespace {

using plugin::ControlPort;
using plugin::ControlPorts;
using plugin::Instrument;
using plugin::PortValueOf;

struct Midi {
    int64_t frame;
    std::vector<uint8_t> bytes;
};

// An instrument with every control port connected to a value of the test's.
struct Host {
    Host() : instrument(48000), controls(ControlPorts().size()), left(kBlock), right(kBlock) {
        for (size_t i = 0; i < controls.size(); ++i) {
            controls[i] = static_cast<float>(Shown(i));
            instrument.ConnectControl(i, &controls[i]);
        }
        instrument.ConnectOutputs(left.data(), right.data());
        instrument.Activate();
    }
    int Shown(size_t port) const {
        return PortValueOf(ControlPorts()[port], instrument.State(), instrument.Player());
    }
    std::vector<int> AllShown() const {
        std::vector<int> values;
        for (size_t i = 0; i < controls.size(); ++i)
            values.push_back(Shown(i));
        return values;
    }
    void Run(const std::vector<Midi>& events = {}) {
        instrument.Run(kBlock, [&events](const auto& play) {
            for (const Midi& e : events)
                play(e.frame, e.bytes.data(), e.bytes.size());
        });
    }
    size_t Port(const std::string& symbol) const {
        for (size_t i = 0; i < controls.size(); ++i)
            if (ControlPorts()[i].symbol == symbol) return i;
        ADD_FAILURE() << "no port " << symbol;
        return 0;
    }

    static constexpr uint32_t kBlock = 64;
    Instrument instrument;
    std::vector<float> controls;
    std::vector<float> left, right;
};

TEST(ControlPorts, OnePortForEveryParameterWithItsItems) {
    const auto& ports = ControlPorts();
    EXPECT_EQ(ports.size(), kOperatorCount * (kOperatorFieldCount + 1) + kVoiceFieldCount +
                                kTuningCount + 6); // volume pan mute chord channel bank
    std::set<std::string> symbols;
    for (const ControlPort& port : ports) {
        EXPECT_TRUE(symbols.insert(port.symbol).second) << port.symbol;
        if (port.kind == plugin::PortKind::List)
            EXPECT_EQ(port.items.size(), static_cast<size_t>(port.maximum - port.minimum + 1))
                << port.symbol;
        else
            EXPECT_TRUE(port.items.empty()) << port.symbol;
    }
}

// Each port, at both ends of its range and in between, moves its own
// parameter and nothing else.
TEST(Instrument, EveryPortMovesItsParameterAlone) {
    Host host;
    const auto& ports = ControlPorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        const ControlPort& port = ports[i];
        for (int value : {port.maximum, port.minimum, (port.minimum + port.maximum + 1) / 2}) {
            std::vector<int> expected = host.AllShown();
            expected[i] = value;
            host.controls[i] = static_cast<float>(value);
            host.Run();
            ASSERT_EQ(host.AllShown(), expected) << port.symbol << " = " << value;
        }
    }
}

TEST(Instrument, PortValuesAreTakenAsTheControlsTakeThem) {
    const auto& ports = ControlPorts();
    const auto find = [&](const std::string& symbol) -> const ControlPort& {
        return *std::find_if(ports.begin(), ports.end(),
                             [&](const ControlPort& p) { return p.symbol == symbol; });
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* symbol;
        float value;
        int taken;
    } cases[] = {
        {"mute", 0.0f, 0},        {"mute", 0.01f, 1},          {"mute", -1.0f, 0},
        {"op1_level", 40.4f, 40}, {"op1_level", 40.5f, 41},    {"op1_level", 99.0f, 63},
        {"pan", -100.0f, -64},    {"tuning1", 12000.0f, 7200}, {"op1_wave", nan, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plugin::PortValueFrom(find(c.symbol), c.value), c.taken)
            << c.symbol << " " << c.value;
}

// A program change loads a preset the ports do not show; the ports leave it
// be until one of them moves.
TEST(Instrument, WhatTheCoreChangesStaysUntilThePortMoves) {
    Host host;
    const size_t level = host.Port("op6_level");
    host.Run({{0, {0xC0, 0}}}); // the first preset of the 6op bank
    const int loaded = host.Shown(level);
    ASSERT_NE(loaded, static_cast<int>(host.controls[level]));
    host.Run();
    EXPECT_EQ(host.Shown(level), loaded);
    host.controls[level] = 7;
    host.Run();
    EXPECT_EQ(host.Shown(level), 7);
}

// Omni plays every channel; a channel plays its own alone.
TEST(Instrument, PlaysTheChannelItsPortChooses) {
    struct Case {
        int port; // 0 omni, 1-16
        uint8_t channel;
        bool plays;
    } cases[] = {{0, 0, true}, {0, 9, true}, {3, 2, true}, {3, 0, false}, {16, 15, true}};
    for (const Case& c : cases) {
        Host host;
        host.controls[host.Port("channel")] = static_cast<float>(c.port);
        host.Run({{5, {static_cast<uint8_t>(0x90 | c.channel), 60, 100}}});
        EXPECT_EQ(host.instrument.State().poly, c.plays ? 1 : 0)
            << "port " << c.port << ", channel " << c.channel + 1;
    }
}

// A program change chooses from the bank on the port, as from the window's list.
TEST(Instrument, ProgramChangeChoosesFromTheBankOnItsPort) {
    for (int bank = 0; bank < 3; ++bank) {
        Host host;
        host.controls[host.Port("bank")] = static_cast<float>(bank);
        host.Run({{10, {0xC0, 1}}});
        EXPECT_EQ(host.instrument.State().presetIndex, 1) << kBankNames[bank];
        Host direct;
        direct.instrument.LoadPreset(direct.instrument.Banks()[bank].Choices[1]);
        EXPECT_EQ(SynthPatchOf(host.instrument.State()), SynthPatchOf(direct.instrument.State()))
            << kBankNames[bank];
    }
}

TEST(Session, RoundTrips) {
    plugin::Session s;
    s.patch.Ops[2] = {0x21, 0x3F, 0x84, 0x56, 0x05};
    s.patch.RegC0Ops12 = 0x3B; // both outputs, feedback 5, connection 1
    s.patch.RegC0Ops34 = 0x30;
    s.patch.RegC0Ops56 = 0x31;
    s.settings.Outputs = 0x0F;
    s.settings.Tuning2 = -1200;
    s.settings.Volume = 17;
    s.settings.Pan = -20;
    s.settings.CcMask = 0x21;
    s.name = "Grand Piano";
    s.mute = true;
    s.channel = 9;
    s.player = {false, 1};
    s.presetIndex = 4;
    s.controllers.fill(-1);
    s.controllers[3] = 300;
    const std::vector<uint8_t> bytes = plugin::EncodeSession(s);
    ASSERT_EQ(bytes.size(), plugin::kSessionSize);
    EXPECT_EQ(plugin::DecodeSession(bytes), s);
}

TEST(Session, RefusesWhatIsNoSession) {
    const std::vector<uint8_t> good = plugin::EncodeSession({});
    ASSERT_TRUE(plugin::DecodeSession(good));
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"magic", 0, 'X'}, {"version", 4, 2},         {"channel", 6, 16},
        {"bank", 7, 3},    {"preset index", 9, 0x80}, {"patch kind", 54, '4'},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        bytes[c.at] = c.value;
        EXPECT_FALSE(plugin::DecodeSession(bytes)) << c.what;
    }
    EXPECT_FALSE(plugin::DecodeSession(std::span(good).first(good.size() - 1)));
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(plugin::DecodeSession(longer));
}

// What a session saved gives the next instance: the same sound and
// settings, whatever that instance's ports say, until one of them moves.
TEST(Instrument, RestoredSessionWinsOverThePortsUntilTheyMove) {
    Host saved;
    saved.controls[saved.Port("channel")] = 5;
    saved.controls[saved.Port("bank")] = 1;
    saved.controls[saved.Port("chord")] = 1;
    saved.controls[saved.Port("mute")] = 1;
    saved.Run({{3, {0xC4, 2}}, {4, {0xB4, 77, 127}}}); // a preset, then an operator controller
    const std::vector<uint8_t> bytes = saved.instrument.Save();

    Host restored;
    ASSERT_TRUE(restored.instrument.Restore(bytes));
    restored.Run();
    EXPECT_EQ(restored.AllShown(), saved.AllShown());
    EXPECT_EQ(restored.instrument.State().controllers, saved.instrument.State().controllers);
    EXPECT_EQ(restored.instrument.State().presetIndex, 2);
    EXPECT_EQ(restored.instrument.Save(), bytes);

    const size_t attack = restored.Port("op1_attack");
    restored.controls[attack] = 3;
    restored.Run();
    EXPECT_EQ(restored.Shown(attack), 3);
    EXPECT_FALSE(restored.instrument.Restore(std::span(bytes).first(10)));
    EXPECT_EQ(restored.Shown(attack), 3);
}

// The banks a program change chooses from are the program's: the same
// names in the same order, the same bytes.
TEST(StarterBanks, AreTheBanksTheProgramLists) {
    SBI store(std::filesystem::path(VI801_SHARE_DIR));
    const auto banks = plugin::StarterBanks();
    for (size_t b = 0; b < kBankNames.size(); ++b) {
        const PresetBank listed = ReadPresetBank(store, kBankNames[b]);
        EXPECT_EQ(banks[b].Names, listed.Names) << kBankNames[b];
        ASSERT_EQ(banks[b].Choices.size(), listed.Choices.size());
        for (size_t i = 0; i < listed.Choices.size(); ++i)
            EXPECT_TRUE(std::ranges::equal(banks[b].Choices[i].Bytes(), listed.Choices[i].Bytes()))
                << listed.Names[i];
    }
}

TEST(Turtle, PresetFilesAreNamedPlainly) {
    struct Case {
        const char* bank;
        const char* name;
        const char* slug;
    } cases[] = {{"6op", "Grand Piano", "6op-grand-piano"},
                 {"6op", "Honky-Tonk Piano", "6op-honky-tonk-piano"},
                 {"2op", "  Odd -- Name!  ", "2op-odd-name"},
                 {"4op", "Pad 2 (Warm)", "4op-pad-2-warm"}};
    for (const Case& c : cases)
        EXPECT_EQ(plugin::PresetSlug({c.bank, c.name, {}}), c.slug);
}

// A sequence as hosts hand it over, 64-bit aligned or only 32-bit: the
// MIDI events in order, other events passed over, and an event that claims
// more than the sequence holds ends it.
TEST(AtomSequence, ReadsTheMidiEventsWhereverTheSequenceStarts) {
    constexpr uint32_t kMidi = 7, kOther = 9;
    std::vector<uint8_t> sequence(sizeof(LV2_Atom_Sequence));
    const auto add = [&sequence](int64_t frame, uint32_t type, std::vector<uint8_t> body) {
        LV2_Atom_Event header{};
        header.time.frames = frame;
        header.body = {static_cast<uint32_t>(body.size()), type};
        const auto* h = reinterpret_cast<const uint8_t*>(&header);
        sequence.insert(sequence.end(), h, h + sizeof header);
        body.resize(lv2_atom_pad_size(static_cast<uint32_t>(body.size())));
        sequence.insert(sequence.end(), body.begin(), body.end());
    };
    add(0, kMidi, {0x90, 60, 100});
    add(3, kOther, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    add(17, kMidi, {0xC0, 5});
    add(20, kMidi, {0x80, 60, 0});
    sequence.resize(sequence.size() - 8); // the last event's body cut off
    const LV2_Atom_Sequence head{{static_cast<uint32_t>(sequence.size() - sizeof(LV2_Atom)), 1},
                                 {0, 0}};
    std::memcpy(sequence.data(), &head, sizeof head);

    struct Read {
        int64_t frame;
        std::vector<uint8_t> bytes;
        bool operator==(const Read&) const = default;
    };
    const std::vector<Read> expected = {{0, {0x90, 60, 100}}, {17, {0xC0, 5}}};
    for (size_t offset : {0u, 4u}) {
        std::vector<uint64_t> storage(sequence.size() / 8 + 2);
        auto* at = reinterpret_cast<uint8_t*>(storage.data()) + offset;
        std::memcpy(at, sequence.data(), sequence.size());
        std::vector<Read> read;
        plugin::ForEachMidiEvent(at, kMidi, [&read](int64_t frame, const uint8_t* b, size_t n) {
            read.push_back({frame, {b, b + n}});
        });
        EXPECT_EQ(read, expected) << "at an offset of " << offset;
    }
}

} // namespace
