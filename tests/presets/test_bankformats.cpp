// Bank files written from the formats' descriptions read back as exactly the
// instruments written: register images, names, kinds, offsets and notes.
// Files the readers must refuse say why in one line.
#include "bankwriters.h"
#include "error.h"
#include "presets/formats/bankfile.h"
#include "presets/formats/formatbytes.h"
#include "recordsamples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

BankInstrument With(BankInstrument i, const std::function<void(BankInstrument&)>& change) {
    change(i);
    return i;
}

// The instruments of the tests: one of each kind.
const BankInstrument kPiano = With(SampleInstrument(1, VoiceLayout::OnePair, "Grand Piano"),
                                   [](BankInstrument& i) { i.NoteOffset[0] = -12; });
const BankInstrument kBrass =
    With(SampleInstrument(2, VoiceLayout::FourOperator, "Quad Brass"), [](BankInstrument& i) {
        i.NoteOffset[0] = 7;
        i.Index = 5;
    });
const BankInstrument kStrings =
    With(SampleInstrument(3, VoiceLayout::TwoPairs, "Double Strings"), [](BankInstrument& i) {
        i.NoteOffset = {0, 12};
        i.FineTune = 25; // 16/64 of a semitone
        i.Index = 48;
    });
const BankInstrument kKick =
    With(SampleInstrument(4, VoiceLayout::OnePair, "Kick"), [](BankInstrument& i) {
        i.Percussion = true;
        i.FixedNote = 36;
        i.Index = 128 + 35;
    });

BankInstrument Named(BankInstrument i, const std::string& name) {
    i.Name = name;
    return i;
}

BankInstrument InBank(BankInstrument i, const std::string& bank) {
    i.Bank = bank;
    return i;
}

BankInstrument At(BankInstrument i, size_t index) {
    i.Index = index;
    return i;
}

BankInstrument NoOffsets(BankInstrument i) {
    i.NoteOffset = {};
    i.FineTune = 0;
    return i;
}

struct ReadCase {
    std::string title;
    std::string format;
    BankBytes bytes;
    Instruments expected; // each found by its Index
    size_t count;         // instruments the file gives
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.title;
}

Instruments WoplExpected(int version) {
    const std::string melodic = version >= 2 ? "Melodic" : "", drums = version >= 2 ? "Drums" : "";
    return {InBank(kPiano, melodic), InBank(kBrass, melodic), InBank(kStrings, melodic),
            InBank(kKick, drums)};
}

// This program's own 2op and 4op presets are SBI records too.
ReadCase OwnPresets(PresetKind kind) {
    const SynthPatch patch = NumberedPatch();
    const bool four = kind == PresetKind::FourOperator;
    BankInstrument i;
    i.Name = four ? "Own Quad" : "Own Lead";
    i.Layout = four ? VoiceLayout::FourOperator : VoiceLayout::OnePair;
    const int first = four ? 0 : 4;
    i.Pairs[0] = {patch.Ops[first], patch.Ops[first + 1],
                  static_cast<uint8_t>((four ? patch.RegC0Ops12 : patch.RegC0Ops56) & 0x0F)};
    if (four) i.Pairs[1] = {patch.Ops[2], patch.Ops[3], static_cast<uint8_t>(patch.RegC0Ops34 & 1)};
    return {four ? "SBI: a 4op preset of this program" : "SBI: a 2op preset of this program",
            "SBI",
            EncodePreset(kind, i.Name, patch, SampleSettings()),
            {i},
            1};
}

