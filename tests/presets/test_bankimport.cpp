// An instrument goes into the six-operator patch as a preset of its kind,
// and an import writes each one as the preset Save would write, never over
// a preset that is there.
#include "bankwriters.h"
#include "presets/formats/bankfile.h"
#include "presets/formats/bankimport.h"
#include "presets/presetfile.h"
#include "presets/sbi.h"
#include "recordsamples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kFm = 0x00, kAm = 0x01;

BankInstrument Sample(VoiceLayout layout, uint8_t c0First, uint8_t c0Second, bool percussion) {
    BankInstrument i = SampleInstrument(7, layout, "x");
    i.Pairs[0].RegC0 = c0First;
    i.Pairs[1].RegC0 = c0Second;
    i.Percussion = percussion;
    i.Pairs[0].Carrier.RegE0 = 0xFD; // bits above the waveform never reach the patch
    return i;
}

struct ApplyCase {
    const char* title;
    BankInstrument instrument;
    PresetKind kind;
    // Channel bytes after, from NumberedPatch's 0x3B, 0x35, 0x27 (outputs 0x30, 0x30, 0x20).
    uint8_t c0Ops12, c0Ops34, c0Ops56;
};

void PrintTo(const ApplyCase& c, std::ostream* os) {
    *os << c.title;
}

const ApplyCase kApplyCases[] = {
    {"two-operator to 5-6", Sample(VoiceLayout::OnePair, 0x0B, 0, false), PresetKind::TwoOperator,
     0x3B, 0x35, 0x2B},
    {"percussion to 5-6", Sample(VoiceLayout::OnePair, 0x04, 0, true), PresetKind::TwoOperator,
     0x3B, 0x35, 0x24},
    {"four-operator to 1-4", Sample(VoiceLayout::FourOperator, 0x0E | kAm, kAm, false),
     PresetKind::FourOperator, 0x3F, 0x31, 0x27},
    {"four-operator percussion to 1-4", Sample(VoiceLayout::FourOperator, 0x06, 0, true),
     PresetKind::FourOperator, 0x36, 0x30, 0x27},
    {"two FM voices to 1-2 and 3-4 as (1' . 2) + (3 . 4)",
     Sample(VoiceLayout::TwoPairs, 0x0A | kFm, 0x06 | kFm, false), PresetKind::FourOperator, 0x3A,
     0x31, 0x27},
    {"a voice that is no FM pair: the first voice to 5-6",
     Sample(VoiceLayout::TwoPairs, 0x0A | kFm, 0x06 | kAm, false), PresetKind::TwoOperator, 0x3B,
     0x35, 0x2A},
};

class Apply : public testing::TestWithParam<ApplyCase> {};

TEST_P(Apply, ChangesWhatAPresetOfItsKindChanges) {
    const ApplyCase& c = GetParam();
    const BankInstrument& i = c.instrument;
    EXPECT_EQ(PresetKindFor(i), c.kind);
    const SynthPatch before = NumberedPatch();
    SynthPatch patch = before;
    ApplyInstrument(i, patch);
    EXPECT_EQ(patch.RegC0Ops12, c.c0Ops12);
    EXPECT_EQ(patch.RegC0Ops34, c.c0Ops34);
    EXPECT_EQ(patch.RegC0Ops56, c.c0Ops56);
    OperatorPatch carrier = i.Pairs[0].Carrier;
    carrier.RegE0 = 0x05;
    const bool four = c.kind == PresetKind::FourOperator;
    const std::array<OperatorPatch, 6> ops =
        four ? std::array{i.Pairs[0].Modulator, carrier,       i.Pairs[1].Modulator,
                          i.Pairs[1].Carrier,   before.Ops[4], before.Ops[5]}
             : std::array{before.Ops[0], before.Ops[1],        before.Ops[2],
                          before.Ops[3], i.Pairs[0].Modulator, carrier};
    EXPECT_EQ(patch.Ops, ops);
}

INSTANTIATE_TEST_SUITE_P(Instruments, Apply, testing::ValuesIn(kApplyCases));

TEST(ImportNames, AreNamesTheStoreTakes) {
    const struct {
        std::string prefix, name;
        size_t index;
        std::string preset;
    } cases[] = {
        {"", "Grand Piano", 0, "Grand Piano"},
        {"OP2 ", "Grand Piano", 0, "OP2 Grand Piano"},
        {"", "", 12, "12"},
        {"TMB ", "", 130, "TMB 130"},
        {"", "AC/DC: Riff?", 0, "AC_DC_ Riff_"},
        {"a\tb/", "*", 0, "ab__"},
        {"", "Default", 0, "Default_"},
        {"", "..", 0, ".._"},
        {"\x01", "", 3, "3"},
        {std::string(150, 'p'), std::string(100, 'n'), 0,
         std::string(150, 'p') + std::string(50, 'n')},
    };
    for (const auto& c : cases) {
        BankInstrument i;
        i.Name = c.name;
        i.Index = c.index;
        const std::string name = PresetNameFor(c.prefix, i);
        EXPECT_EQ(name, c.preset);
        EXPECT_TRUE(IsValidPresetName(name)) << name;
    }
}

