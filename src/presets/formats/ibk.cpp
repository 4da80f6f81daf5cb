#include "presets/formats/ibk.h"

#include "presets/formats/formatbytes.h"

namespace {
constexpr std::string_view kMagic{"IBK\x1A", 4};
constexpr size_t kCount = 128, kNameSize = 9;
constexpr size_t kNamesAt = kMagic.size() + kCount * bankbytes::kSbTimbreSize;
} // namespace

bool IsIbk(std::span<const uint8_t> bytes) {
    return bankbytes::StartsWith(bytes, kMagic);
}

std::vector<BankInstrument> ReadIbk(std::span<const uint8_t> bytes) {
    const auto timbres =
        bankbytes::Slice(bytes, kMagic.size(), kCount * bankbytes::kSbTimbreSize, "IBK bank");
    const auto names = bankbytes::Slice(bytes, kNamesAt, kCount * kNameSize, "IBK bank: its names");
    std::vector<BankInstrument> all;
    for (size_t n = 0; n < kCount; ++n) {
        BankInstrument i = bankbytes::FromSbTimbre(
            timbres.subspan(n * bankbytes::kSbTimbreSize, bankbytes::kSbTimbreSize));
        i.Name = bankbytes::CleanName(names.subspan(n * kNameSize, kNameSize));
        i.Index = n;
        all.push_back(std::move(i));
    }
    return all;
}
