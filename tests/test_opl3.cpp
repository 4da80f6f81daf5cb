#include "error.h"
#include "hardware/giveio.h"
#include "hardware/opl3.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

struct OPL3TestPeer {
    static uint16_t Table(int i) { return OPL3::FrequencyTable[i]; }
    static std::pair<int, int> Compute(int32_t note, int32_t cents) {
        const auto f = OPL3::ComputeFrequency(note, cents);
        return {f.Block, f.FNumber};
    }
};

namespace {

using Kind = PortRecorder::Kind;
constexpr uint16_t kBase = 0xE868;

struct RegWrite {
    int index;
    int value;
    bool operator==(const RegWrite&) const = default;
};

void PrintTo(const RegWrite& w, std::ostream* os) {
    *os << std::hex << "{0x" << w.index << ", 0x" << w.value << "}";
}

// Turns the port trace back into register writes; any access that isn't an
// address byte directly followed by the same bank's data byte is a fault.
std::vector<RegWrite> Decode(const std::vector<PortRecorder::Access>& trace) {
    std::vector<RegWrite> out;
    for (size_t i = 0; i < trace.size(); i += 2) {
        const auto& a = trace[i];
        if (i + 1 >= trace.size()) {
            ADD_FAILURE() << "address byte without data at " << i;
            break;
        }
        const auto& d = trace[i + 1];
        const bool bank0 = a.port == kBase && d.port == kBase + 1;
        const bool bank1 = a.port == kBase + 2 && d.port == kBase + 3;
        if (a.kind != Kind::OutByte || d.kind != Kind::OutByte || !(bank0 || bank1)) {
            ADD_FAILURE() << "unexpected access pair at " << i;
            break;
        }
        out.push_back({(bank1 ? 0x100 : 0) | a.value, d.value});
    }
    return out;
}

std::vector<RegWrite> ResetWrites() {
    std::vector<RegWrite> w;
    for (int r = 0x01; r <= 0xF5; ++r) {
        w.push_back({r, 0});
        w.push_back({0x100 + r, 0});
    }
    w.push_back({0x105, 0x01});
    w.push_back({0x104, 0x3F});
    for (int c = 0; c <= 8; ++c)
        w.insert(w.end(), {{0xB0 + c, 0x20}, {0x1B0 + c, 0x20}, {0xB0 + c, 0}, {0x1B0 + c, 0}});
    return w;
}

// Operator offsets of patch operators 1-6, per slot, as the hardware lays them out.
constexpr uint16_t kSlotOps[6][6] = {
    {0x00, 0x03, 0x08, 0x0B, 0x10, 0x13},       {0x01, 0x04, 0x09, 0x0C, 0x11, 0x14},
    {0x02, 0x05, 0x0A, 0x0D, 0x12, 0x15},       {0x100, 0x103, 0x108, 0x10B, 0x110, 0x113},
    {0x101, 0x104, 0x109, 0x10C, 0x111, 0x114}, {0x102, 0x105, 0x10A, 0x10D, 0x112, 0x115},
};
constexpr uint16_t kSlotCh[6] = {0x000, 0x001, 0x002, 0x100, 0x101, 0x102};

class Opl3Test : public ::testing::Test {
protected:
    PortRecorder rec;
    ScopedPortBackend scope{rec};
    OPL3 chip{kBase};

    void SetUp() override { rec.Clear(); }
    std::vector<RegWrite> Writes() const { return Decode(rec.Accesses()); }
};

} // namespace

TEST(Opl3Reset, ConstructionWritesTheResetSequenceInOrder) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    OPL3 chip(kBase);
    ASSERT_EQ(rec.Accesses().size(), 1056u);
    // Interleaved banks from the very first register on.
    const std::vector<PortRecorder::Access> head = {{Kind::OutByte, kBase, 0x01},
                                                    {Kind::OutByte, kBase + 1, 0},
                                                    {Kind::OutByte, kBase + 2, 0x01},
                                                    {Kind::OutByte, kBase + 3, 0}};
    EXPECT_EQ(std::vector(rec.Accesses().begin(), rec.Accesses().begin() + 4), head);
    EXPECT_EQ(Decode(rec.Accesses()), ResetWrites());

    EXPECT_EQ(chip.ReadRegister(0x105), 0x01);
    EXPECT_EQ(chip.ReadRegister(0x104), 0x3F);
    for (uint16_t r : {0x01, 0x20, 0xA8, 0xB0, 0xB8, 0xBD, 0xF5, 0x1B8, 0x1F5})
        EXPECT_EQ(chip.ReadRegister(r), 0) << std::hex << r;
    for (int s = 0; s < OPL3::kSlotCount; ++s)
        EXPECT_EQ(chip.Slots[s], OPL3::FreeSlot);
}

