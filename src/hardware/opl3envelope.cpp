#include "hardware/opl3envelope.h"

#include <algorithm>
#include <array>
#include <limits>

namespace opl3 {

namespace {

constexpr int kTopRate = 63;
// Rates 4-7 (field value 1), the four key-scale offsets, in ms; each step
// of the field halves them. Attack: 0 to 100 %; decay: 0 to -96 dB.
constexpr std::array<double, 4> kAttackRow1 = {2826.24, 2252.80, 1884.16, 1597.44};
constexpr std::array<double, 4> kDecayRow1 = {39280.64, 31416.32, 26173.44, 22446.08};
// From rate 60 on, the chip runs at its fastest: attack at once, decay at
// the speed of rate 60.
constexpr int kFastestRow = 15;

double FromRow1(const std::array<double, 4>& row1, int rate) {
    const int row = rate / 4;
    return row1[static_cast<size_t>(rate % 4)] / static_cast<double>(1 << (row - 1));
}

} // namespace

int EnvelopeRate(int value, int keyScale, bool rateScaling) {
    if (value <= 0) return 0;
    const int offset = rateScaling ? keyScale : keyScale >> 2;
    return std::min(kTopRate, value * 4 + offset);
}

double AttackMs(int rate) {
    if (rate < 4) return std::numeric_limits<double>::infinity();
    if (rate / 4 >= kFastestRow) return 0;
    return FromRow1(kAttackRow1, rate);
}

double DecayMs(int rate) {
    if (rate < 4) return std::numeric_limits<double>::infinity();
    return FromRow1(kDecayRow1, std::min(rate, kFastestRow * 4));
}

double SustainDb(int level) {
    return level >= 15 ? -93.0 : -3.0 * level;
}

double TotalLevelDb(int totalLevel) {
    return -0.75 * totalLevel;
}

double LevelScalingDbPerOctave(int value) {
    constexpr std::array<double, 4> kSlopes = {0.0, 3.0, 1.5, 6.0};
    return kSlopes[static_cast<size_t>(value & 3)];
}

double Multiplier(int value) {
    constexpr std::array<double, 16> kMultipliers = {0.5, 1, 2,  3,  4,  5,  6,  7,
                                                     8,   9, 10, 10, 12, 12, 15, 15};
    return kMultipliers[static_cast<size_t>(value & 15)];
}

} // namespace opl3
