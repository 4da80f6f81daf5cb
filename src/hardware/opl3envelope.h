#pragma once
// What the chip's envelope and level fields mean in time and decibels,
// from the chip's published tables. No Qt.
//
// An envelope phase runs at an effective rate 0..63: four times its 4-bit
// field, plus a key-scale offset that grows with the note (all of the
// key-scale number 0..15 with rate scaling on, its top two bits without).
// Field value 0 never moves, whatever the key.
#include <cstdint>

namespace opl3 {

// The effective rate of an attack, decay or release field at a key-scale number.
int EnvelopeRate(int value, int keyScale, bool rateScaling);

// Attack from silence to full level, in ms: infinite below rate 4, 0 (at
// once) from rate 60.
double AttackMs(int rate);
// Decay or release over the whole range, full level to -96 dB, in ms:
// infinite below rate 4. The fall is even in dB, so a part of the range
// takes its share of this time.
double DecayMs(int rate);

// Sustain level field 0..15 in dB below full level: 3 dB a step, and 15 is -93 dB.
double SustainDb(int level);
// Total level 0..63 in dB below full level: 0.75 dB a step.
double TotalLevelDb(int totalLevel);
// Key scaling of level by field value 0..3, in dB per octave: the chip
// takes 1 as 3 dB and 2 as 1.5 dB.
double LevelScalingDbPerOctave(int value);
// The frequency multiplier of field value 0..15: 0.5, then 1 to 10, 10,
// 12, 12, 15, 15 (the chip has no 11, 13 or 14).
double Multiplier(int value);

// The two low-frequency oscillators, at the chip's own clock.
inline constexpr double kTremoloHz = 3.7, kVibratoHz = 6.1;

} // namespace opl3
