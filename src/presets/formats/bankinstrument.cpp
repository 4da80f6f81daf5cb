#include "presets/formats/bankinstrument.h"

#include "hardware/opl3regs.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr uint8_t kCnt = opl3::kConnection.Mask();
constexpr uint8_t kFeedback = opl3::kFeedback.Mask();
constexpr uint8_t kOutputs = opl3::kOutputA.Mask() | opl3::kOutputB.Mask();

// Two FM pairs make the four-operator connection (1' . 2) + (3 . 4).
bool TwoPairsMakeFourOperators(const BankInstrument& i) {
    return i.Layout == VoiceLayout::TwoPairs && !(i.Pairs[0].RegC0 & kCnt) &&
           !(i.Pairs[1].RegC0 & kCnt);
}

OperatorPatch Cleaned(OperatorPatch op) {
    op.RegE0 &= opl3::kWaveform.Mask();
    return op;
}

uint8_t ChannelByte(uint8_t current, uint8_t taken) {
    return static_cast<uint8_t>((current & kOutputs) | taken);
}

} // namespace

InstrumentKind BankInstrument::Kind() const {
    if (Percussion) return InstrumentKind::Percussion;
    switch (Layout) {
    case VoiceLayout::FourOperator:
        return InstrumentKind::FourOperator;
    case VoiceLayout::TwoPairs:
        return InstrumentKind::DoubleVoice;
    case VoiceLayout::OnePair:
        break;
    }
    return InstrumentKind::TwoOperator;
}

std::string BankInstrument::Label() const {
    return Name.empty() ? std::to_string(Index) : Name;
}

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Contains(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [](char a, char b) { return Lower(a) == Lower(b); }) != text.end();
}

} // namespace

bool MatchesSearch(const BankInstrument& i, std::string_view search) {
    const std::string file = std::filesystem::path(i.File).filename().string();
    for (size_t at = 0; at < search.size();) {
        const size_t end = std::min(search.find(' ', at), search.size());
        const std::string_view word = search.substr(at, end - at);
        if (!word.empty() && !Contains(i.Name, word) && !Contains(i.Bank, word) &&
            !Contains(file, word))
            return false;
        at = end + 1;
    }
    return true;
}

bool IsEmpty(const BankInstrument& i) {
    return i.Pairs[0] == OperatorPair{} && i.Pairs[1] == OperatorPair{};
}

std::string_view KindName(InstrumentKind kind) {
    switch (kind) {
    case InstrumentKind::FourOperator:
        return "4-op";
    case InstrumentKind::DoubleVoice:
        return "pseudo-4-op";
    case InstrumentKind::Percussion:
        return "percussion";
    case InstrumentKind::TwoOperator:
        break;
    }
    return "2-op";
}

PresetKind PresetKindFor(const BankInstrument& i) {
    return i.Layout == VoiceLayout::FourOperator || TwoPairsMakeFourOperators(i)
               ? PresetKind::FourOperator
               : PresetKind::TwoOperator;
}

void ApplyInstrument(const BankInstrument& i, SynthPatch& patch) {
    const OperatorPair& first = i.Pairs[0];
    const OperatorPair& second = i.Pairs[1];
    if (PresetKindFor(i) == PresetKind::TwoOperator) {
        patch.Ops[4] = Cleaned(first.Modulator);
        patch.Ops[5] = Cleaned(first.Carrier);
        patch.RegC0Ops56 = ChannelByte(patch.RegC0Ops56, first.RegC0 & (kFeedback | kCnt));
        return;
    }
    patch.Ops[0] = Cleaned(first.Modulator);
    patch.Ops[1] = Cleaned(first.Carrier);
    patch.Ops[2] = Cleaned(second.Modulator);
    patch.Ops[3] = Cleaned(second.Carrier);
    if (i.Layout == VoiceLayout::FourOperator) {
        patch.RegC0Ops12 = ChannelByte(patch.RegC0Ops12, first.RegC0 & (kFeedback | kCnt));
        patch.RegC0Ops34 = ChannelByte(patch.RegC0Ops34, second.RegC0 & kCnt);
    } else {
        patch.RegC0Ops12 = ChannelByte(patch.RegC0Ops12, first.RegC0 & kFeedback);
        patch.RegC0Ops34 = ChannelByte(patch.RegC0Ops34, kCnt);
    }
}

int32_t InstrumentCents(const BankInstrument& i) {
    return 100 * static_cast<int32_t>(i.NoteOffset[0]);
}
