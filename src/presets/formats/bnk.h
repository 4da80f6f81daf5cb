#pragma once
// AdLib BNK instrument banks: a header, a list of names, a table of
// parameters. All numbers little-endian.
//
// Header, 28 bytes:
//    0  1  major version        1  1  minor version
//    2  6  "ADLIB-"
//    8  2  names in use         10  2  names in the file (N)
//   12  4  where the names start
//   16  4  where the parameters start
//   20  8  zero
// Name, 12 bytes each, N of them:
//    0  2  index of its parameters
//    2  1  0 when the name is not in use
//    3  9  name, zero terminated
// Parameters, 30 bytes each:
//    0  1  0 melodic, 1 percussive     1  1  percussion voice
//    2 13  modulator                  15 13  carrier
//   28  1  modulator waveform         29  1  carrier waveform
// An operator's 13 bytes, one field each:
//    0 key scale level   1 multiplier   2 feedback (modulator's counts)
//    3 attack   4 sustain level   5 sustaining (1: held)   6 decay   7 release
//    8 total level (attenuation)   9 tremolo   10 vibrato   11 rate scaling
//   12 connection (modulator's counts): 1 FM, 0 additive
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <vector>

bool IsBnk(std::span<const uint8_t> bytes);

// The instruments whose names are in use; Index is the place of the name.
// Raises an Error with the reason for a file it refuses.
std::vector<BankInstrument> ReadBnk(std::span<const uint8_t> bytes);
