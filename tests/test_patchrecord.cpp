#include "presets/patchrecord.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(TuningText, ParsesDecimalPrefixAndFormatsBack) {
    struct Case {
        const char* text;
        int32_t cents;
        const char* shown;
    };
    const Case cases[] = {
        {"abc", 0, "0 cents"},     {"0 cents", 0, "0 cents"},   {"+1200", 1200, "1200"},
        {"-5", -5, "-5"},          {"  -7200", -7200, "-7200"}, {"12abc", 12, "12"},
        {"+", 0, "0 cents"},       {"", 0, "0 cents"},          {"- 5", 0, "0 cents"},
        {"\t+10 cents", 10, "10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseCents(c.text), c.cents);
        EXPECT_EQ(FormatCents(ParseCents(c.text)), c.shown);
    }
}

TEST(TuningText, StoredValuesAreTruncatedTo16Bits) {
    EXPECT_EQ(CentsToField(ParseCents("70000")), 4464);
    EXPECT_EQ(CentsToField(-70000), -4464);
    EXPECT_EQ(CentsToField(32768), -32768);
    // Absurd digit strings wrap rather than overflow (checked under UBSan).
    EXPECT_NO_FATAL_FAILURE(ParseCents("99999999999999999999999"));
}

TEST(PatchSettings, ByteLayoutIsLittleEndianAndPacked) {
    PatchSettings s;
    s.CcMask = 0x3F;
    s.Transpose = -1200;
    s.Tuning1 = 5;
    s.Tuning2 = 0x1234;
    s.Outputs = 0x0F;
    s.LfoDepth = 3;
    s.Volume = 31;
    s.Pan = -10;
    const auto b = SettingsToBytes(s);
    const std::array<uint8_t, 12> expected = {0x3F, 0x00, 0x50, 0xFB, 0x05, 0x00,
                                              0x34, 0x12, 0x0F, 0x03, 0x1F, 0xF6};
    EXPECT_EQ(b, expected);
    EXPECT_EQ(SettingsFromBytes(b), s);
    // The in-memory record is the same bytes (little-endian host).
    EXPECT_EQ(std::memcmp(&s, expected.data(), 12), 0);
}

TEST(SynthPatch, ConnectionBitsRoundTripForEveryIndex) {
    for (int index = 0; index < kConnectionCount; ++index) {
        SynthPatch p;
        p.RegC0Ops12 = 0x3E; // feedback and outputs must survive
        p.RegC0Ops34 = 0x30;
        p.RegC0Ops56 = 0x3E;
        SetConnectionBits(p, index);
        EXPECT_EQ(ConnectionIndex(p), index);
        EXPECT_EQ(p.RegC0Ops12 & 0xFE, 0x3E);
        EXPECT_EQ(p.RegC0Ops34 & 0xFE, 0x30);
    }
    SynthPatch p;
    p.RegC0Ops12 = 0x30;
    p.RegC0Ops34 = 0x31;
    p.RegC0Ops56 = 0x31;
    EXPECT_EQ(ConnectionIndex(p), 6);
    EXPECT_EQ(ConnectionPicturePath(3), "img/cnt3.jpg");
}

TEST(SynthPatch, ComparesEveryOperatorAndChannelByte) {
    SynthPatch a;
    a.Ops[2].Reg60 = 0xAF;
    SynthPatch b = a;
    EXPECT_EQ(b, a);
    b.Ops[2].Reg60 = 0;
    EXPECT_FALSE(b == a);
    b = a;
    b.RegC0Ops56 = 1;
    EXPECT_FALSE(b == a);
}