TEST(Opl3Reset, ResetAndDestructionSilenceTheChipAndFreeTheSlots) {
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    {
        OPL3 chip(kBase);
        chip.NoteOn(0, 0, 60);
        chip.WriteRegister(0x40, 0x3F);
        rec.Clear();
        chip.Reset();
        EXPECT_EQ(Decode(rec.Accesses()), ResetWrites());
        EXPECT_EQ(chip.ReadRegister(0x40), 0);
        // The slot is free again: the same note starts anew.
        rec.Clear();
        EXPECT_EQ(chip.NoteOn(0, 0, 60), 1);
        EXPECT_EQ(Decode(rec.Accesses()).size(), 4u);
        rec.Clear();
    }
    EXPECT_EQ(Decode(rec.Accesses()), ResetWrites());
}

TEST_F(Opl3Test, RegisterWritesGoToTheirBankAndTheShadow) {
    chip.WriteRegister(0x0BD, 0xC0);
    chip.WriteRegister(0x1BD, 0x40);
    chip.WriteRegister(0x1FF, 0x5A);
    const std::vector<PortRecorder::Access> expected = {
        {Kind::OutByte, kBase, 0xBD},     {Kind::OutByte, kBase + 1, 0xC0},
        {Kind::OutByte, kBase + 2, 0xBD}, {Kind::OutByte, kBase + 3, 0x40},
        {Kind::OutByte, kBase + 2, 0xFF}, {Kind::OutByte, kBase + 3, 0x5A},
    };
    EXPECT_EQ(rec.Accesses(), expected);
    rec.Clear();
    EXPECT_EQ(chip.ReadRegister(0x0BD), 0xC0);
    EXPECT_EQ(chip.ReadRegister(0x1BD), 0x40);
    EXPECT_EQ(chip.ReadRegister(0x1FF), 0x5A);
    EXPECT_TRUE(rec.Accesses().empty()) << "the chip is never read";
}

TEST_F(Opl3Test, IllegalIndexRaisesBeforeAnyPortAccess) {
    const auto before = chip.Shadow;
    for (uint16_t index : {0x200, 0x2BD, 0xFFFF}) {
        SCOPED_TRACE(index);
        try {
            chip.WriteRegister(index, 0x55);
            ADD_FAILURE() << "no error from WriteRegister";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Illegal OPL3 register index");
        }
        try {
            chip.ReadRegister(index);
            ADD_FAILURE() << "no error from ReadRegister";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Illegal OPL3 register index");
        }
    }
    EXPECT_TRUE(rec.Accesses().empty());
    EXPECT_EQ(chip.Shadow, before);
}

// ---- Frequencies and notes -------------------------------------------------

TEST_F(Opl3Test, FrequencyTableHoldsTheBlock4FNumbers) {
    const std::pair<int, int> telling[] = {{0, 326},    {50, 335},   {99, 345},   {100, 345},
                                           {150, 355},  {200, 365},  {1000, 580}, {1050, 597},
                                           {1100, 615}, {1200, 651}, {1299, 689}};
    for (auto [i, f] : telling)
        EXPECT_EQ(OPL3TestPeer::Table(i), f) << "entry " << i;
    // One cent never moves the F-number by more than one step, never down.
    for (int i = 1; i < OPL3::kFrequencyTableSize; ++i) {
        const int step = OPL3TestPeer::Table(i) - OPL3TestPeer::Table(i - 1);
        ASSERT_TRUE(step == 0 || step == 1) << "entry " << i;
    }
}

