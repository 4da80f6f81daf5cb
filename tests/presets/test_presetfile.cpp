// Preset file bytes: the three layouts, what a file must be to load, and
// what each kind changes in the records and what it keeps.
#include "hardware/opl3regs.h"
#include "presets/presetfile.h"
#include "recordsamples.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(char kind, const char* name) {
    Bytes b = {static_cast<uint8_t>(kind), 'O', 'P', 0x1A};
    b.resize(36, 0);
    for (size_t i = 0; name[i] && i < 32; ++i)
        b[4 + i] = static_cast<uint8_t>(name[i]);
    return b;
}

void Append(Bytes& b, std::initializer_list<uint8_t> more) {
    b.insert(b.end(), more);
}

TEST(PresetFile, TheDefaultPatchSavedAsTwoOperatorTestIsTheKnownFile) {
    SynthPatch patch;
    patch.Ops.fill({0x01, 0x3F, 0xFF, 0xFF, 0x00});
    patch.RegC0Ops12 = 0x30;
    patch.RegC0Ops34 = 0x31;
    patch.RegC0Ops56 = 0x31;
    Bytes expected = Header('2', "Test");
    Append(expected, {0x01, 0x01, 0x3F, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x31});
    Append(expected, {0, 0, 0, 0, 0});
    EXPECT_EQ(EncodePreset(PresetKind::TwoOperator, "Test", patch, PatchSettings{}), expected);
}

TEST(PresetFile, FourAndSixOperatorLayoutsInterleaveEachPairAndEndAsTheyShould) {
    // Operator j holds 0xj1..0xj5, so a byte out of place shows which it is.
    const SynthPatch patch = NumberedPatch();
    const PatchSettings settings = SampleSettings();
    Bytes six = Header('6', "Bell");
    Append(six, {0x01, 0x11, 0x02, 0x12, 0x03, 0x13, 0x04, 0x14, 0x05, 0x15, 0x3B});
    Append(six, {0x21, 0x31, 0x22, 0x32, 0x23, 0x33, 0x24, 0x34, 0x25, 0x35, 0x35});
    Append(six, {0x41, 0x51, 0x42, 0x52, 0x43, 0x53, 0x44, 0x54, 0x45, 0x55, 0x27});
    Append(six, {0x00, 0x2A, 0x00, 0xB0, 0x04, 0x0A, 0x00, 0xFB, 0xFF, 0x05, 0x01, 0x1F, 0xF6});
    EXPECT_EQ(EncodePreset(PresetKind::SixOperator, "Bell", patch, settings), six);

    Bytes four(six.begin(), six.begin() + 58);
    four[0] = '4';
    Append(four, {0, 0});
    EXPECT_EQ(EncodePreset(PresetKind::FourOperator, "Bell", patch, settings), four);
}

TEST(PresetFile, ALongNameFillsTheFieldWithoutATerminatingZero) {
    const std::string name(40, 'x');
    const Bytes b = EncodePreset(PresetKind::TwoOperator, name, SynthPatch{}, PatchSettings{});
    ASSERT_EQ(b.size(), 52u);
    EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 36), std::string(32, 'x'));
    EXPECT_EQ(b[36], 0x00);
}

