#pragma once
// An emulated card installed as the port backend, with the FM801 and OPL3
// of the program on it, rendering offline.
#include "appliedwrites.h"
#include "hardware/emulated/emulatedcard.h"
#include "hardware/fm801.h"
#include "hardware/opl3.h"
#include "presets/patchrecord.h"
#include "signal.h"

// A held sine: attack at once, no decay, sustain held. level 0..63 (63 loudest).
OperatorPatch SineOperator(uint8_t level);
OperatorPatch SilentOperator();
// Only operator 6 sounds, through the two-operator voice (outputs A2 and B2).
SynthPatch TwoOperatorSine();
PatchSettings TwoOperatorOutputs();

// Frequency that a channel's F-number and block give on the chip.
double ChannelFrequency(const OPL3& opl3, uint16_t channel);
// The channel of the two-operator voice that holds a keyed-on note.
int KeyedTwoOperatorChannel(const OPL3& opl3);

struct Rig {
    explicit Rig(unsigned rate = EmulatedCard::kDefaultOutputRate);
    Signal Render(double seconds);
    // In periods of `period` frames, as an audio output asks for them.
    Signal RenderFrames(size_t frames, size_t period = EmulatedCard::kPreferredPeriod);
    OPL3& Opl3() { return *fm.Opl3; }

    EmulatedCard card;
    AppliedWrites applied{card};
    ScopedPortBackend scope{card};
    FM801 fm{EmulatedCard::kDefaultBase};
};
