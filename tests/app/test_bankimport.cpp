// Each bank format end to end: a bank file with known instruments imported
// as --import does into a bank folder of the test's own, then each preset
// loaded through the store and played on the emulated card, and measured:
// the instrument's multiplier is heard as its pitch, its total level as its
// loudness.
#include "app/bankcommands.h"
#include "emulated/rig.h"
#include "presets/bankwriters.h"
#include "presets/sbi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr unsigned kRate = 48000;
constexpr uint8_t kNote = 69;

OperatorPatch Quiet() {
    return {0x01, 0x3F, 0xF0, 0x00, 0x00};
}

// A held sine at multiplier `multiplier`, `attenuation` steps of 0.75 dB down.
OperatorPatch Sine(uint8_t multiplier, uint8_t attenuation) {
    return {static_cast<uint8_t>(0x20 | multiplier), attenuation, 0xF0, 0x00, 0x00};
}

// "Sine": a two-operator FM pair whose carrier alone sounds, an octave up, 6 dB down.
BankInstrument SineInstrument() {
    BankInstrument i;
    i.Name = "Sine";
    i.Pairs[0] = {Quiet(), Sine(2, 8), 0x00};
    return i;
}

// "Quad": four operators, (1' . 2) + (3 . 4) with operator 2 alone
// sounding, at three times the note, 3 dB down; or two FM voices.
BankInstrument QuadInstrument(VoiceLayout layout) {
    BankInstrument i;
    i.Name = "Quad";
    i.Index = 1;
    i.Layout = layout;
    i.Pairs[0] = {Quiet(), Sine(3, 4), 0x00};
    i.Pairs[1] = {Quiet(), Quiet(), static_cast<uint8_t>(layout == VoiceLayout::FourOperator)};
    return i;
}

struct Expected {
    std::string bank, name;
    double multiplier, db;
};

struct EndToEndCase {
    const char* format;
    const char* file;
    std::function<BankBytes()> write;
    std::vector<Expected> presets;
};

void PrintTo(const EndToEndCase& c, std::ostream* os) {
    *os << c.format;
}

const Expected kSine{"2op", "T Sine", 2, -6}, kQuad{"4op", "T Quad", 3, -3};

std::vector<EndToEndCase> Cases() {
    const BankInstrument sine = SineInstrument();
    return {
        {"WOPL",
         "bank.wopl",
         [=] {
             return WriteWopl(3, {sine, QuadInstrument(VoiceLayout::FourOperator)});
         },
         {kSine, kQuad}},
        {"OPLI", "sine.opli", [=] { return WriteOpli(sine); }, {kSine}},
        {"OP2",
         "genmidi.op2",
         [=] {
             return WriteOp2({sine, QuadInstrument(VoiceLayout::TwoPairs)});
         },
         {kSine, kQuad}},
        {"TMB", "bank.tmb", [=] { return WriteTmb({sine}); }, {{"2op", "T 0", 2, -6}}},
        {"IBK", "bank.ibk", [=] { return WriteIbk({sine}); }, {kSine}},
        {"BNK", "bank.bnk", [=] { return WriteBnk({sine}); }, {kSine}},
        {"SBI",
         "both.sbi",
         [=] {
             BankBytes bytes = WriteSbi(SbiRecord::Sbi, {sine});
             const BankBytes quad =
                 WriteSbi(SbiRecord::FourOp, {QuadInstrument(VoiceLayout::FourOperator)});
             bytes.insert(bytes.end(), quad.begin(), quad.end());
             return bytes;
         },
         {kSine, kQuad}},
    };
}

struct Heard {
    double frequency, expectedFrequency, rmsDb;
};

