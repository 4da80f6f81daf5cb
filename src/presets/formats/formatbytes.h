#pragma once
// What every bank reader needs: bounded reads that refuse with a reason,
// names as the file holds them, and the register images of the layouts that
// several formats share.
#include "presets/formats/bankinstrument.h"
#include "presets/presetfile.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace bankbytes {

using Bytes = std::span<const uint8_t>;

// bytes[offset, offset + size), or an Error "<what>: the file ends at byte N".
Bytes Slice(Bytes bytes, size_t offset, size_t size, std::string_view what);

// Up to the first zero byte, control characters taken out, blanks at either
// end trimmed; every other byte kept as it is.
std::string CleanName(Bytes field);

// Whether bytes begin with the given text (its characters, no terminator).
bool StartsWith(Bytes bytes, std::string_view text);

// The 11-byte timbre of SBI, IBK, TMB and CMF, the pair block of this
// program's presets: Reg20, Reg40, Reg60, Reg80, RegE0 of modulator and
// carrier interleaved, then the 0xC0 byte.
//   0 20 mod   1 20 car   2 40 mod   3 40 car   4 60 mod   5 60 car
//   6 80 mod   7 80 car   8 E0 mod   9 E0 car  10 C0
constexpr size_t kTimbreSize = kPairBlockSize;
OperatorPair PairFromTimbre(Bytes timbre);

// The 16-byte timbre of SBI and IBK files: the 11 bytes above, then
//   11  percussion voice: 6 bass drum, 7 snare, 8 tom, 9 cymbal, 10 hi-hat;
//       anything else is a melodic instrument
//   12  note offset, signed
//   13  the note a percussion voice plays (0: none given)
//   14  2 unused
// A timbre cut short after its 11 register bytes (SBI files without their
// padding) gives a melodic instrument with no offset.
constexpr size_t kSbTimbreSize = 16;
BankInstrument FromSbTimbre(Bytes timbre);

// The 0xC0 bits an instrument keeps: feedback and connection.
uint8_t FeedbackAndConnection(uint8_t regC0);

} // namespace bankbytes