std::vector<ReadCase> ReadCases() {
    const BankInstrument piano8 = Named(kPiano, "Piano"); // 8-character names
    const BankInstrument kick8 = NoOffsets(kKick);
    std::vector<ReadCase> cases;
    for (int version : {1, 2, 3})
        cases.push_back({"WOPL version " + std::to_string(version), "WOPL",
                         WriteWopl(version, {kPiano, kBrass, kStrings, kKick}),
                         WoplExpected(version), 4});
    cases.push_back({"OPLI four-operator", "OPLI", WriteOpli(kBrass), {At(kBrass, 0)}, 1});
    cases.push_back({"OPLI percussion", "OPLI", WriteOpli(kKick), {At(kKick, 0)}, 1});
    const BankInstrument fixedBass =
        With(SampleInstrument(5, VoiceLayout::OnePair, "Fixed Bass"), [](BankInstrument& i) {
            i.FixedNote = 40;
            i.Index = 33;
        });
    cases.push_back({"OP2: single, double, fixed note, percussion",
                     "OP2",
                     WriteOp2({kPiano, kStrings, fixedBass, kKick}),
                     {kPiano, kStrings, fixedBass, kKick},
                     175});
    cases.push_back({"TMB: melodic offset, percussion note",
                     "TMB",
                     WriteTmb({kPiano, kick8}),
                     {Named(kPiano, ""), Named(kick8, "")},
                     256});
    cases.push_back({"IBK: melodic offset, percussion voice and note",
                     "IBK",
                     WriteIbk({piano8, At(kick8, 100)}),
                     {piano8, At(kick8, 100)},
                     128});
    const BankInstrument snare = At(With(NoOffsets(kKick),
                                         [](BankInstrument& i) {
                                             i.Name = "Snare";
                                             i.FixedNote.reset();
                                         }),
                                    1);
    cases.push_back({"BNK: names point at parameters, a name not in use",
                     "BNK",
                     WriteBnk({NoOffsets(piano8), snare}),
                     {NoOffsets(piano8), snare},
                     2});
    Instruments three;
    for (size_t k = 0; k < 3; ++k)
        three.push_back(
            At(With(kPiano, [k](BankInstrument& i) { i.NoteOffset[0] = int16_t(k); }), k));
    cases.push_back({"SBI: one record", "SBI", WriteSbi(SbiRecord::Sbi, {kPiano}), {kPiano}, 1});
    cases.push_back({"SBI: a collection", "SBI", WriteSbi(SbiRecord::Sbi, three), three, 3});
    cases.push_back({"SBI: no padding",
                     "SBI",
                     WriteSbi(SbiRecord::SbiUnpadded, {kPiano}),
                     {NoOffsets(kPiano)},
                     1});
    cases.push_back({"SBI: four-operator records",
                     "SBI",
                     WriteSbi(SbiRecord::FourOp, {At(kBrass, 0), At(kBrass, 1)}),
                     {NoOffsets(At(kBrass, 0)), NoOffsets(At(kBrass, 1))},
                     2});
    cases.push_back({"SBI: OPL3 two-operator and 2x2-operator records",
                     "SBI",
                     WriteSbi(SbiRecord::TwoOpOpl3, {At(kPiano, 0), At(kStrings, 1)}),
                     {NoOffsets(At(kPiano, 0)), NoOffsets(At(kStrings, 1))},
                     2});
    cases.push_back(OwnPresets(PresetKind::TwoOperator));
    cases.push_back(OwnPresets(PresetKind::FourOperator));
    return cases;
}

class BankRead : public testing::TestWithParam<ReadCase> {};

