#include "bandprint.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr size_t kFrame = 2048;
constexpr size_t kHop = 512;
constexpr double kStretchEnds[] = {0.1, 0.3, 0.6, 1e9};
constexpr size_t kStretches = std::size(kStretchEnds);
constexpr int kBands = 23; // 50 Hz * 2^(k/3), k = 0..22
constexpr double kFloorDb = -60;

void Fft(std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const auto a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
}

int BandOf(double hz) {
    const double k = std::round(3 * std::log2(hz / 50.0));
    return (k < 0 || k >= kBands) ? -1 : static_cast<int>(k);
}

} // namespace

SpectralPrint Print(const std::vector<double>& mono, unsigned rate) {
    std::vector<double> power(kStretches * kBands, 0);
    std::vector<int> frames(kStretches, 0);
    double weighted = 0, total = 0;
    for (size_t start = 0; start + kFrame <= mono.size(); start += kHop) {
        const double centre = static_cast<double>(start + kFrame / 2) / rate;
        const size_t stretch =
            std::upper_bound(std::begin(kStretchEnds), std::end(kStretchEnds), centre) -
            std::begin(kStretchEnds);
        std::vector<std::complex<double>> x(kFrame);
        for (size_t i = 0; i < kFrame; ++i)
            x[i] = mono[start + i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / kFrame));
        Fft(x);
        ++frames[stretch];
        for (size_t bin = 1; bin < kFrame / 2; ++bin) {
            const double hz = static_cast<double>(bin) * rate / kFrame;
            const double p = std::norm(x[bin]);
            weighted += hz * p;
            total += p;
            if (const int band = BandOf(hz); band >= 0) power[stretch * kBands + band] += p;
        }
    }
    SpectralPrint print;
    print.centroidHz = total > 0 ? weighted / total : 0;
    for (size_t s = 0; s < kStretches; ++s)
        for (int b = 0; b < kBands; ++b)
            power[s * kBands + b] /= std::max(frames[s], 1);
    const double loudest = *std::max_element(power.begin(), power.end());
    for (double p : power)
        print.levels.push_back(
            loudest > 0 ? std::max(kFloorDb, 10 * std::log10(p / loudest + 1e-30)) : kFloorDb);
    return print;
}

double SpectralDistance(const SpectralPrint& a, const SpectralPrint& b) {
    double sum = 0;
    for (size_t i = 0; i < a.levels.size(); ++i)
        sum += (a.levels[i] - b.levels[i]) * (a.levels[i] - b.levels[i]);
    return std::sqrt(sum / static_cast<double>(a.levels.size()));
}

double AttackSeconds(const std::vector<double>& mono, unsigned rate) {
    const size_t block = rate / 100;
    std::vector<double> levels;
    for (size_t start = 0; start + block <= mono.size(); start += block) {
        double sum = 0;
        for (size_t i = start; i < start + block; ++i)
            sum += mono[i] * mono[i];
        levels.push_back(sum);
    }
    if (levels.empty()) return 0;
    const double threshold = *std::max_element(levels.begin(), levels.end()) / 2; // -3 dB
    const auto first = std::find_if(levels.begin(), levels.end(),
                                    [threshold](double l) { return l >= threshold; });
    return static_cast<double>(first - levels.begin()) * block / rate;
}

double LoudestRms(const std::vector<double>& mono, unsigned rate, double seconds) {
    const size_t length = static_cast<size_t>(seconds * rate), step = rate / 100;
    double loudest = 0;
    for (size_t start = 0; start + length <= mono.size(); start += step) {
        double sum = 0;
        for (size_t i = start; i < start + length; ++i)
            sum += mono[i] * mono[i];
        loudest = std::max(loudest, sum / static_cast<double>(length));
    }
    return std::sqrt(loudest);
}
