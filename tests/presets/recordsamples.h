#pragma once
// Records whose every byte differs, so a byte out of place shows.
#include "presets/patchrecord.h"

// Operator j (0..5) holds 0xj1 .. 0xj5; channel bytes 0x3B, 0x35, 0x27.
inline SynthPatch NumberedPatch() {
    SynthPatch p;
    for (int j = 0; j < kOperatorCount; ++j) {
        const auto base = static_cast<uint8_t>(0x10 * j);
        p.Ops[j] = {static_cast<uint8_t>(base + 1), static_cast<uint8_t>(base + 2),
                    static_cast<uint8_t>(base + 3), static_cast<uint8_t>(base + 4),
                    static_cast<uint8_t>(base + 5)};
    }
    p.RegC0Ops12 = 0x3B;
    p.RegC0Ops34 = 0x35;
    p.RegC0Ops56 = 0x27;
    return p;
}

inline PatchSettings SampleSettings() {
    PatchSettings s;
    s.CcMask = 0x2A;
    s.Transpose = 1200;
    s.Tuning1 = 10;
    s.Tuning2 = -5;
    s.Outputs = outputs::kA | outputs::kA2;
    s.LfoDepth = lfo::kTremoloDeep;
    s.Volume = 31;
    s.Pan = -10;
    return s;
}
