#pragma once
// The YMF262 (OPL3) register map, drawn once. Index 0x000-0x0FF is bank 0,
// 0x100-0x1FF bank 1 (same layout, channels 9-17 / operators 18-35).
//
//   System
//      08 -x------ Note select (keyboard split)
//      BD x------- Tremolo depth (0 = 1 dB, 1 = 4.8 dB)
//         -x------ Vibrato depth (0 = 7 cents, 1 = 14 cents)
//         --x----- Rhythm mode
//         ---xxxxx Bass drum, snare, tom-tom, cymbal, hi-hat
//     104 --xxxxxx Four-operator pairs 0-3, 1-4, 2-5 of both banks
//     105 -------x OPL3 mode
//   Operator (register base + operator offset)
//   20-35 x------- Tremolo (amplitude modulation)
//         -x------ Vibrato
//         --x----- Envelope type: sustain held
//         ---x---- Key scale rate
//         ----xxxx Frequency multiplier
//   40-55 xx------ Key scale level
//         --xxxxxx Total level (attenuation, 0.75 dB steps): level 63 - TL
//   60-75 xxxx---- Attack rate
//         ----xxxx Decay rate
//   80-95 xxxx---- Sustain level
//         ----xxxx Release rate
//   E0-F5 -----xxx Waveform
//   Channel (register base + channel 0-8)
//   A0-A8 xxxxxxxx F-number bits 0-7
//   B0-B8 --x----- Key on
//         ---xxx-- Block (octave)
//         ------xx F-number bits 8-9
//   C0-C8 --x----- Output B (right)
//         ---x---- Output A (left)
//         ----xxx- Feedback of the channel's first operator
//         -------x Connection
#include "hardware/bitfield.h"

#include <cstdint>

namespace opl3 {

using Field = BitField<uint8_t>;

inline constexpr uint16_t kBank1 = 0x100;

// System registers: number, then the fields of each.
inline constexpr uint16_t kLfoDepthRegister = 0xBD, kFourOperatorRegister = 0x104,
                          kModeRegister = 0x105;
inline constexpr Field kTremoloDepth{7, 1}, kVibratoDepth{6, 1}, kRhythmMode{5, 1}, kDrums{0, 5};
static_assert(FillsExactly<uint8_t>(0xFF, kTremoloDepth, kVibratoDepth, kRhythmMode, kDrums));
inline constexpr uint16_t kNoteSelectRegister = 0x08;
inline constexpr Field kNoteSelect{6, 1};
inline constexpr Field kFourOperatorPairs{0, 6}, kOpl3Mode{0, 1};

// Operator registers: bases, then the fields of each register.
inline constexpr uint8_t kReg20 = 0x20, kReg40 = 0x40, kReg60 = 0x60, kReg80 = 0x80, kRegE0 = 0xE0;
inline constexpr Field kTremolo{7, 1}, kVibrato{6, 1}, kHold{5, 1}, kRateScaling{4, 1},
    kMultiplier{0, 4};
static_assert(FillsExactly<uint8_t>(0xFF, kTremolo, kVibrato, kHold, kRateScaling, kMultiplier));
// The chip takes attenuation; kLevel reads and writes the level.
inline constexpr Field kLevelScaling{6, 2}, kLevel{0, 6, true};
static_assert(FillsExactly<uint8_t>(0xFF, kLevelScaling, kLevel));
inline constexpr Field kAttack{4, 4}, kDecay{0, 4};
static_assert(FillsExactly<uint8_t>(0xFF, kAttack, kDecay));
inline constexpr Field kSustain{4, 4}, kRelease{0, 4};
static_assert(FillsExactly<uint8_t>(0xFF, kSustain, kRelease));
inline constexpr Field kWaveform{0, 3};

// Channel registers: bases, then the fields of each register.
inline constexpr uint8_t kRegA0 = 0xA0, kRegB0 = 0xB0, kRegC0 = 0xC0;
inline constexpr Field kFNumberLow{0, 8};
inline constexpr Field kKeyOn{5, 1}, kBlock{2, 3}, kFNumberHigh{0, 2};
static_assert(FillsExactly<uint8_t>(0x3F, kKeyOn, kBlock, kFNumberHigh));
inline constexpr Field kOutputB{5, 1}, kOutputA{4, 1}, kFeedback{1, 3}, kConnection{0, 1};
static_assert(FillsExactly<uint8_t>(0x3F, kOutputB, kOutputA, kFeedback, kConnection));

} // namespace opl3