// Plays A4 with every operator but those of the preset silent, all outputs on.
Heard Play(const SynthPatch& patch) {
    Rig rig(kRate);
    rig.fm.SetAttenuation(0, 0);
    PatchSettings settings;
    settings.Outputs = outputs::kA | outputs::kB | outputs::kA2 | outputs::kB2;
    rig.Opl3().SetPatch(patch, settings);
    rig.Opl3().NoteOn(0, 0, kNote);
    const Signal s = rig.Render(0.6);
    const std::vector<double> steady = s.Channel(0, kRate / 10, kRate / 2);
    const double chip =
        ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(KeyedTwoOperatorChannel(rig.Opl3())));
    return {MeasureFrequency(steady, kRate), chip, Db(Rms(steady))};
}

SynthPatch SilentPatch() {
    SynthPatch patch;
    for (OperatorPatch& op : patch.Ops)
        op = Quiet();
    patch.RegC0Ops12 = patch.RegC0Ops34 = patch.RegC0Ops56 = 0x30;
    return patch;
}

class ImportEndToEnd : public testing::TestWithParam<EndToEndCase> {
protected:
    void SetUp() override {
        fs::create_directories(root / "2op");
        fs::create_directories(root / "4op");
    }
    void TearDown() override { fs::remove_all(root); }
    const fs::path root =
        fs::temp_directory_path() / ("vi801-import-e2e-" + std::to_string(::getpid()));
};

TEST_P(ImportEndToEnd, ImportedPresetsSoundAtTheirPitchAndLevel) {
    const EndToEndCase& c = GetParam();
    const BankBytes bytes = c.write();
    std::ofstream(root / c.file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    CommandLine options;
    options.import = (root / c.file).string();
    options.prefix = "T ";
    std::ostringstream out, err;
    ASSERT_EQ(RunImport(options, root, out, err, "vi801"), 0) << err.str();
    EXPECT_NE(out.str().find("(" + std::string(c.format) +
                             "): " + std::to_string(c.presets.size()) + " preset"),
              std::string::npos)
        << out.str();

    SynthPatch reference = SilentPatch();
    reference.Ops[5] = Sine(1, 0);
    const double referenceDb = Play(reference).rmsDb;
    SBI store(root);
    for (const Expected& e : c.presets) {
        SCOPED_TRACE(e.bank + "/" + e.name);
        store.GetPresetList(e.bank);
        SynthPatch patch = SilentPatch();
        PatchSettings settings;
        ASSERT_TRUE(store.LoadPreset(e.name, patch, settings));
        const Heard heard = Play(patch);
        const double cents = Cents(heard.frequency, heard.expectedFrequency * e.multiplier);
        std::printf("%s %s: %.2f Hz (%.3f cents off), %.2f dB\n", c.format, e.name.c_str(),
                    heard.frequency, cents, heard.rmsDb - referenceDb);
        EXPECT_NEAR(cents, 0, 1);
        EXPECT_NEAR(heard.rmsDb - referenceDb, e.db, 0.3);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportEndToEnd, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<EndToEndCase>& info) {
                             return std::string(info.param.format);
                         });

TEST(ListBank, PrintsEachInstrumentWithItsPlaceKindAndName) {
    const fs::path file =
        fs::temp_directory_path() / ("vi801-list-" + std::to_string(::getpid()) + ".sbi");
    BankInstrument unnamed = SampleInstrument(3, VoiceLayout::TwoPairs);
    const BankBytes bytes = WriteSbi(SbiRecord::TwoOpOpl3, {SineInstrument(), unnamed});
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    CommandLine options;
    options.list = file.string();
    std::ostringstream out, err;
    EXPECT_EQ(RunList(options, out, err, "vi801"), 0);
    EXPECT_EQ(out.str(), "    0  2-op         Sine\n"
                         "    1  pseudo-4-op  1\n");
    options.list = file.string() + ".missing";
    EXPECT_EQ(RunList(options, out, err, "vi801"), 1);
    EXPECT_EQ(err.str(), "vi801: " + options.list + ": can't open it: No such file or directory\n");
    fs::remove(file);
}

} // namespace