// Byte 3 is never examined; the size decides which magic must be there.
TEST(PresetFile, AFileLoadsOnlyWhenItsSizeAndMagicAgree) {
    struct Case {
        size_t size;
        const char* magic;
        bool loads;
    };
    const Case cases[] = {
        {52, "2OP\x1A", true},  {52, "SBI\x1A", true},  {52, "2OP\x00", true},
        {52, "2OPx", true},     {52, "4OP\x1A", false}, {52, "6OP\x1A", false},
        {52, "2op\x1A", false}, {52, "SBX\x1A", false}, {53, "2OP\x1A", false},
        {51, "2OP\x1A", false}, {60, "4OP\x1A", true},  {60, "2OP\x1A", false},
        {60, "SBI\x1A", false}, {59, "4OP\x1A", false}, {61, "4OP\x1A", false},
        {82, "6OP\x1A", true},  {82, "4OP\x1A", false}, {82, "SBI\x1A", false},
        {81, "6OP\x1A", false}, {83, "6OP\x1A", false}, {0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, magic " << c.magic);
        Bytes file(c.size, 0x5A);
        for (size_t i = 0; i < 4 && i < c.size; ++i)
            file[i] = static_cast<uint8_t>(c.magic[i]);
        SynthPatch patch = NumberedPatch();
        PatchSettings settings = SampleSettings();
        EXPECT_EQ(DecodePreset(file, patch, settings), c.loads);
        if (!c.loads) {
            EXPECT_EQ(patch, NumberedPatch());
            EXPECT_EQ(settings, SampleSettings());
        }
    }
}

// The file's operators: every image 0xFF, so the waveform mask shows too.
Bytes FileOfKind(char kind, size_t size, uint8_t channelByte) {
    Bytes b = Header(kind, "x");
    b.resize(size, 0);
    for (size_t block : {36u, 47u, 58u})
        if (block + 11 <= size) {
            std::fill(b.begin() + block, b.begin() + block + 10, 0xFF);
            b[block + 10] = channelByte;
        }
    return b;
}

constexpr OperatorPatch kLoaded = {0xFF, 0xFF, 0xFF, 0xFF, 0x07};

TEST(PresetFile, ATwoOperatorFileChangesOperators5And6AndTheirChannelOnly) {
    for (const char* magic : {"2OP", "SBI"}) {
        SCOPED_TRACE(magic);
        Bytes file = FileOfKind('2', 52, 0xCF); // outputs clear, top bits set
        std::copy(magic, magic + 3, file.begin());
        SynthPatch patch = NumberedPatch();
        PatchSettings settings = SampleSettings();
        ASSERT_TRUE(DecodePreset(file, patch, settings));
        SynthPatch expected = NumberedPatch();
        expected.Ops[4] = expected.Ops[5] = kLoaded;
        expected.RegC0Ops56 = 0x2F; // outputs kept from 0x27, feedback and CNT from the file
        EXPECT_EQ(patch, expected);
        EXPECT_EQ(settings, SampleSettings());
    }
}

TEST(PresetFile, AFourOperatorFileChangesOperators1To4AndClearsFeedbackOfTheSecondChannel) {
    SynthPatch patch = NumberedPatch();
    PatchSettings settings = SampleSettings();
    ASSERT_TRUE(DecodePreset(FileOfKind('4', 60, 0xCF), patch, settings));
    SynthPatch expected = NumberedPatch();
    for (int op = 0; op < 4; ++op)
        expected.Ops[op] = kLoaded;
    expected.RegC0Ops12 = 0x3F; // outputs of 0x3B kept
    expected.RegC0Ops34 = 0x31; // outputs of 0x35 kept, feedback 0, CNT 1
    EXPECT_EQ(patch, expected);
    EXPECT_EQ(settings, SampleSettings());
}

TEST(PresetFile, ASixOperatorFileChangesEverythingAndItsSettingsDecideTheOutputs) {
    PatchSettings stored = SampleSettings();
    stored.Outputs = outputs::kB | outputs::kA2;
    Bytes file = FileOfKind('6', 82, 0xFF);
    const auto image = SettingsToBytes(stored);
    std::copy(image.begin(), image.end(), file.begin() + 70);

    SynthPatch patch = NumberedPatch();
    PatchSettings settings;
    ASSERT_TRUE(DecodePreset(file, patch, settings));
    SynthPatch expected;
    expected.Ops.fill(kLoaded);
    expected.RegC0Ops12 = 0x2F;
    expected.RegC0Ops34 = 0x21;
    expected.RegC0Ops56 = 0x1F;
    EXPECT_EQ(patch, expected);
    EXPECT_EQ(settings, stored);
}

TEST(PresetFile, EachKindReadsBackWhatItWrote) {
    SynthPatch patch = NumberedPatch();
    for (auto& op : patch.Ops)
        op.RegE0 &= opl3::kWaveform.Mask();
    patch.RegC0Ops12 = 0x30 | opl3::kFeedback.Put(0, 5); // feedback "PI", connection 6
    patch.RegC0Ops34 = 0x31;
    patch.RegC0Ops56 = 0x31;
    PatchSettings settings = SampleSettings();
    settings.Outputs = 0x0F;
    for (PresetKind kind :
         {PresetKind::TwoOperator, PresetKind::FourOperator, PresetKind::SixOperator}) {
        SynthPatch loaded = patch;
        loaded.Ops.fill({});
        PatchSettings loadedSettings = settings;
        ASSERT_TRUE(DecodePreset(EncodePreset(kind, "x", patch, settings), loaded, loadedSettings));
        const int first = kind == PresetKind::TwoOperator ? 4 : 0;
        const int last = kind == PresetKind::FourOperator ? 4 : 6;
        for (int op = first; op < last; ++op)
            EXPECT_EQ(loaded.Ops[op], patch.Ops[op]) << "operator " << op + 1;
        EXPECT_EQ(ConnectionIndex(loaded), 6);
        EXPECT_EQ(loaded.RegC0Ops12, patch.RegC0Ops12);
        EXPECT_EQ(loaded.RegC0Ops56, patch.RegC0Ops56);
        EXPECT_EQ(loadedSettings, settings);
    }
}

} // namespace
