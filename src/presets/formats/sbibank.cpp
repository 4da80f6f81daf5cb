#include "presets/formats/sbibank.h"

#include "error.h"
#include "hardware/opl3regs.h"
#include "presets/formats/formatbytes.h"

#include <algorithm>
#include <string>

using bankbytes::Bytes;

namespace {

constexpr size_t kNameAt = 4, kNameSize = 32, kFirstTimbre = 36, kSecondTimbre = 47;
constexpr size_t kTwoOperatorSize = 52, kShortestAlone = kFirstTimbre + bankbytes::kTimbreSize;
constexpr size_t kOpl3RecordSize = 60;

enum class Magic { None, Sbi, TwoOp, FourOp, SixOp };

Magic MagicAt(Bytes bytes, size_t at) {
    if (at >= bytes.size()) return Magic::None;
    const Bytes b = bytes.subspan(at);
    if (bankbytes::StartsWith(b, "SBI")) return Magic::Sbi;
    if (bankbytes::StartsWith(b, "2OP")) return Magic::TwoOp;
    if (bankbytes::StartsWith(b, "4OP")) return Magic::FourOp;
    if (bankbytes::StartsWith(b, "6OP")) return Magic::SixOp;
    return Magic::None;
}

// A record of `size` bytes at `at` ends where the file or another record begins.
bool EndsWell(Bytes bytes, size_t at, size_t size) {
    const size_t end = at + size;
    return end == bytes.size() || (end < bytes.size() && MagicAt(bytes, end) != Magic::None);
}

std::string Where(size_t record) {
    return "SBI record " + std::to_string(record);
}

size_t RecordSize(Bytes bytes, size_t at, Magic magic, size_t record) {
    const size_t left = bytes.size() - at;
    switch (magic) {
    case Magic::Sbi:
        // Alone in its file the padding may be missing.
        if (at == 0 && left >= kShortestAlone && left <= kTwoOperatorSize) return left;
        if (EndsWell(bytes, at, kTwoOperatorSize)) return kTwoOperatorSize;
        break;
    case Magic::TwoOp:
        if (EndsWell(bytes, at, kTwoOperatorSize)) return kTwoOperatorSize;
        if (EndsWell(bytes, at, kOpl3RecordSize)) return kOpl3RecordSize;
        break;
    case Magic::FourOp:
        if (EndsWell(bytes, at, kOpl3RecordSize)) return kOpl3RecordSize;
        break;
    case Magic::SixOp:
        throw Error(Where(record) + ": a six-operator preset of this program, not an instrument");
    case Magic::None:
        throw Error(Where(record) + ": no SBI, 2OP or 4OP magic at byte " + std::to_string(at));
    }
    throw Error(Where(record) + ": " + std::to_string(left) + " bytes left at byte " +
                std::to_string(at) + ", which fit no record of its kind");
}

bool AllZero(Bytes b) {
    return std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0; });
}

BankInstrument FromRecord(Bytes r, Magic magic) {
    if (r.size() != kOpl3RecordSize) return bankbytes::FromSbTimbre(r.subspan(kFirstTimbre));
    BankInstrument i;
    const Bytes second = r.subspan(kSecondTimbre, bankbytes::kTimbreSize);
    i.Pairs[0] = bankbytes::PairFromTimbre(r.subspan(kFirstTimbre, bankbytes::kTimbreSize));
    if (magic == Magic::FourOp) {
        i.Layout = VoiceLayout::FourOperator;
        i.Pairs[1] = bankbytes::PairFromTimbre(second);
    } else if (!AllZero(second)) {
        i.Layout = VoiceLayout::TwoPairs;
        i.Pairs[1] = bankbytes::PairFromTimbre(second);
    }
    return i;
}

} // namespace

bool IsSbi(std::span<const uint8_t> bytes) {
    return MagicAt(bytes, 0) != Magic::None;
}

std::vector<BankInstrument> ReadSbi(std::span<const uint8_t> bytes) {
    std::vector<BankInstrument> all;
    for (size_t at = 0; at < bytes.size();) {
        const Magic magic = MagicAt(bytes, at);
        const size_t size = RecordSize(bytes, at, magic, all.size());
        const Bytes record = bytes.subspan(at, size);
        BankInstrument i = FromRecord(record, magic);
        i.Name = bankbytes::CleanName(record.subspan(kNameAt, kNameSize));
        if (magic == Magic::FourOp)
            i.Pairs[1].RegC0 &= opl3::kConnection.Mask(); // operator 3 takes no feedback
        i.Index = all.size();
        all.push_back(std::move(i));
        at += size;
    }
    if (all.empty()) throw Error("SBI file: empty");
    return all;
}
