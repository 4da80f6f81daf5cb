#include "presets/formats/formatbytes.h"

#include "error.h"
#include "hardware/opl3regs.h"
#include "presets/presetfile.h"

#include <algorithm>

namespace bankbytes {

Bytes Slice(Bytes bytes, size_t offset, size_t size, std::string_view what) {
    if (offset > bytes.size() || size > bytes.size() - offset)
        throw Error(std::string(what) + ": the file ends at byte " + std::to_string(bytes.size()));
    return bytes.subspan(offset, size);
}

std::string CleanName(Bytes field) {
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    std::string name;
    for (auto it = field.begin(); it != end; ++it)
        if (*it >= 0x20 && *it != 0x7F) name += static_cast<char>(*it);
    const size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

bool StartsWith(Bytes bytes, std::string_view text) {
    return bytes.size() >= text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin(),
                      [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

OperatorPair PairFromTimbre(Bytes t) {
    OperatorPair pair;
    DecodePairBlock(t, pair.Modulator, pair.Carrier, pair.RegC0);
    pair.RegC0 = FeedbackAndConnection(pair.RegC0);
    return pair;
}

BankInstrument FromSbTimbre(Bytes t) {
    constexpr uint8_t kFirstDrum = 6, kLastDrum = 10;
    BankInstrument i;
    i.Pairs[0] = PairFromTimbre(t);
    if (t.size() > 11) i.Percussion = t[11] >= kFirstDrum && t[11] <= kLastDrum;
    if (t.size() > 12) i.NoteOffset[0] = static_cast<int8_t>(t[12]);
    if (t.size() > 13 && i.Percussion && t[13] != 0 && t[13] < 0x80) i.FixedNote = t[13];
    return i;
}

uint8_t FeedbackAndConnection(uint8_t regC0) {
    return regC0 & (opl3::kFeedback.Mask() | opl3::kConnection.Mask());
}

} // namespace bankbytes
