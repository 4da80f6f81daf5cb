#include "presets/formats/bnk.h"

#include "hardware/littleendian.h"
#include "hardware/opl3regs.h"
#include "presets/formats/formatbytes.h"

using bankbytes::Bytes;

namespace {

constexpr std::string_view kMagic = "ADLIB-";
constexpr size_t kMagicAt = 2, kHeaderSize = 28;
constexpr size_t kNameRecordSize = 12, kNameSize = 9, kDataSize = 30, kOperatorSize = 13;

// Each field is a byte of its own; bits beyond a field's width are dropped.
OperatorPatch Operator(Bytes f, uint8_t waveform) {
    using namespace opl3;
    OperatorPatch op;
    op.Reg20 = kTremolo.PutFlag(0, f[9]);
    op.Reg20 = kVibrato.PutFlag(op.Reg20, f[10]);
    op.Reg20 = kHold.PutFlag(op.Reg20, f[5]);
    op.Reg20 = kRateScaling.PutFlag(op.Reg20, f[11]);
    op.Reg20 = kMultiplier.Put(op.Reg20, f[1]);
    // The file holds the attenuation, as the register does.
    op.Reg40 = static_cast<uint8_t>(kLevelScaling.Put(0, f[0]) | (f[8] & kLevel.Mask()));
    op.Reg60 = kDecay.Put(kAttack.Put(0, f[3]), f[6]);
    op.Reg80 = kRelease.Put(kSustain.Put(0, f[4]), f[7]);
    op.RegE0 = kWaveform.Put(0, waveform);
    return op;
}

BankInstrument FromParameters(Bytes d) {
    BankInstrument i;
    const Bytes modulator = d.subspan(2, kOperatorSize);
    i.Pairs[0].Modulator = Operator(modulator, d[28]);
    i.Pairs[0].Carrier = Operator(d.subspan(2 + kOperatorSize, kOperatorSize), d[29]);
    i.Pairs[0].RegC0 =
        opl3::kConnection.PutFlag(opl3::kFeedback.Put(0, modulator[2]), modulator[12] == 0);
    i.Percussion = d[0] != 0;
    return i;
}

} // namespace

bool IsBnk(std::span<const uint8_t> bytes) {
    return bytes.size() >= kMagicAt && bankbytes::StartsWith(bytes.subspan(kMagicAt), kMagic);
}

std::vector<BankInstrument> ReadBnk(std::span<const uint8_t> bytes) {
    const Bytes header = bankbytes::Slice(bytes, 0, kHeaderSize, "BNK bank");
    const size_t count = ReadLittleEndian<uint16_t>(&header[10]);
    const size_t namesAt = ReadLittleEndian<uint32_t>(&header[12]);
    const size_t dataAt = ReadLittleEndian<uint32_t>(&header[16]);
    const Bytes names =
        bankbytes::Slice(bytes, namesAt, count * kNameRecordSize, "BNK bank: its names");
    std::vector<BankInstrument> all;
    for (size_t n = 0; n < count; ++n) {
        const Bytes record = names.subspan(n * kNameRecordSize, kNameRecordSize);
        if (record[2] == 0) continue;
        const size_t index = ReadLittleEndian<uint16_t>(&record[0]);
        BankInstrument i = FromParameters(bankbytes::Slice(bytes, dataAt, (index + 1) * kDataSize,
                                                           "BNK bank: the parameters of a name")
                                              .subspan(index * kDataSize));
        i.Name = bankbytes::CleanName(record.subspan(3, kNameSize));
        i.Index = n;
        all.push_back(std::move(i));
    }
    return all;
}
