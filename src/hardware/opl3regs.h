#pragma once
// The YMF262 (OPL3) register map, drawn once. Index 0x000-0x0FF is bank 0,
// 0x100-0x1FF bank 1 (same layout, channels 9-17 / operators 18-35).
//
//   System
//      BD x------- Tremolo depth (0 = 1 dB, 1 = 4.8 dB)
//         -x------ Vibrato depth (0 = 7 cents, 1 = 14 cents)
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

// System
inline constexpr uint16_t kLfoDepthRegister = 0xBD;
inline constexpr Field kTremoloDepth{7, 1};
inline constexpr Field kVibratoDepth{6, 1};
inline constexpr uint16_t kFourOperatorRegister = 0x104;
inline constexpr Field kFourOperatorPairs{0, 6};
inline constexpr uint16_t kModeRegister = 0x105;
inline constexpr Field kOpl3Mode{0, 1};

// Operator register bases
inline constexpr uint8_t kReg20 = 0x20;
inline constexpr uint8_t kReg40 = 0x40;
inline constexpr uint8_t kReg60 = 0x60;
inline constexpr uint8_t kReg80 = 0x80;
inline constexpr uint8_t kRegE0 = 0xE0;

inline constexpr Field kTremolo{7, 1};
inline constexpr Field kVibrato{6, 1};
inline constexpr Field kHold{5, 1};
inline constexpr Field kRateScaling{4, 1};
inline constexpr Field kMultiplier{0, 4};
inline constexpr Field kLevelScaling{6, 2};
// The chip takes attenuation; this field reads and writes the level.
inline constexpr Field kLevel{0, 6, true};
inline constexpr Field kAttack{4, 4};
inline constexpr Field kDecay{0, 4};
inline constexpr Field kSustain{4, 4};
inline constexpr Field kRelease{0, 4};
inline constexpr Field kWaveform{0, 3};

// Channel register bases
inline constexpr uint8_t kRegA0 = 0xA0;
inline constexpr uint8_t kRegB0 = 0xB0;
inline constexpr uint8_t kRegC0 = 0xC0;

inline constexpr Field kFNumberLow{0, 8};
inline constexpr Field kKeyOn{5, 1};
inline constexpr Field kBlock{2, 3};
inline constexpr Field kFNumberHigh{0, 2};
inline constexpr Field kOutputB{5, 1};
inline constexpr Field kOutputA{4, 1};
inline constexpr Field kFeedback{1, 3};
inline constexpr Field kConnection{0, 1};

static_assert(FillsExactly<uint8_t>(0xFF, kTremolo, kVibrato, kHold, kRateScaling, kMultiplier));
static_assert(FillsExactly<uint8_t>(0xFF, kLevelScaling, kLevel));
static_assert(FillsExactly<uint8_t>(0xFF, kAttack, kDecay));
static_assert(FillsExactly<uint8_t>(0xFF, kSustain, kRelease));
static_assert(FillsExactly<uint8_t>(0x3F, kKeyOn, kBlock, kFNumberHigh));
static_assert(FillsExactly<uint8_t>(0x3F, kOutputB, kOutputA, kFeedback, kConnection));
static_assert(FillsExactly<uint8_t>(0xC0, kTremoloDepth, kVibratoDepth));

} // namespace opl3

// Masks under their earlier names, still used by the emulated card's tests
// and benchmark.
namespace reg {
inline constexpr uint8_t kVibrato = opl3::kVibrato.Mask();
inline constexpr uint8_t kHold = opl3::kHold.Mask();
inline constexpr uint8_t kTlMask = opl3::kLevel.Mask();
inline constexpr uint8_t kKeyOn = opl3::kKeyOn.Mask();
inline constexpr uint8_t kBlockMask = opl3::kBlock.Mask();
inline constexpr uint8_t kFHighMask = opl3::kFNumberHigh.Mask();
} // namespace reg
