#pragma once
// TMB timbre banks: no header and no names; 256 instruments of 13 bytes,
// 128 melodic, then 128 percussion (by MIDI key), 3328 bytes in all.
//
//    0 11  the timbre: 0x20 0x40 0x60 0x80 0xE0 of modulator and carrier
//          interleaved (modulator first), then 0xC0
//   11  1  signed: the note offset of a melodic instrument, the note a
//          percussion instrument plays
//   12  1  velocity offset, signed
#include "presets/formats/bankinstrument.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

constexpr size_t kTmbFileSize = 256 * 13;

// Without a magic, a TMB file is known by its size.
bool IsTmb(std::span<const uint8_t> bytes);

// All 256 instruments, named by their numbers. Raises an Error with the
// reason for a file it refuses.
std::vector<BankInstrument> ReadTmb(std::span<const uint8_t> bytes);
