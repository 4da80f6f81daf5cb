#pragma once
// The fields of an operator as a table: each ties one frame control to its
// bits in the operator's register images, to the chip setter that programs
// it, and to how the control takes a value the program sets (a check box or
// a track bar programs the chip when its value changes, a list never). One
// operator field is one row. No Qt here.
#include "error.h"
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How a control answers a value the program sets: check boxes and track
// bars run their handler when the value changes (a bar clamps it to its
// range first), lists run none.
enum class ControlKind : uint8_t { Check, List, Bar };

struct OperatorField {
    const char* control; // the frame control's name
    ControlKind kind;
    uint8_t OperatorPatch::*image;
    opl3::Field bits;
    unsigned noSelection; // what a list without a selection stands for
    void (OPL3::*setter)(int32_t op, uint8_t value);
};

// In the order in which loading a patch sets the controls, and so in which
// their handlers program the chip.
inline constexpr std::array<OperatorField, 12> kOperatorFields = {{
    {"CheckBoxTremolo", ControlKind::Check, &OperatorPatch::Reg20, opl3::kTremolo, 0,
     &OPL3::SetTremolo},
    {"CheckBoxVibrato", ControlKind::Check, &OperatorPatch::Reg20, opl3::kVibrato, 0,
     &OPL3::SetVibrato},
    {"CheckBoxHold", ControlKind::Check, &OperatorPatch::Reg20, opl3::kHold, 0, &OPL3::SetHold},
    {"CheckBoxRateScaling", ControlKind::Check, &OperatorPatch::Reg20, opl3::kRateScaling, 0,
     &OPL3::SetRateScaling},
    {"ComboBoxFreqMultiplier", ControlKind::List, &OperatorPatch::Reg20, opl3::kMultiplier, 1,
     &OPL3::SetFreqMultiplier}, // "0 cents"
    {"ComboBoxLevelScaling", ControlKind::List, &OperatorPatch::Reg40, opl3::kLevelScaling, 0,
     &OPL3::SetLevelScaling},
    {"TrackBarVolume", ControlKind::Bar, &OperatorPatch::Reg40, opl3::kLevel, 0, &OPL3::SetLevel},
    {"TrackBarAttack", ControlKind::Bar, &OperatorPatch::Reg60, opl3::kAttack, 0, &OPL3::SetAttack},
    {"TrackBarDecay", ControlKind::Bar, &OperatorPatch::Reg60, opl3::kDecay, 0, &OPL3::SetDecay},
    {"TrackBarSustain", ControlKind::Bar, &OperatorPatch::Reg80, opl3::kSustain, 0,
     &OPL3::SetSustain},
    {"TrackBarRelease", ControlKind::Bar, &OperatorPatch::Reg80, opl3::kRelease, 0,
     &OPL3::SetRelease},
    {"ComboBoxWS", ControlKind::List, &OperatorPatch::RegE0, opl3::kWaveform, 0,
     &OPL3::SetWaveform},
}};

// The row of a control, found while compiling.
constexpr size_t OperatorFieldIndex(std::string_view control) {
    for (size_t i = 0; i < kOperatorFields.size(); ++i)
        if (control == kOperatorFields[i].control) return i;
    throw Error("No operator field '" + std::string(control) + "'");
}

inline constexpr size_t kFieldTremolo = OperatorFieldIndex("CheckBoxTremolo"),
                        kFieldVibrato = OperatorFieldIndex("CheckBoxVibrato"),
                        kFieldHold = OperatorFieldIndex("CheckBoxHold"),
                        kFieldRateScaling = OperatorFieldIndex("CheckBoxRateScaling"),
                        kFieldMultiplier = OperatorFieldIndex("ComboBoxFreqMultiplier"),
                        kFieldLevelScaling = OperatorFieldIndex("ComboBoxLevelScaling"),
                        kFieldVolume = OperatorFieldIndex("TrackBarVolume"),
                        kFieldAttack = OperatorFieldIndex("TrackBarAttack"),
                        kFieldDecay = OperatorFieldIndex("TrackBarDecay"),
                        kFieldSustain = OperatorFieldIndex("TrackBarSustain"),
                        kFieldRelease = OperatorFieldIndex("TrackBarRelease"),
                        kFieldWaveform = OperatorFieldIndex("ComboBoxWS");
inline constexpr size_t kOperatorFieldCount = kOperatorFields.size();

// What a frame shows at first and after "Clear": the register images
// 01 3F FF FF 00, a silent operator.
inline constexpr std::array<int, kOperatorFieldCount> kDefaultFieldValues = [] {
    std::array<int, kOperatorFieldCount> values{};
    values[kFieldMultiplier] = 1; // "0 cents"
    for (size_t f : {kFieldAttack, kFieldDecay, kFieldSustain, kFieldRelease})
        values[f] = 15;
    return values;
}();

// "Clear" sets the fields in this order (the frame's own, top to bottom),
// then sends the three lists, which ran no handler, in this one.
inline constexpr std::array<size_t, kOperatorFieldCount> kClearOrder = {
    kFieldWaveform,    kFieldTremolo,    kFieldVibrato, kFieldLevelScaling,
    kFieldRateScaling, kFieldMultiplier, kFieldAttack,  kFieldDecay,
    kFieldSustain,     kFieldRelease,    kFieldHold,    kFieldVolume};
inline constexpr std::array<size_t, 3> kListSendOrder = {kFieldWaveform, kFieldLevelScaling,
                                                         kFieldMultiplier};

// The register bits of a field given the control's value; a value outside
// the field (a list without a selection) stands for the row's noSelection.
inline void PutOperatorField(OperatorPatch& patch, const OperatorField& field, int value) {
    const bool inRange = value >= 0 && static_cast<unsigned>(value) <= field.bits.Max();
    patch.*field.image = field.bits.Put(patch.*field.image,
                                        inRange ? static_cast<unsigned>(value) : field.noSelection);
}

// The value a control ends up holding when the program sets `value`: a bar
// clamps into its range, a check box is on for anything but 0, a list
// selects nothing for an index past its items.
constexpr int ControlTakes(const OperatorField& field, int value) {
    const int max = static_cast<int>(field.bits.Max());
    switch (field.kind) {
    case ControlKind::Check:
        return value != 0 ? 1 : 0;
    case ControlKind::Bar:
        return value < 0 ? 0 : value > max ? max : value;
    case ControlKind::List:
        return value < 0 || value > max ? -1 : value;
    }
    return value;
}

// An operator's five register images from its field values.
inline OperatorPatch OperatorImage(const std::array<int, kOperatorFieldCount>& values) {
    OperatorPatch patch;
    for (size_t i = 0; i < kOperatorFieldCount; ++i)
        PutOperatorField(patch, kOperatorFields[i], values[i]);
    return patch;
}
