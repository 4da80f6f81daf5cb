#include "presets/presetfile.h"

#include "hardware/opl3regs.h"

#include <algorithm>
#include <array>

namespace {

// One channel's block: where it stands, its first operator, its channel byte
// and the bits of that byte a load takes from the file.
struct PairBlock {
    size_t offset;
    int firstOp;
    uint8_t SynthPatch::*channel;
    uint8_t loadedBits;
};

struct Layout {
    PresetKind kind;
    char tag;
    size_t size;
    std::array<PairBlock, 3> blocks;
    size_t blockCount;
    // Only the six-operator kind carries settings; its channel bytes are then
    // taken whole and their outputs follow the settings.
    std::optional<size_t> settingsOffset;
};

constexpr uint8_t kCnt = opl3::kConnection.Mask();
constexpr uint8_t kFeedbackAndCnt = opl3::kFeedback.Mask() | kCnt;
constexpr uint8_t kOutputBits = opl3::kOutputA.Mask() | opl3::kOutputB.Mask();

constexpr std::array<Layout, 3> kLayouts = {{
    {PresetKind::TwoOperator,
     '2',
     52,
     {{{36, 4, &SynthPatch::RegC0Ops56, kFeedbackAndCnt}}},
     1,
     {}},
    {PresetKind::FourOperator,
     '4',
     60,
     {{{36, 0, &SynthPatch::RegC0Ops12, kFeedbackAndCnt}, {47, 2, &SynthPatch::RegC0Ops34, kCnt}}},
     2,
     {}},
    {PresetKind::SixOperator,
     '6',
     82,
     {{{36, 0, &SynthPatch::RegC0Ops12, kFeedbackAndCnt},
       {47, 2, &SynthPatch::RegC0Ops34, kCnt},
       {58, 4, &SynthPatch::RegC0Ops56, kFeedbackAndCnt}}},
     3,
     70},
}};

constexpr size_t kFieldsPerOperator = 5;
constexpr size_t kChannelByteOffset = 2 * kFieldsPerOperator; // after the ten images
constexpr uint8_t kMagicEnd = 0x1A;
// A plain SBI instrument file has the two-operator kind's size and layout.
constexpr std::array<uint8_t, 3> kSbiMagic = {'S', 'B', 'I'};

const Layout& LayoutOf(PresetKind kind) {
    return *std::find_if(kLayouts.begin(), kLayouts.end(),
                         [kind](const Layout& l) { return l.kind == kind; });
}

// The five register images of one operator, in file order.
constexpr std::array<uint8_t OperatorPatch::*, kFieldsPerOperator> kFields = {
    &OperatorPatch::Reg20, &OperatorPatch::Reg40, &OperatorPatch::Reg60, &OperatorPatch::Reg80,
    &OperatorPatch::RegE0};

const Layout* Recognise(std::span<const uint8_t> bytes) {
    for (const Layout& l : kLayouts) {
        if (bytes.size() != l.size) continue;
        const bool own =
            bytes[0] == static_cast<uint8_t>(l.tag) && bytes[1] == 'O' && bytes[2] == 'P';
        const bool sbi = l.kind == PresetKind::TwoOperator &&
                         std::equal(kSbiMagic.begin(), kSbiMagic.end(), bytes.begin());
        // Byte 3 is not examined: files with another byte there still load.
        if (own || sbi) return &l;
        return nullptr;
    }
    return nullptr;
}

void LoadBlock(std::span<const uint8_t> block, const PairBlock& b, bool whole, SynthPatch& patch) {
    for (int k = 0; k < 2; ++k) {
        OperatorPatch& op = patch.Ops[b.firstOp + k];
        for (size_t f = 0; f < kFieldsPerOperator; ++f)
            op.*kFields[f] = block[2 * f + k];
        op.RegE0 &= opl3::kWaveform.Mask();
    }
    const uint8_t kept = whole ? 0 : (patch.*b.channel & kOutputBits);
    patch.*b.channel = static_cast<uint8_t>(kept | (block[kChannelByteOffset] & b.loadedBits));
}

// Six-operator presets carry their outputs in the settings, not the channel bytes.
void TakeOutputsFromSettings(SynthPatch& patch, const PatchSettings& s) {
    auto outputBits = [&s](uint8_t left, uint8_t right) {
        return static_cast<uint8_t>(opl3::kOutputA.PutFlag(0, s.Outputs & left) |
                                    opl3::kOutputB.PutFlag(0, s.Outputs & right));
    };
    const uint8_t four = outputBits(outputs::kA, outputs::kB);
    const uint8_t two = outputBits(outputs::kA2, outputs::kB2);
    patch.RegC0Ops12 |= four;
    patch.RegC0Ops34 |= four;
    patch.RegC0Ops56 |= two;
}

} // namespace

void DecodePairBlock(std::span<const uint8_t> block, OperatorPatch& first, OperatorPatch& second,
                     uint8_t& channel) {
    for (size_t f = 0; f < kFieldsPerOperator; ++f) {
        first.*kFields[f] = block[2 * f];
        second.*kFields[f] = block[2 * f + 1];
    }
    channel = block[kChannelByteOffset];
}

std::optional<PresetKind> KindOfBank(std::string_view bank) {
    for (size_t i = 0; i < kBankNames.size(); ++i)
        if (bank == kBankNames[i]) return kBankKinds[i];
    return std::nullopt;
}

size_t PresetFileSize(PresetKind kind) {
    return LayoutOf(kind).size;
}

std::vector<uint8_t> EncodePreset(PresetKind kind, std::string_view name, const SynthPatch& patch,
                                  const PatchSettings& settings) {
    const Layout& l = LayoutOf(kind);
    std::vector<uint8_t> bytes(l.size, 0);
    bytes[0] = static_cast<uint8_t>(l.tag);
    bytes[1] = 'O';
    bytes[2] = 'P';
    bytes[3] = kMagicEnd;
    std::copy_n(name.begin(), std::min(name.size(), kPresetNameSize),
                bytes.begin() + kPresetNameOffset);
    for (size_t i = 0; i < l.blockCount; ++i) {
        const PairBlock& b = l.blocks[i];
        for (int k = 0; k < 2; ++k)
            for (size_t f = 0; f < kFieldsPerOperator; ++f)
                bytes[b.offset + 2 * f + k] = patch.Ops[b.firstOp + k].*kFields[f];
        bytes[b.offset + kChannelByteOffset] = patch.*b.channel;
    }
    if (l.settingsOffset) {
        const auto image = SettingsToBytes(settings);
        std::copy(image.begin(), image.end(), bytes.begin() + *l.settingsOffset);
    }
    return bytes;
}

bool DecodePreset(std::span<const uint8_t> bytes, SynthPatch& patch, PatchSettings& settings) {
    const Layout* l = Recognise(bytes);
    if (!l) return false;
    // Built aside and assigned at the end, so the records change all at once.
    SynthPatch p = patch;
    PatchSettings s = settings;
    const bool whole = l->settingsOffset.has_value();
    for (size_t i = 0; i < l->blockCount; ++i)
        LoadBlock(bytes.subspan(l->blocks[i].offset, kChannelByteOffset + 1), l->blocks[i], whole,
                  p);
    if (whole) {
        std::array<uint8_t, sizeof(PatchSettings)> image{};
        std::copy_n(bytes.begin() + *l->settingsOffset, image.size(), image.begin());
        s = SettingsFromBytes(image);
        TakeOutputsFromSettings(p, s);
    }
    patch = p;
    settings = s;
    return true;
}
