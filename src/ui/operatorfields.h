#pragma once
// The editing controls of an operator frame as a table: each ties one
// control to its bits in the operator's register images and to the chip
// setter that programs it. One operator field is one row. No Qt here.
#include "error.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct OperatorField {
    const char* control; // the frame control's name
    uint8_t OperatorPatch::*image;
    opl3::Field bits;
    unsigned noSelection; // what a list without a selection stands for
    void (OPL3::*setter)(int32_t op, uint8_t value);
};

// In the order in which loading a patch sets the controls, and so in which
// their handlers program the chip.
inline constexpr std::array<OperatorField, 12> kOperatorFields = {{
    {"CheckBoxTremolo", &OperatorPatch::Reg20, opl3::kTremolo, 0, &OPL3::SetTremolo},
    {"CheckBoxVibrato", &OperatorPatch::Reg20, opl3::kVibrato, 0, &OPL3::SetVibrato},
    {"CheckBoxHold", &OperatorPatch::Reg20, opl3::kHold, 0, &OPL3::SetHold},
    {"CheckBoxRateScaling", &OperatorPatch::Reg20, opl3::kRateScaling, 0, &OPL3::SetRateScaling},
    {"ComboBoxFreqMultiplier", &OperatorPatch::Reg20, opl3::kMultiplier, 1,
     &OPL3::SetFreqMultiplier}, // "0 cents"
    {"ComboBoxLevelScaling", &OperatorPatch::Reg40, opl3::kLevelScaling, 0, &OPL3::SetLevelScaling},
    {"TrackBarVolume", &OperatorPatch::Reg40, opl3::kLevel, 0, &OPL3::SetLevel},
    {"TrackBarAttack", &OperatorPatch::Reg60, opl3::kAttack, 0, &OPL3::SetAttack},
    {"TrackBarDecay", &OperatorPatch::Reg60, opl3::kDecay, 0, &OPL3::SetDecay},
    {"TrackBarSustain", &OperatorPatch::Reg80, opl3::kSustain, 0, &OPL3::SetSustain},
    {"TrackBarRelease", &OperatorPatch::Reg80, opl3::kRelease, 0, &OPL3::SetRelease},
    {"ComboBoxWS", &OperatorPatch::RegE0, opl3::kWaveform, 0, &OPL3::SetWaveform},
}};

// The row of a control, found while compiling.
constexpr size_t OperatorFieldIndex(std::string_view control) {
    for (size_t i = 0; i < kOperatorFields.size(); ++i)
        if (control == kOperatorFields[i].control) return i;
    throw Error("No operator field '" + std::string(control) + "'");
}

// The register bits of a field given the control's value; a value outside
// the field (a list without a selection) stands for the row's noSelection.
inline void PutOperatorField(OperatorPatch& patch, const OperatorField& field, int value) {
    const bool inRange = value >= 0 && static_cast<unsigned>(value) <= field.bits.Max();
    patch.*field.image = field.bits.Put(patch.*field.image,
                                        inRange ? static_cast<unsigned>(value) : field.noSelection);
}
