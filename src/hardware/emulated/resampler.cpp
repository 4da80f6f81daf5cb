#include "hardware/emulated/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Flat to here; and from the frequency that the rate change folds onto
// 20 kHz, the filter stops.
constexpr double kPassbandHz = 18500.0;
constexpr double kAudibleHz = 20000.0;

double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-12 * sum) break;
    }
    return sum;
}

// Kaiser's estimates: the stopband attenuation the taps allow over the
// transition band, and the window's beta for it.
double KaiserBeta(double transition) {
    const double attenuation =
        std::min(120.0, 7.95 + 2.285 * 2.0 * M_PI * transition * (Resampler::kTaps - 1));
    return attenuation > 50
               ? 0.1102 * (attenuation - 8.7)
               : 0.5842 * std::pow(attenuation - 21, 0.4) + 0.07886 * (attenuation - 21);
}
} // namespace

Resampler::Resampler(unsigned inRate, unsigned outRate)
    : inRate_(inRate), outRate_(outRate),
      maxInput_(static_cast<size_t>(
          (static_cast<uint64_t>(kMaxFrames) * inRate + outRate - 1) / outRate + 2)),
      table_(std::make_unique<float[]>((kPhases + 1) * kTaps)), historyLength_(kTaps + maxInput_) {
    // Cut-off in cycles per input frame, halfway through the transition.
    const double lower = std::min(inRate, outRate);
    const double pass = std::min(kPassbandHz, 0.42 * lower);
    const double stop = std::max(pass + 0.05 * lower, lower - std::min(kAudibleHz, lower / 2));
    const double cutoff = (pass + stop) / 2 / inRate;
    const double beta = KaiserBeta((stop - pass) / inRate);
    const double half = kTaps / 2.0;
    for (size_t p = 0; p <= kPhases; ++p) {
        // Row p: the taps for an output frame p / kPhases past its newest
        // input frame; tap j reads the input frame kTaps - 1 - j back.
        float* row = &table_[p * kTaps];
        double sum = 0;
        for (size_t j = 0; j < kTaps; ++j) {
            const double t =
                static_cast<double>(kTaps - 1 - j) + static_cast<double>(p) / kPhases - half;
            const double x = 2 * cutoff * t;
            const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            const double r = t / half;
            const double window =
                r * r < 1 ? BesselI0(beta * std::sqrt(1 - r * r)) / BesselI0(beta) : 0;
            row[j] = static_cast<float>(sinc * window);
            sum += row[j];
        }
        for (size_t j = 0; j < kTaps; ++j) // unity gain at DC in every phase
            row[j] = static_cast<float>(row[j] / sum);
    }
    for (auto& h : history_)
        h = std::make_unique<float[]>(historyLength_);
    Reset();
}

void Resampler::Reset() {
    for (auto& h : history_)
        std::fill(h.get(), h.get() + historyLength_, 0.0f);
    // kTaps - 1 silent frames stand before the first real one.
    base_ = 0;
    have_ = kTaps - 1;
    next_ = {kTaps - 1, 0};
}

Resampler::Step Resampler::After(Step s, uint64_t frames) const {
    const uint64_t total = s.rem + frames * inRate_;
    return {s.index + total / outRate_, total % outRate_};
}

size_t Resampler::InputFor(size_t frames) const {
    if (frames == 0) return 0;
    const Step last = After(next_, frames - 1);
    return last.index + 1 > have_ ? static_cast<size_t>(last.index + 1 - have_) : 0;
}

size_t Resampler::Skip(size_t frames) {
    const size_t input = InputFor(frames);
    next_ = After(next_, frames);
    have_ += input;
    base_ = std::min(next_.index, have_) + 1 - kTaps; // all of it silent
    return input;
}

void Resampler::Process(const int16_t* in, float* out, size_t frames) {
    const size_t input = InputFor(frames);
    float* left = history_[0].get();
    float* right = history_[1].get();
    const size_t at = static_cast<size_t>(have_ - base_);
    constexpr float kScale = 1.0f / 32768.0f;
    for (size_t i = 0; i < input; ++i) {
        left[at + i] = kScale * static_cast<float>(in[2 * i]);
        right[at + i] = kScale * static_cast<float>(in[2 * i + 1]);
    }
    have_ += input;

    for (size_t f = 0; f < frames; ++f) {
        const uint64_t scaled = next_.rem * kPhases;
        const size_t phase = static_cast<size_t>(scaled / outRate_);
        const float between = static_cast<float>(scaled % outRate_) / static_cast<float>(outRate_);
        const float* a = &table_[phase * kTaps];
        const float* b = a + kTaps;
        const size_t first = static_cast<size_t>(next_.index - base_) + 1 - kTaps;
        const float* l = left + first;
        const float* r = right + first;
        float sumL = 0, sumR = 0;
        for (size_t j = 0; j < kTaps; ++j) {
            const float c = a[j] + between * (b[j] - a[j]);
            sumL += c * l[j];
            sumR += c * r[j];
        }
        out[2 * f] = sumL;
        out[2 * f + 1] = sumR;
        next_ = After(next_, 1);
    }

    // Keep what later frames still read: from kTaps - 1 before the next one.
    const uint64_t keepFrom = std::min(next_.index, have_) + 1 - kTaps;
    const size_t drop = static_cast<size_t>(keepFrom - base_);
    const size_t keep = static_cast<size_t>(have_ - keepFrom);
    std::memmove(left, left + drop, keep * sizeof(float));
    std::memmove(right, right + drop, keep * sizeof(float));
    base_ = keepFrom;
}
