#pragma once
// SBI instrument files and the collections made of them laid end to end.
// Every record starts with a magic of three characters and one byte that is
// not examined (0x1A, or another byte in some files), then a 32-byte name,
// zero terminated:
//
// "SBI": the 52-byte two-operator instrument. 36-51 the 16-byte timbre (see
//        formatbytes.h), whose last bytes may be missing in a file of its
//        own: 47 to 52 bytes.
// "2OP": a two-operator instrument as this program's 2op presets hold it,
//        52 bytes with the timbre at 36; or, in collections of OPL3 records,
//        60 bytes: two 11-byte timbres at 36 and 47, two unused bytes. A
//        60-byte record whose second timbre is not all zero is two
//        two-operator voices (2x2 operators), each with its own 0xC0 byte.
// "4OP": the 60-byte four-operator instrument, as this program's 4op
//        presets hold it: the timbre of operators 1-2 at 36, of operators
//        3-4 at 47 (its 0xC0 gives only the connection bit), two unused bytes.
//
// A record's length follows from its magic and from where the next record
// begins: a 2OP record is 52 bytes long when a record or the end follows
// there, and 60 otherwise.
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <vector>

bool IsSbi(std::span<const uint8_t> bytes);

// Every record, in file order. Raises an Error with the reason for a file it
// refuses.
std::vector<BankInstrument> ReadSbi(std::span<const uint8_t> bytes);
