#include "presets/formats/wopl.h"

#include "error.h"
#include "hardware/littleendian.h"
#include "presets/formats/formatbytes.h"

using bankbytes::Bytes;

namespace {

constexpr std::string_view kBankMagic{"WOPL3-BANK\0", 11};
constexpr std::string_view kInstrumentMagic{"WOPL3-INST\0", 11};
constexpr size_t kBankHeaderSize = 19;
constexpr size_t kBankNameSize = 34;
constexpr size_t kNameSize = 32;
constexpr size_t kEntrySize = 62, kEntrySizeV3 = 66;
constexpr size_t kPerBank = 128;
constexpr size_t kOpliSize = 14 + kEntrySize;
constexpr unsigned kLatestVersion = 3;

constexpr uint8_t kFourOperator = 0x01, kDoubleVoice = 0x02, kBlank = 0x04;
constexpr size_t kOperatorsAt = 42, kOperatorSize = 5;

int16_t BigEndian16(Bytes b, size_t at) {
    return static_cast<int16_t>(b[at] << 8 | b[at + 1]);
}

OperatorPatch OperatorAt(Bytes entry, size_t n) {
    const Bytes o = entry.subspan(kOperatorsAt + kOperatorSize * n, kOperatorSize);
    return {o[0], o[1], o[2], o[3], o[4]};
}

// One entry; the file stores each pair carrier first.
BankInstrument FromEntry(Bytes e, bool percussion) {
    BankInstrument i;
    i.Name = bankbytes::CleanName(e.first(kNameSize));
    const uint8_t flags = e[39];
    i.Layout = (flags & kFourOperator)  ? VoiceLayout::FourOperator
               : (flags & kDoubleVoice) ? VoiceLayout::TwoPairs
                                        : VoiceLayout::OnePair;
    i.Percussion = percussion;
    for (size_t p = 0; p < 2; ++p) {
        i.Pairs[p].Carrier = OperatorAt(e, 2 * p);
        i.Pairs[p].Modulator = OperatorAt(e, 2 * p + 1);
        i.Pairs[p].RegC0 = bankbytes::FeedbackAndConnection(e[40 + p]);
        i.NoteOffset[p] = BigEndian16(e, 32 + 2 * p);
    }
    if (i.Layout == VoiceLayout::OnePair) {
        i.Pairs[1] = {};
        i.NoteOffset[1] = 0;
    }
    if (percussion) i.FixedNote = e[38];
    if (i.Layout == VoiceLayout::TwoPairs) i.FineTune = static_cast<int8_t>(e[37]) * 100 / 64;
    return i;
}

unsigned Version(Bytes bytes, const char* what) {
    const unsigned version = ReadLittleEndian<uint16_t>(&bankbytes::Slice(bytes, 11, 2, what)[0]);
    if (version == 0 || version > kLatestVersion)
        throw Error(std::string(what) + ": version " + std::to_string(version) +
                    " (this program reads 1 to 3)");
    return version;
}

} // namespace

bool IsWopl(std::span<const uint8_t> bytes) {
    return bankbytes::StartsWith(bytes, kBankMagic);
}

bool IsOpli(std::span<const uint8_t> bytes) {
    return bankbytes::StartsWith(bytes, kInstrumentMagic);
}

std::vector<BankInstrument> ReadWopl(std::span<const uint8_t> bytes) {
    const char* what = "WOPL bank";
    const unsigned version = Version(bytes, what);
    const Bytes header = bankbytes::Slice(bytes, 0, kBankHeaderSize, what);
    const size_t melodic = static_cast<uint16_t>(BigEndian16(header, 13));
    const size_t percussion = static_cast<uint16_t>(BigEndian16(header, 15));
    const size_t banks = melodic + percussion;
    const size_t namesSize = version >= 2 ? banks * kBankNameSize : 0;
    const size_t entrySize = version >= 3 ? kEntrySizeV3 : kEntrySize;
    // Both counts are at most 65535, so the sizes stay far inside size_t.
    const Bytes names = bankbytes::Slice(bytes, kBankHeaderSize, namesSize, what);
    const Bytes entries =
        bankbytes::Slice(bytes, kBankHeaderSize + namesSize, banks * kPerBank * entrySize,
                         "WOPL bank: its instruments");
    std::vector<BankInstrument> all;
    for (size_t n = 0; n < banks * kPerBank; ++n) {
        const Bytes e = entries.subspan(n * entrySize, entrySize);
        if (e[39] & kBlank) continue;
        const size_t bank = n / kPerBank;
        BankInstrument i = FromEntry(e, bank >= melodic);
        i.Index = n;
        if (!names.empty())
            i.Bank = bankbytes::CleanName(names.subspan(bank * kBankNameSize, kNameSize));
        all.push_back(std::move(i));
    }
    return all;
}

std::vector<BankInstrument> ReadOpli(std::span<const uint8_t> bytes) {
    const char* what = "OPLI instrument";
    Version(bytes, what);
    const Bytes file = bankbytes::Slice(bytes, 0, kOpliSize, what);
    return {FromEntry(file.subspan(14), file[13] != 0)};
}
