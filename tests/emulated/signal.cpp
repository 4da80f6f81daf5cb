#include "signal.h"

#include <algorithm>
#include <cmath>

std::vector<double> Signal::Channel(int channel, size_t first, size_t count) const {
    if (count == 0) count = Frames() - first;
    std::vector<double> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = samples[2 * (first + i) + static_cast<size_t>(channel)];
    return x;
}

double Rms(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x)
        sum += v * v;
    return x.empty() ? 0 : std::sqrt(sum / static_cast<double>(x.size()));
}

double Peak(const std::vector<double>& x) {
    double peak = 0;
    for (double v : x)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}

double MeasureFrequency(const std::vector<double>& x, unsigned rate) {
    // Hysteresis keeps quantization wiggles near zero from counting twice.
    const double threshold = 0.05 * Peak(x);
    std::vector<double> crossings;
    bool armed = false;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i] < -threshold) armed = true;
        if (armed && x[i - 1] < 0 && x[i] >= 0) {
            crossings.push_back(static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]));
            armed = false;
        }
    }
    const size_t n = crossings.size();
    if (n < 3) return 0;
    double sumK = 0, sumT = 0;
    for (size_t k = 0; k < n; ++k) {
        sumK += static_cast<double>(k);
        sumT += crossings[k];
    }
    const double meanK = sumK / n, meanT = sumT / n;
    double num = 0, den = 0;
    for (size_t k = 0; k < n; ++k) {
        num += (static_cast<double>(k) - meanK) * (crossings[k] - meanT);
        den += (static_cast<double>(k) - meanK) * (static_cast<double>(k) - meanK);
    }
    const double period = num / den; // in samples
    return rate / period;
}

double Cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}
