#pragma once
// The arithmetic of playing: cents of a tuning text and of a bend, the
// level of a note's velocity, the preset a step lands on, the chord. No Qt.
#include "presets/patchrecord.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>

// A major triad: the third and the fifth, started before the root.
inline constexpr std::array<int, 2> kChordIntervals = {4, 7};

// Cents add up in 32 bits: a sum beyond the range stays at its end.
constexpr int32_t AddCents(int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + b;
    if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(sum);
}

// A tuning text plus the transpose text, each read like a decimal prefix.
inline int32_t VoiceCents(const std::string& tuning, const std::string& transpose) {
    return AddCents(ParseCents(tuning), ParseCents(transpose));
}

// The upper seven bits of a bend: 64 is the centre, 0 gives -100 cents and
// 127 +98. (d - 64) * 1.5625 is exact in binary, so integer division, which
// cuts toward zero, gives the same.
constexpr int32_t BendCents(uint8_t data2) {
    return (int32_t{data2} - 64) * 25 / 16;
}

// The bend's range either way, in cents. At the default a bend reads only
// its upper seven bits, as above; any other range reads all fourteen.
inline constexpr int32_t kDefaultBendRange = 100;
inline constexpr int32_t kMaxBendRange = 2400; // two octaves

// Fourteen bits, 8192 the centre: 0 bends by -range and 16383 by +range,
// each half scaled on its own, cut toward zero.
constexpr int32_t BendCents(uint8_t data1, uint8_t data2, int32_t range) {
    if (range == kDefaultBendRange) return BendCents(data2);
    const int32_t offset = (int32_t{data2} << 7 | (data1 & 0x7F)) - 8192;
    return offset * range / (offset > 0 ? 8191 : 8192);
}

// Registered parameter 0, the bend range: data entry's upper byte gives
// semitones and keeps no cents, its lower byte the cents above them.
constexpr int32_t BendRangeFromSemitones(uint8_t semitones) {
    return semitones > kMaxBendRange / 100 ? kMaxBendRange : int32_t{semitones} * 100;
}
constexpr int32_t BendRangeWithCents(int32_t range, uint8_t cents) {
    const int32_t sum = range / 100 * 100 + (cents > 99 ? 99 : cents);
    return sum > kMaxBendRange ? kMaxBendRange : sum;
}

// An operator's level at a velocity: its volume (0..63) is the level at 127.
constexpr uint8_t VelocityLevel(uint8_t volume, uint8_t velocity) {
    return static_cast<uint8_t>(unsigned{volume} * velocity / 127);
}

// The preset a relative step selects, wrapping at both ends; selected is -1
// when no item is selected. -1 when the list is empty.
constexpr int PresetStep(int selected, int8_t step, int count) {
    if (count <= 0) return -1;
    const int index = selected + step;
    if (index < 0) return count - 1;
    if (index >= count) return 0;
    return index;
}

// A controller value 0..127 spread over a list's items; 127 is the last item.
constexpr int ListItemFromController(uint8_t value, int items) {
    if (items <= 0) return -1;
    const int index = items * int{value} / 127;
    return index < items ? index : items - 1;
}
