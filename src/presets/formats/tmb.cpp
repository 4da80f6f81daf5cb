#include "presets/formats/tmb.h"

#include "error.h"
#include "presets/formats/formatbytes.h"

namespace {
constexpr size_t kEntrySize = 13, kMelodic = 128;
constexpr uint8_t kHighestNote = 127;
} // namespace

bool IsTmb(std::span<const uint8_t> bytes) {
    return bytes.size() == kTmbFileSize;
}

std::vector<BankInstrument> ReadTmb(std::span<const uint8_t> bytes) {
    if (bytes.size() != kTmbFileSize)
        throw Error("TMB bank: " + std::to_string(bytes.size()) + " bytes, not " +
                    std::to_string(kTmbFileSize));
    std::vector<BankInstrument> all;
    for (size_t n = 0; n < kTmbFileSize / kEntrySize; ++n) {
        const auto e = bytes.subspan(n * kEntrySize, kEntrySize);
        BankInstrument i;
        i.Index = n;
        i.Pairs[0] = bankbytes::PairFromTimbre(e);
        const auto number = static_cast<int8_t>(e[11]);
        i.Percussion = n >= kMelodic;
        if (!i.Percussion)
            i.NoteOffset[0] = number;
        else if (number >= 0 && number <= kHighestNote)
            i.FixedNote = static_cast<uint8_t>(number);
        all.push_back(std::move(i));
    }
    return all;
}