TEST(Opl3Notes, NoteOnWritesPitchAndKeyOnForBothVoices) {
    struct Row {
        int note, cents, block, fnum;
        uint8_t a0, b0;
    };
    const Row rows[] = {
        {69, 0, 4, 580, 0x44, 0x32},    {60, 0, 4, 345, 0x59, 0x31},
        {60, -50, 4, 335, 0x4F, 0x31},  {60, 50, 4, 355, 0x63, 0x31},
        {60, -150, 3, 633, 0x79, 0x2E}, {24, 0, 1, 345, 0x59, 0x25},
        {12, 0, 0, 345, 0x59, 0x21},    {11, 0, 0, 325, 0x45, 0x21},
        {0, 0, 0, 172, 0xAC, 0x20},     {0, -100, 0, 162, 0xA2, 0x20},
        {107, 0, 7, 651, 0x8B, 0x3E},   {108, 0, 7, 690, 0xB2, 0x3E},
        {119, 0, 7, 1023, 0xFF, 0x3F},  {120, 0, 7, 690, 0xB2, 0x3E},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("note " + std::to_string(r.note) + " cents " + std::to_string(r.cents));
        // Both voices get the same cents here; they are told apart below.
        PortRecorder rec;
        ScopedPortBackend scope(rec);
        OPL3 chip(kBase); // builds the F-number table
        EXPECT_EQ(OPL3TestPeer::Compute(r.note, r.cents), std::make_pair(r.block * 4, r.fnum));
        rec.Clear();
        ASSERT_EQ(chip.NoteOn(r.cents, r.cents, static_cast<uint8_t>(r.note)), 1);
        const std::vector<RegWrite> expected = {
            {0x1A2, r.a0}, {0x1A8, r.a0}, {0x1B2, r.b0}, {0x1B8, r.b0}};
        EXPECT_EQ(Decode(rec.Accesses()), expected);
    }
}

TEST_F(Opl3Test, TheTwoVoicesTakeTheirOwnCents) {
    chip.NoteOn(0, 900, 60); // 4-op: C4; 2-op: A4
    const std::vector<RegWrite> expected = {
        {0x1A2, 0x59}, {0x1A8, 0x44}, {0x1B2, 0x31}, {0x1B8, 0x32}};
    EXPECT_EQ(Writes(), expected);
}

TEST(Opl3Frequency, OutOfRangePitchesClampWithoutFault) {
    // Far below and above the chip's range, and cents large enough to wrap a
    // naive index: block and F-number stay within their fields.
    PortRecorder rec;
    ScopedPortBackend scope(rec);
    OPL3 chip(kBase);
    const std::pair<int32_t, int32_t> cases[] = {
        {0, -3000}, {0, -99}, {0, -2401}, {127, 2000}, {127, 1000000}, {0, -1000000}, {5, 99}};
    for (auto [note, cents] : cases) {
        const auto [block, fnum] = OPL3TestPeer::Compute(note, cents);
        EXPECT_EQ(block & ~0x1C, 0) << note << " " << cents;
        EXPECT_LE(fnum, 1023) << note << " " << cents;
    }
    EXPECT_EQ(OPL3TestPeer::Compute(0, -2500), std::make_pair(0, 651 >> 4)); // n = -25
    EXPECT_EQ(OPL3TestPeer::Compute(0, -1300), std::make_pair(0, 651 >> 3)); // n = -13
}

namespace {
// The pair channel (bank bit included) whose 0xA0 a NoteOn wrote first.
int SlotOfNoteOn(const std::vector<RegWrite>& w) {
    if (w.size() != 4) return -1;
    for (int s = 0; s < 6; ++s)
        if (w[0].index == 0xA0 + kSlotCh[s]) return s;
    return -1;
}
} // namespace

