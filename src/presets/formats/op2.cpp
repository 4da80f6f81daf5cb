#include "presets/formats/op2.h"

#include "hardware/littleendian.h"
#include "hardware/opl3regs.h"
#include "presets/formats/formatbytes.h"

using bankbytes::Bytes;

namespace {

constexpr std::string_view kMagic = "#OPL_II#";
constexpr size_t kCount = 175, kMelodic = 128;
constexpr size_t kInstrumentSize = 36, kVoiceSize = 16, kNameSize = 32;
constexpr size_t kNamesAt = kMagic.size() + kCount * kInstrumentSize;
constexpr uint16_t kFixedNote = 0x01, kDoubleVoice = 0x04;
constexpr int kFineTuneCentre = 128;

OperatorPatch Operator(Bytes v, size_t at) {
    const uint8_t reg40 = static_cast<uint8_t>((v[at + 4] & opl3::kLevelScaling.Mask()) |
                                               (v[at + 5] & opl3::kLevel.Mask()));
    return {v[at], reg40, v[at + 1], v[at + 2], v[at + 3]};
}

BankInstrument FromEntry(Bytes e, Bytes name, size_t index) {
    BankInstrument i;
    i.Name = bankbytes::CleanName(name);
    i.Index = index;
    i.Percussion = index >= kMelodic;
    const uint16_t flags = ReadLittleEndian<uint16_t>(&e[0]);
    const bool twoVoices = flags & kDoubleVoice;
    i.Layout = twoVoices ? VoiceLayout::TwoPairs : VoiceLayout::OnePair;
    for (size_t p = 0; p < (twoVoices ? 2u : 1u); ++p) {
        const Bytes v = e.subspan(4 + p * kVoiceSize, kVoiceSize);
        i.Pairs[p] = {Operator(v, 0), Operator(v, 7), bankbytes::FeedbackAndConnection(v[6])};
        i.NoteOffset[p] = ReadLittleEndian<int16_t>(&v[14]);
    }
    if (flags & kFixedNote) i.FixedNote = e[3];
    if (twoVoices) i.FineTune = static_cast<int16_t>((e[2] - kFineTuneCentre) * 100 / 64);
    return i;
}

} // namespace

bool IsOp2(std::span<const uint8_t> bytes) {
    return bankbytes::StartsWith(bytes, kMagic);
}

std::vector<BankInstrument> ReadOp2(std::span<const uint8_t> bytes) {
    const Bytes entries =
        bankbytes::Slice(bytes, kMagic.size(), kCount * kInstrumentSize, "OP2 bank");
    const Bytes names =
        bankbytes::Slice(bytes, kNamesAt, kCount * kNameSize, "OP2 bank: its names");
    std::vector<BankInstrument> all;
    for (size_t n = 0; n < kCount; ++n)
        all.push_back(FromEntry(entries.subspan(n * kInstrumentSize, kInstrumentSize),
                                names.subspan(n * kNameSize, kNameSize), n));
    return all;
}
