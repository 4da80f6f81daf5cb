#pragma once
// IBK instrument banks: 128 named instruments, 3204 bytes.
//
//      0     4  "IBK" 0x1A
//      4  2048  128 timbres of 16 bytes (see formatbytes.h: the SBI timbre)
//   2052  1152  128 names of 9 bytes, zero terminated
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <vector>

bool IsIbk(std::span<const uint8_t> bytes);

// All 128 instruments. Raises an Error with the reason for a file it refuses.
std::vector<BankInstrument> ReadIbk(std::span<const uint8_t> bytes);