TEST_F(Opl3Test, NotesTakeTheHighestFreeSlotAndAreNeverStolen) {
    for (int i = 0; i < 6; ++i) {
        rec.Clear();
        EXPECT_EQ(chip.NoteOn(0, 0, static_cast<uint8_t>(60 + i)), i + 1);
        EXPECT_EQ(SlotOfNoteOn(Writes()), 5 - i);
        rec.Clear();
        EXPECT_EQ(chip.NoteOn(-50, 30, 60), i + 1) << "no re-trigger";
        EXPECT_TRUE(rec.Accesses().empty());
    }
    rec.Clear();
    EXPECT_EQ(chip.NoteOn(0, 0, 72), 6) << "all slots sounding";
    EXPECT_EQ(chip.NoteOn(0, 0, 62), 6) << "already sounding";
    EXPECT_TRUE(rec.Accesses().empty());

    // Freed slots are taken highest first, whatever order they were freed in.
    EXPECT_EQ(chip.NoteOff(62), 5);
    EXPECT_EQ(chip.NoteOff(60), 4);
    rec.Clear();
    EXPECT_EQ(chip.NoteOn(0, 0, 80), 5);
    EXPECT_EQ(SlotOfNoteOn(Writes()), 5);
    rec.Clear();
    EXPECT_EQ(chip.NoteOn(0, 0, 81), 6);
    EXPECT_EQ(SlotOfNoteOn(Writes()), 3);
}

TEST_F(Opl3Test, NoteOffClearsOnlyTheKeyOnBit) {
    chip.NoteOn(0, -1200, 69); // slot 5: 0x1B2 = 0x32, 0x1B8 = 0x2E
    chip.NoteOn(0, 0, 60);     // slot 4
    rec.Clear();
    EXPECT_EQ(chip.NoteOff(69), 1);
    const std::vector<RegWrite> expected = {{0x1B2, 0x12}, {0x1B8, 0x0E}};
    EXPECT_EQ(Writes(), expected);

    rec.Clear();
    EXPECT_EQ(chip.NoteOff(69), 1) << "no longer sounding";
    EXPECT_EQ(chip.NoteOff(99), 1);
    EXPECT_TRUE(rec.Accesses().empty());
}

TEST_F(Opl3Test, RetuneRepitchesSoundingNotesInSlotOrder) {
    chip.Retune(100, 100);
    EXPECT_TRUE(rec.Accesses().empty());

    chip.NoteOn(0, 0, 60); // slot 5
    chip.NoteOn(0, 0, 69); // slot 4
    rec.Clear();
    chip.Retune(-100, 1200);
    const std::vector<RegWrite> expected = {
        {0x1A1, 0x23}, {0x1A7, 0x44}, {0x1B1, 0x32}, {0x1B7, 0x36}, // A4 - 100, A5
        {0x1A2, 0x8B}, {0x1A8, 0x59}, {0x1B2, 0x2E}, {0x1B8, 0x35}, // C4 - 100, C5
    };
    EXPECT_EQ(Writes(), expected);
    // Slots are unchanged: both notes still count.
    EXPECT_EQ(chip.NoteOff(1), 2);
}

// ---- Patch programming -----------------------------------------------------

namespace {
struct SetterCase {
    const char* name;
    std::function<void(OPL3&)> call;
    uint16_t base; // register base; operator registers add kSlotOps, channels kSlotCh
    int op;        // -1: channel register
    uint8_t before;
    uint8_t after;
};

std::vector<RegWrite> AllSlots(uint16_t base, int op, uint8_t value) {
    std::vector<RegWrite> w;
    for (int s = 0; s < 6; ++s)
        w.push_back({base + (op >= 0 ? kSlotOps[s][op] : kSlotCh[s]), value});
    return w;
}
} // namespace