TEST_P(BankRead, GivesBackExactlyWhatWasWritten) {
    const ReadCase& c = GetParam();
    const BankFile bank = ParseBankFile(c.bytes, "bank.file");
    EXPECT_EQ(bank.Format, c.format);
    ASSERT_EQ(bank.Instruments.size(), c.count);
    for (const BankInstrument& expected : c.expected) {
        const auto found =
            std::find_if(bank.Instruments.begin(), bank.Instruments.end(),
                         [&](const BankInstrument& i) { return i.Index == expected.Index; });
        ASSERT_NE(found, bank.Instruments.end()) << "no instrument " << expected.Index;
        BankInstrument want = expected;
        want.File = "bank.file";
        EXPECT_EQ(*found, want) << "instrument " << expected.Index << " " << expected.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BankRead, testing::ValuesIn(ReadCases()));

struct RefusalCase {
    std::string title;
    BankBytes bytes;
    std::string reason; // the start of the message
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.title;
}

BankBytes Cut(BankBytes b, size_t size) {
    b.resize(size);
    return b;
}

BankBytes Changed(BankBytes b, size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
}

std::vector<RefusalCase> RefusalCases() {
    const BankBytes wopl = WriteWopl(3, {kPiano});
    const BankBytes bnk = WriteBnk({Named(kPiano, "Piano")});
    const BankBytes sbi = WriteSbi(SbiRecord::Sbi, {kPiano, kPiano});
    return {
        {"empty", {}, "empty"},
        {"unknown", BankBytes(100, 'x'),
         "not a bank of a format this program reads (WOPL, OPLI, OP2, IBK, BNK, SBI, TMB)"},
        {"WOPL cut in its header", Cut(wopl, 17), "WOPL bank: the file ends at byte 17"},
        {"WOPL version 4", Changed(wopl, 11, {4, 0}),
         "WOPL bank: version 4 (this program reads 1 to 3)"},
        {"WOPL version 0", Changed(wopl, 11, {0, 0}), "WOPL bank: version 0"},
        {"WOPL with more banks than bytes", Changed(wopl, 13, {0xFF, 0xFF}),
         "WOPL bank: the file ends at byte"},
        {"WOPL cut in its instruments", Cut(wopl, wopl.size() - 1),
         "WOPL bank: its instruments: the file ends at byte"},
        {"OPLI cut short", Cut(WriteOpli(kPiano), 75), "OPLI instrument: the file ends at byte 75"},
        {"OP2 without all names", Cut(WriteOp2({kPiano}), 11907), "OP2 bank: its names"},
        {"OP2 header only", Cut(WriteOp2({kPiano}), 8), "OP2 bank: the file ends at byte 8"},
        {"IBK cut in its names", Cut(WriteIbk({kPiano}), 3203), "IBK bank: its names"},
        {"BNK names past the end", Changed(bnk, 12, {0xFF, 0xFF, 0, 0}), "BNK bank: its names"},
        {"BNK parameters past the end", Changed(bnk, 28, {0x40, 0}),
         "BNK bank: the parameters of a name"},
        {"BNK header cut", Cut(bnk, 20), "BNK bank: the file ends at byte 20"},
        {"SBI followed by stray bytes", Cut(sbi, 80), "SBI record 1: 28 bytes left at byte 52"},
        {"SBI too short alone", Cut(sbi, 40), "SBI record 0: 40 bytes left"},
        {"SBI then no magic", Changed(sbi, 52, {'X'}), "SBI record 0: 104 bytes left"},
        {"six-operator preset", EncodePreset(PresetKind::SixOperator, "Six", NumberedPatch(), {}),
         "SBI record 0: a six-operator preset of this program, not an instrument"},
    };
}

class BankRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(BankRefusal, SaysWhyInOneLine) {
    const RefusalCase& c = GetParam();
    try {
        ParseBankFile(c.bytes);
        FAIL() << "read";
    } catch (const Error& e) {
        const std::string why = e.what();
        EXPECT_EQ(why.rfind(c.reason, 0), 0u) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BankRefusal, testing::ValuesIn(RefusalCases()));

TEST(BankNames, KeepTheirBytesWithoutControlCharactersOrEdgeBlanks) {
    const struct {
        std::string field, name;
    } cases[] = {
        {std::string("Piano\0junk", 10), "Piano"}, {"  Tab\tbed\x01 ", "Tabbed"},
        {"\xC9t\xE9 \x7F", "\xC9t\xE9"}, // bytes of another code page stay
        {std::string("\0Piano", 6), ""},           {"   ", ""},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> field(c.field.begin(), c.field.end());
        EXPECT_EQ(bankbytes::CleanName(field), c.name) << c.field;
    }
}

TEST(BankFiles, AreReadOnlyWhenRegularAndOfABanksSize) {
    const fs::path dir =
        fs::temp_directory_path() / ("vi801-bankfile-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const BankBytes ibk = WriteIbk({Named(kPiano, "Piano")});
    std::ofstream(dir / "ok.ibk", std::ios::binary)
        .write(reinterpret_cast<const char*>(ibk.data()), static_cast<std::streamsize>(ibk.size()));
    std::ofstream(dir / "huge.wopl").close();
    fs::resize_file(dir / "huge.wopl", kMaxBankFileSize + 1);
    EXPECT_EQ(ReadBankFile(dir / "ok.ibk").Instruments[0].File, (dir / "ok.ibk").string());
    const struct {
        fs::path path;
        std::string reason;
    } refused[] = {
        {dir, "not a regular file"},
        {dir / "missing.op2", "can't open it: No such file or directory"},
        {dir / "huge.wopl", "larger than 16 MiB: no bank is"},
    };
    for (const auto& r : refused) {
        try {
            ReadBankFile(r.path);
            ADD_FAILURE() << r.path;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), r.path.string() + ": " + r.reason);
        }
    }
    fs::remove_all(dir);
}

} // namespace
