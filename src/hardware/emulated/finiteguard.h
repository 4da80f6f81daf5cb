#pragma once
// The output's last guard: a sample that is not a finite number (NaN or an
// infinity, from a fault anywhere upstream) becomes silence before a sound
// server or a file gets it, and before the AC coupling keeps it for ever.
// No branch: it costs the same on every sample.
#include <bit>
#include <cstdint>

inline float FiniteOrSilence(float x) {
    constexpr uint32_t kExponent = 0x7F800000u; // all ones only in NaN and infinities
    const auto bits = std::bit_cast<uint32_t>(x);
    const uint32_t keep = 0u - static_cast<uint32_t>((bits & kExponent) != kExponent);
    return std::bit_cast<float>(bits & keep);
}
