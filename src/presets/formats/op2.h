#pragma once
// OP2 banks: the 175 General MIDI instruments of a DOS sound library, 128
// melodic ones, then 47 percussion ones for keys 35-81.
//
//      0     8  "#OPL_II#"
//      8  6300  175 instruments of 36 bytes
//   6308  5600  175 names of 32 bytes, zero terminated
//
// Instrument:
//    0  2  flags, little-endian: 0x01 fixed note, 0x04 double voice
//    2  1  fine tune of the second voice: 128 is none, a step 1/64 semitone
//    3  1  the note of a fixed-note instrument
//    4 16  first voice
//   20 16  second voice
// Voice:
//    0 modulator 0x20    1 modulator 0x60    2 modulator 0x80    3 modulator 0xE0
//    4 modulator key scale level (bits 6-7 of 0x40)   5 modulator level (bits 0-5)
//    6 0xC0 (feedback, connection)
//    7 carrier 0x20      8 carrier 0x60      9 carrier 0x80     10 carrier 0xE0
//   11 carrier key scale level                       12 carrier level
//   13 unused            14-15 note offset, signed, little-endian
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <vector>

bool IsOp2(std::span<const uint8_t> bytes);

// All 175 instruments. Raises an Error with the reason for a file it refuses.
std::vector<BankInstrument> ReadOp2(std::span<const uint8_t> bytes);