TEST_F(Opl3Test, SettersChangeOneFieldInAllSlotsFromSlot0) {
    const SetterCase cases[] = {
        {"tremolo on", [](OPL3& c) { c.SetTremolo(1, 1); }, 0x20, 1, 0x41, 0xC1},
        {"tremolo off", [](OPL3& c) { c.SetTremolo(1, 0); }, 0x20, 1, 0xFF, 0x7F},
        {"vibrato", [](OPL3& c) { c.SetVibrato(0, 2); }, 0x20, 0, 0x81, 0xC1},
        {"hold off", [](OPL3& c) { c.SetHold(5, 0); }, 0x20, 5, 0xFF, 0xDF},
        {"rate scaling", [](OPL3& c) { c.SetRateScaling(3, 1); }, 0x20, 3, 0x00, 0x10},
        {"multiplier", [](OPL3& c) { c.SetFreqMultiplier(2, 3); }, 0x20, 2, 0xAC, 0xA3},
        {"multiplier 16", [](OPL3& c) { c.SetFreqMultiplier(2, 16); }, 0x20, 2, 0xAC, 0xA0},
        {"level scaling", [](OPL3& c) { c.SetLevelScaling(4, 2); }, 0x40, 4, 0x55, 0x95},
        {"level scaling 5", [](OPL3& c) { c.SetLevelScaling(4, 5); }, 0x40, 4, 0xD5, 0x55},
        {"level 0", [](OPL3& c) { c.SetLevel(5, 0); }, 0x40, 5, 0x80, 0xBF},
        {"level 63", [](OPL3& c) { c.SetLevel(0, 63); }, 0x40, 0, 0x7F, 0x40},
        {"level 64", [](OPL3& c) { c.SetLevel(0, 64); }, 0x40, 0, 0x00, 0x3F},
        {"attack", [](OPL3& c) { c.SetAttack(0, 10); }, 0x60, 0, 0x3F, 0xAF},
        {"decay", [](OPL3& c) { c.SetDecay(1, 0x1A); }, 0x60, 1, 0x3F, 0x3A},
        {"sustain", [](OPL3& c) { c.SetSustain(2, 7); }, 0x80, 2, 0x1E, 0x7E},
        {"release", [](OPL3& c) { c.SetRelease(3, 4); }, 0x80, 3, 0x1E, 0x14},
        {"waveform", [](OPL3& c) { c.SetWaveform(4, 13); }, 0xE0, 4, 0xFF, 0x05},
        {"feedback", [](OPL3& c) { c.SetFeedback(7); }, 0xC0, -1, 0x31, 0x3F},
        {"feedback 9", [](OPL3& c) { c.SetFeedback(9); }, 0xC0, -1, 0xFF, 0xF3},
        {"feedback 2", [](OPL3& c) { c.SetFeedback2(3); }, 0xC6, -1, 0x2F, 0x27},
        {"output A2 on", [](OPL3& c) { c.SetOutputA2(1); }, 0xC6, -1, 0x0E, 0x1E},
        {"output B2 off", [](OPL3& c) { c.SetOutputB2(0); }, 0xC6, -1, 0xFF, 0xDF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortRecorder rec;
        ScopedPortBackend scope(rec);
        OPL3 chip(kBase);
        // Other slots hold something else: the value comes from slot 0 only.
        chip.WriteRegister(AllSlots(c.base, c.op, 0)[0].index, c.before);
        for (int s = 1; s < 6; ++s)
            chip.WriteRegister(AllSlots(c.base, c.op, 0)[s].index, 0x99);
        rec.Clear();
        c.call(chip);
        EXPECT_EQ(Decode(rec.Accesses()), AllSlots(c.base, c.op, c.after));
    }
}

TEST_F(Opl3Test, ConnectionSetsTheThreeConnectionBitsPerSlot) {
    for (int s = 0; s < 6; ++s) {
        chip.WriteRegister(0xC0 + kSlotCh[s], 0x30);
        chip.WriteRegister(0xC3 + kSlotCh[s], 0x3F);
        chip.WriteRegister(0xC6 + kSlotCh[s], 0x1A);
    }
    rec.Clear();
    chip.SetConnection(5);
    std::vector<RegWrite> expected;
    for (int s = 0; s < 6; ++s) {
        expected.push_back({0xC0 + kSlotCh[s], 0x31});
        expected.push_back({0xC3 + kSlotCh[s], 0x3E});
        expected.push_back({0xC6 + kSlotCh[s], 0x1B});
    }
    EXPECT_EQ(Writes(), expected);
}

TEST_F(Opl3Test, PairOutputsSetBothChannelsOfThePair) {
    chip.WriteRegister(0xC0, 0x0F);
    chip.WriteRegister(0xC3, 0x21);
    rec.Clear();
    chip.SetOutputA(1);
    chip.SetOutputB(0);
    std::vector<RegWrite> expected;
    for (auto [c0, c3] : {std::pair{0x1F, 0x31}, std::pair{0x1F, 0x11}})
        for (int s = 0; s < 6; ++s) {
            expected.push_back({0xC0 + kSlotCh[s], c0});
            expected.push_back({0xC3 + kSlotCh[s], c3});
        }
    EXPECT_EQ(Writes(), expected);
}

TEST_F(Opl3Test, LfoDepthsShareOneBank0Register) {
    chip.SetTremoloDepth(1);
    chip.SetVibratoDepth(0);
    chip.SetVibratoDepth(2);
    chip.SetTremoloDepth(0);
    const std::vector<RegWrite> expected = {{0xBD, 0x80}, {0xBD, 0x80}, {0xBD, 0xC0}, {0xBD, 0x40}};
    EXPECT_EQ(Writes(), expected);
}

TEST_F(Opl3Test, OperatorSettersIgnoreAnOperatorOutside0To5) {
    for (int32_t op : {-1, 6, 1000}) {
        chip.SetAttack(op, 5);
        chip.SetWaveform(op, 1);
        chip.SetTremolo(op, 1);
    }
    EXPECT_TRUE(rec.Accesses().empty());
}

namespace {
SynthPatch TestPatch() {
    SynthPatch p;
    for (int j = 0; j < 6; ++j) {
        OperatorPatch& o = p.Ops[j];
        o.Reg20 = 0x10 * j + 1;
        o.Reg40 = 0x10 * j + 2;
        o.Reg60 = 0x10 * j + 3;
        o.Reg80 = 0x10 * j + 4;
        o.RegE0 = j;
    }
    p.RegC0Ops12 = 0x3B; // outputs on in the patch, off in the settings
    p.RegC0Ops34 = 0x35;
    p.RegC0Ops56 = 0x27;
    return p;
}
} // namespace

TEST_F(Opl3Test, SetPatchProgramsEverySlotThenTheSettings) {
    PatchSettings settings;
    settings.Outputs = outputs::kB | outputs::kA2;
    settings.LfoDepth = lfo::kVibratoDeep;
    chip.SetPatch(TestPatch(), settings);

    std::vector<RegWrite> expected;
    const SynthPatch p = TestPatch();
    for (int s = 0; s < 6; ++s) {
        for (int j = 0; j < 6; ++j) {
            const OperatorPatch& o = p.Ops[j];
            for (auto [base, v] :
                 {std::pair{0x20, o.Reg20}, std::pair{0x40, o.Reg40}, std::pair{0x60, o.Reg60},
                  std::pair{0x80, o.Reg80}, std::pair{0xE0, o.RegE0}})
                expected.push_back({base + kSlotOps[s][j], v});
        }
        expected.push_back({0xC0 + kSlotCh[s], 0x3B});
        expected.push_back({0xC3 + kSlotCh[s], 0x35});
        expected.push_back({0xC6 + kSlotCh[s], 0x27});
    }
    expected.push_back({0xBD, 0x00});
    expected.push_back({0xBD, 0x40});
    auto add = [&](std::initializer_list<std::pair<uint16_t, uint8_t>> perSlot) {
        for (int s = 0; s < 6; ++s)
            for (auto [r, v] : perSlot)
                expected.push_back({r + kSlotCh[s], v});
    };
    add({{0xC0, 0x2B}, {0xC3, 0x25}}); // A off
    add({{0xC0, 0x2B}, {0xC3, 0x25}}); // B on
    add({{0xC6, 0x37}});               // A2 on
    add({{0xC6, 0x17}});               // B2 off
    const auto writes = Writes();
    EXPECT_EQ(writes.size(), 236u);
    EXPECT_EQ(writes, expected);
}

TEST_F(Opl3Test, SetPatchLeavesASoundingNoteKeyedOn) {
    chip.NoteOn(0, 0, 60);
    rec.Clear();
    PatchSettings settings;
    settings.Outputs = 0x0F;
    chip.SetPatch(TestPatch(), settings);
    for (const RegWrite& w : Writes()) {
        const int r = w.index & 0xFF;
        EXPECT_FALSE(r >= 0xA0 && r <= 0xB8) << std::hex << w.index;
    }
    EXPECT_EQ(chip.ReadRegister(0x1B2), 0x31);
    EXPECT_EQ(chip.ReadRegister(0x1B8), 0x31);
    EXPECT_EQ(chip.NoteOff(60), 0) << "the slot still holds the note";
}
