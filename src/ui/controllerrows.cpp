#include "ui/controllerrows.h"

#include "midi/noterules.h"
#include "ui/mainform.h"
#include "ui/opframe.h"

namespace {

// Scalings of a controller value v (0..127); items is the target list's count.
int Spread(uint8_t v, int items) {
    return ListItemFromController(v, items);
}
int Quarter(uint8_t v, int) {
    return v / 4; // main volume 0..31
}
int Centred(uint8_t v, int) {
    return v - 64; // pan -64..63
}
int Sixteenth(uint8_t v, int) {
    return v / 16; // feedback 0..7
}
int Bit0(uint8_t v, int) {
    return v & 1;
}

template <auto member> QWidget* Control(const TFormMain& form) {
    return form.*member;
}

constexpr ControllerRow Main(const char* key, int number, QWidget* (*control)(const TFormMain&),
                             int (*scale)(uint8_t, int)) {
    return {key, number, control, scale, nullptr};
}
constexpr ControllerRow Operator(const char* key, int number, void (TFrameOp::*setter)(uint8_t)) {
    return {key, number, nullptr, nullptr, setter};
}

} // namespace

// The first three keys end in a blank, as the dialog has always shown them.
const std::array<ControllerRow, kControllerRowCount> ControllerRows = {{
    Main("Master Tuning ", 6, Control<&TFormMain::ComboBoxTranspose>, Spread),
    Main("Master Volume ", 7, Control<&TFormMain::TrackBarVolume>, Quarter),
    Main("Master Pan ", 10, Control<&TFormMain::TrackBarPan>, Centred),
    Main("Operator 1 Feedback Modulation", 93, Control<&TFormMain::ComboBoxFB>, Sixteenth),
    Main("Operator 1, 2, 3, 4 Tuning", 5, Control<&TFormMain::ComboBoxTR1>, Spread),
    Main("Operator 1, 2, 3, 4 Output Left", -1, Control<&TFormMain::CheckBoxA>, Bit0),
    Main("Operator 1, 2, 3, 4 Output Right", -1, Control<&TFormMain::CheckBoxB>, Bit0),
    Main("Operator 1, 2, 3, 4, 5, 6 Control Connection", -1, Control<&TFormMain::ComboBoxCNT>,
         Spread),
    Main("Operator 1, 2, 3, 4, 5, 6 Tremolo Depth", -1, Control<&TFormMain::ComboBoxTD>, Bit0),
    Main("Operator 1, 2, 3, 4, 5, 6 Vibrato Depth", -1, Control<&TFormMain::ComboBoxVD>, Bit0),
    Main("Operator 5 Feedback Modulation", 91, Control<&TFormMain::ComboBoxFB2>, Sixteenth),
    Main("Operator 5, 6 Tuning", -1, Control<&TFormMain::ComboBoxTR2>, Spread),
    Main("Operator 5, 6 Output Left", -1, Control<&TFormMain::CheckBoxA2>, Bit0),
    Main("Operator 5, 6 Output Right", -1, Control<&TFormMain::CheckBoxB2>, Bit0),
    Operator("Operator Waveform & Modulation", 74, &TFrameOp::SetWaveformFromCc),
    Operator("Operator Key Scaling Level & Rate", 71, &TFrameOp::SetKeyScalingFromCc),
    Operator("Operator Tuning", 76, &TFrameOp::SetTuningFromCc),
    Operator("Operator Attack", 73, &TFrameOp::SetAttackFromCc),
    Operator("Operator Decay", 75, &TFrameOp::SetDecayFromCc),
    Operator("Operator Sustain", 78, &TFrameOp::SetSustainFromCc),
    Operator("Operator Release", 72, &TFrameOp::SetReleaseFromCc),
    Operator("Operator Volume", 77, &TFrameOp::SetVolumeFromCc),
}};
