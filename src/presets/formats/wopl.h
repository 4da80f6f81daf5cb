#pragma once
// WOPL banks (versions 1-3) and single-instrument OPLI files.
//
// Instrument entry, 62 bytes (66 in WOPL version 3 and later):
//    0  32  name, zero terminated
//   32   2  note offset of the first voice, signed, big-endian
//   34   2  note offset of the second voice (double voice), signed, big-endian
//   36   1  velocity offset, signed
//   37   1  detune of the second voice, signed, in 1/64 semitone
//   38   1  percussion note
//   39   1  flags: 0x01 four-operator, 0x02 double voice, 0x04 blank (no
//           sound), 0x38 rhythm-mode drum
//   40   1  0xC0 of the first channel or voice (feedback, connection)
//   41   1  0xC0 of the second channel or voice
//   42  20  four operators of five bytes, 0x20 0x40 0x60 0x80 0xE0, in the
//           order: first carrier, first modulator, second carrier, second
//           modulator (a four-operator voice's 2, 1, 4, 3)
//   62   4  version 3 and later: two big-endian 16-bit sounding times
//
// WOPL bank:
//    0  11  "WOPL3-BANK" and a zero byte
//   11   2  version, little-endian (1, 2 or 3)
//   13   2  melodic banks M, big-endian
//   15   2  percussion banks P, big-endian
//   17   1  flags: 0x01 deep tremolo, 0x02 deep vibrato
//   18   1  volume model
//   19      version 2 and later: M then P bank names of 34 bytes (32 name, LSB, MSB)
//    then   128 x M melodic entries, then 128 x P percussion entries
//
// OPLI, 76 bytes:
//    0  11  "WOPL3-INST" and a zero byte
//   11   2  version, little-endian
//   13   1  1 for a percussion instrument
//   14  62  the entry
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <vector>

bool IsWopl(std::span<const uint8_t> bytes);
bool IsOpli(std::span<const uint8_t> bytes);

// Every instrument but the blank ones; Index counts all entries, melodic
// banks first. Raises an Error with the reason for a file it refuses.
std::vector<BankInstrument> ReadWopl(std::span<const uint8_t> bytes);
std::vector<BankInstrument> ReadOpli(std::span<const uint8_t> bytes);
