#include "synth/controllermap.h"

#include "synth/noterules.h"

#include <algorithm>
#include <charconv>

// The first three keys end in a blank, as the dialog has always shown them.
const std::array<ControllerRow, kControllerRowCount> kControllerRows = {{
    {"Master Tuning ", 6, CcTarget::Transpose},
    {"Master Volume ", 7, CcTarget::Volume},
    {"Master Pan ", 10, CcTarget::Pan},
    {"Operator 1 Feedback Modulation", 93, CcTarget::Feedback},
    {"Operator 1, 2, 3, 4 Tuning", 5, CcTarget::Tuning1},
    {"Operator 1, 2, 3, 4 Output Left", -1, CcTarget::OutputA},
    {"Operator 1, 2, 3, 4 Output Right", -1, CcTarget::OutputB},
    {"Operator 1, 2, 3, 4, 5, 6 Control Connection", -1, CcTarget::Connection},
    {"Operator 1, 2, 3, 4, 5, 6 Tremolo Depth", -1, CcTarget::TremoloDepth},
    {"Operator 1, 2, 3, 4, 5, 6 Vibrato Depth", -1, CcTarget::VibratoDepth},
    {"Operator 5 Feedback Modulation", 91, CcTarget::Feedback2},
    {"Operator 5, 6 Tuning", -1, CcTarget::Tuning2},
    {"Operator 5, 6 Output Left", -1, CcTarget::OutputA2},
    {"Operator 5, 6 Output Right", -1, CcTarget::OutputB2},
    {"Operator Waveform & Modulation", 74, CcTarget::OperatorWaveform},
    {"Operator Key Scaling Level & Rate", 71, CcTarget::OperatorKeyScaling},
    {"Operator Tuning", 76, CcTarget::OperatorTuning},
    {"Operator Attack", 73, CcTarget::OperatorAttack},
    {"Operator Decay", 75, CcTarget::OperatorDecay},
    {"Operator Sustain", 78, CcTarget::OperatorSustain},
    {"Operator Release", 72, CcTarget::OperatorRelease},
    {"Operator Volume", 77, CcTarget::OperatorVolume},
}};

// Controller numbers are bytes: a text of more digits names none.
int ControllerNumberFromText(std::string_view text) {
    if (text.empty() || text.size() > 4) return kUnbound;
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || last != end || number < 0) return kUnbound;
    // Only the plain decimal text: no leading zero unless the number is 0.
    if (text.size() > 1 && text[0] == '0') return kUnbound;
    return number;
}

int ScaleForTarget(CcTarget target, uint8_t v, int items) {
    switch (target) {
    case CcTarget::Transpose:
    case CcTarget::Tuning1:
    case CcTarget::Tuning2:
    case CcTarget::Connection:
        return ListItemFromController(v, items);
    case CcTarget::Volume:
        return v / 4; // 0..31
    case CcTarget::Pan:
        return v - 64; // -64..63
    case CcTarget::Feedback:
    case CcTarget::Feedback2:
        return v / 16; // 0..7
    default:
        return v & 1; // outputs and depths
    }
}

bool IsOperatorTarget(CcTarget target) {
    return target >= CcTarget::OperatorWaveform;
}

namespace {
int Bit(uint8_t v, int bit) {
    return (v >> bit) & 1;
}
constexpr int kRateMax = 15;
} // namespace

// Several rows pack two or three fields into one controller; attack, decay,
// sustain and release run against it, so value 0 gives 15.
OperatorCcChange OperatorChangeFromCc(CcTarget target, uint8_t v) {
    switch (target) {
    case CcTarget::OperatorWaveform:
        return {{{{kFieldWaveform, (v >> 2) & 7},
                  {kFieldTremolo, Bit(v, 5)},
                  {kFieldVibrato, Bit(v, 6)}}},
                3};
    case CcTarget::OperatorKeyScaling:
        return {{{{kFieldLevelScaling, (v >> 4) & 3}, {kFieldRateScaling, Bit(v, 6)}}}, 2};
    case CcTarget::OperatorTuning:
        // A byte above 127 would give an index past the list: keep the last item.
        return {{{{kFieldMultiplier, std::min(v >> 3, 15)}}}, 1};
    case CcTarget::OperatorAttack:
        return {{{{kFieldAttack, kRateMax - (v >> 3)}}}, 1};
    case CcTarget::OperatorDecay:
        return {{{{kFieldDecay, kRateMax - (v >> 3)}}}, 1};
    case CcTarget::OperatorSustain:
        return {{{{kFieldSustain, kRateMax - ((v >> 2) & 15)}, {kFieldHold, Bit(v, 6)}}}, 2};
    case CcTarget::OperatorRelease:
        return {{{{kFieldRelease, kRateMax - (v >> 3)}}}, 1};
    case CcTarget::OperatorVolume:
        return {{{{kFieldVolume, v >> 1}}}, 1};
    default:
        return {};
    }
}