class ImportInto : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "2op");
        fs::create_directories(root / "4op");
    }
    void TearDown() override { fs::remove_all(root); }
    std::vector<uint8_t> File(const std::string& bank, const std::string& name) const {
        std::ifstream in(root / bank / (name + ".sbi"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    const fs::path root =
        fs::temp_directory_path() / ("vi801-import-" + std::to_string(::getpid()));
};

TEST_F(ImportInto, WritesWhatSaveWritesAndNeverReplacesAPreset) {
    const BankInstrument lead = SampleInstrument(1, VoiceLayout::OnePair, "Lead");
    const BankInstrument quad = SampleInstrument(2, VoiceLayout::FourOperator, "Quad");
    const BankInstrument otherLead = SampleInstrument(3, VoiceLayout::OnePair, "Lead");
    const BankInstrument kept = SampleInstrument(4, VoiceLayout::OnePair, "Kept");
    std::ofstream(root / "2op" / "My Kept.sbi") << "the user's own";

    const ImportResult r =
        ImportInstruments({lead, quad, BankInstrument{}, otherLead, kept}, root, "My ");
    EXPECT_EQ(r.Empty, 1u); // an empty place of the bank, never a silent preset
    const std::vector<ImportedPreset> written = {
        {"2op", "My Lead"}, {"4op", "My Quad"}, {"2op", "My Lead (2)"}};
    EXPECT_EQ(r.Written, written);
    EXPECT_EQ(r.Skipped, (std::vector<ImportedPreset>{{"2op", "My Kept"}}));
    EXPECT_TRUE(r.Failed.empty());
    std::ifstream keptFile(root / "2op" / "My Kept.sbi");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(keptFile), {}), "the user's own");

    // Save's bytes: the instrument applied to a patch whose outputs are on.
    SynthPatch patch;
    patch.RegC0Ops12 = patch.RegC0Ops34 = patch.RegC0Ops56 = 0x30;
    SynthPatch leadPatch = patch, quadPatch = patch;
    ApplyInstrument(lead, leadPatch);
    ApplyInstrument(quad, quadPatch);
    EXPECT_EQ(File("2op", "My Lead"),
              EncodePreset(PresetKind::TwoOperator, "My Lead", leadPatch, {}));
    EXPECT_EQ(File("4op", "My Quad"),
              EncodePreset(PresetKind::FourOperator, "My Quad", quadPatch, {}));

    // A second import of the same file writes nothing.
    const ImportResult again = ImportInstruments({lead, quad, otherLead}, root, "My ");
    EXPECT_TRUE(again.Written.empty());
    EXPECT_EQ(again.Skipped, written);
}

TEST_F(ImportInto, AMissingBankFolderFailsItsPresetsOnly) {
    fs::remove(root / "4op");
    const ImportResult r =
        ImportInstruments({SampleInstrument(1, VoiceLayout::FourOperator, "Quad"),
                           SampleInstrument(2, VoiceLayout::OnePair, "Lead")},
                          root, "");
    EXPECT_EQ(r.Failed, (std::vector<ImportedPreset>{{"4op", "Quad"}}));
    EXPECT_EQ(r.Written, (std::vector<ImportedPreset>{{"2op", "Lead"}}));
}

} // namespace

namespace {

TEST(BankSearch, FindsEveryWordInTheNameBankOrFileWithoutRegardToCase) {
    BankInstrument i;
    i.Name = "Grand Piano";
    i.Bank = "GS Capital";
    i.File = "/home/you/banks/GENMIDI.op2";
    const std::pair<const char*, bool> cases[] = {
        {"", true},
        {"piano", true},
        {"GRAND piano", true},
        {"genmidi", true},
        {"capital piano", true},
        {"organ", false},
        {"piano organ", false},
        {"banks", false},
        {"  piano  ", true},
    };
    for (const auto& [search, found] : cases)
        EXPECT_EQ(MatchesSearch(i, search), found) << search;
}

TEST(BankFolder, ListsTheBanksItReadsAndWhyItRefusesTheOthers) {
    const fs::path dir =
        fs::temp_directory_path() / ("vi801-library-" + std::to_string(::getpid()));
    fs::create_directories(dir / "sub");
    const auto write = [&dir](const char* name, const BankBytes& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    write("b.sbi", WriteSbi(SbiRecord::Sbi, {SampleInstrument(1, VoiceLayout::OnePair, "B")}));
    write("a.ibk", WriteIbk({SampleInstrument(2, VoiceLayout::OnePair, "A")}));
    write("notes.txt", BankBytes(10, 'x'));
    const BankLibrary library = ReadBankFolder(dir);
    ASSERT_EQ(library.Banks.size(), 2u);
    EXPECT_EQ(library.Banks[0].Format, "IBK");
    EXPECT_EQ(library.Banks[1].Instruments.at(0).Name, "B");
    EXPECT_EQ(library.Refused, (std::vector<std::string>{
                                   (dir / "notes.txt").string() +
                                   ": not a bank of a format this program reads (WOPL, OPLI, OP2, "
                                   "IBK, BNK, SBI, TMB)"}));
    fs::remove_all(dir);
}

} // namespace
