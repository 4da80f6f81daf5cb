#pragma once
// The load the card benchmarks play: every operator audible, both LFOs deep,
// feedback, a six-note chord, so the chip does all the work it ever does.
#include "hardware/opl3.h"
#include "hardware/opl3regs.h"
#include "presets/patchrecord.h"

#include <cstdint>

namespace bench {

inline constexpr uint8_t kChord[OPL3::kSlotCount] = {48, 55, 60, 64, 67, 72};

inline SynthPatch EverythingSounds() {
    SynthPatch patch;
    for (auto& op : patch.Ops) {
        op.Reg20 = opl3::kHold.Mask() | opl3::kVibrato.Mask() | 0x01;
        op.Reg40 = 0x08;
        op.Reg60 = 0xF2;
        op.Reg80 = 0x13;
        op.RegE0 = 0x01;
    }
    SetConnectionBits(patch, 5);
    patch.RegC0Ops12 |= 0x06; // some feedback
    return patch;
}

inline PatchSettings AllOutputs() {
    PatchSettings settings;
    settings.Outputs = outputs::kA | outputs::kB | outputs::kA2 | outputs::kB2;
    settings.LfoDepth = lfo::kTremoloDeep | lfo::kVibratoDeep;
    return settings;
}

inline void PlayChord(OPL3& opl3) {
    opl3.SetPatch(EverythingSounds(), AllOutputs());
    for (uint8_t note : kChord)
        opl3.NoteOn(0, 0, note);
}

} // namespace bench
