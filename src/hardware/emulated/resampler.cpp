#include "hardware/emulated/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Flat to here; and from the frequency that the rate change folds onto
// 20 kHz, the filter stops.
constexpr double kPassbandHz = 18500.0;
constexpr double kAudibleHz = 20000.0;
// Below 44 kHz the audible band is cut at the Nyquist frequency; this much
// of the way there stays flat.
constexpr double kPassShare = 0.42; // of the lower rate
// What a filter longer than the shortest is made long enough to reach.
constexpr double kLongFilterDb = 80.0;
constexpr double kMostDb = 120.0;

double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-12 * sum) break;
    }
    return sum;
}

// Kaiser's estimates, with the transition band in cycles per input frame:
// the stop-band attenuation that `taps` allow, the taps an attenuation
// needs, and the window's beta for it.
double Attenuation(double transition, size_t taps) {
    return 7.95 + 2.285 * 2.0 * M_PI * transition * static_cast<double>(taps - 1);
}

size_t TapsFor(double db, double transition) {
    return static_cast<size_t>(std::ceil((db - 7.95) / (2.285 * 2.0 * M_PI * transition))) + 1;
}

double KaiserBeta(double db) {
    if (db > 50) return 0.1102 * (db - 8.7);
    if (db >= 21) return 0.5842 * std::pow(db - 21, 0.4) + 0.07886 * (db - 21);
    return 0; // the rectangular window: all that so few taps can do
}

struct Design {
    double pass, stop; // Hz
    size_t taps;
    double cutoff; // cycles per input frame, halfway through the transition
    double beta;
};

Design MakeDesign(unsigned inRate, unsigned outRate) {
    Design d{};
    const double lower = std::min(inRate, outRate);
    d.pass = std::min(kPassbandHz, kPassShare * lower);
    // Above 40 kHz what the transition band folds lands above 20 kHz; below,
    // it must stop at the Nyquist frequency.
    d.stop = std::max(d.pass + 0.05 * lower, lower - std::min(kAudibleHz, lower / 2));
    const double transition = (d.stop - d.pass) / inRate;
    const size_t taps = (TapsFor(kLongFilterDb, transition) + 7) / 8 * 8;
    d.taps = std::clamp(taps, Resampler::kShortestFilter, Resampler::kLongestFilter);
    d.cutoff = (d.pass + d.stop) / 2 / inRate;
    d.beta = KaiserBeta(std::min(kMostDb, Attenuation(transition, d.taps)));
    return d;
}
} // namespace

Resampler::Resampler(unsigned inRate, unsigned outRate) : inRate_(inRate), outRate_(outRate) {
    const Design design = MakeDesign(inRate, outRate);
    taps_ = design.taps;
    passbandHz_ = design.pass;
    stopbandHz_ = design.stop;
    maxInput_ = static_cast<size_t>(
        (static_cast<uint64_t>(kMaxFrames) * inRate + outRate - 1) / outRate + 2);
    historyLength_ = taps_ + maxInput_;
    table_ = std::make_unique<float[]>((kPhases + 1) * taps_);
    const double half = static_cast<double>(taps_) / 2.0;
    for (size_t p = 0; p <= kPhases; ++p) {
        // Row p: the taps for an output frame p / kPhases past its newest
        // input frame; tap j reads the input frame taps_ - 1 - j back.
        float* row = &table_[p * taps_];
        double sum = 0;
        for (size_t j = 0; j < taps_; ++j) {
            const double t =
                static_cast<double>(taps_ - 1 - j) + static_cast<double>(p) / kPhases - half;
            const double x = 2 * design.cutoff * t;
            const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            const double r = t / half;
            const double window =
                r * r < 1 ? BesselI0(design.beta * std::sqrt(1 - r * r)) / BesselI0(design.beta)
                          : 0;
            row[j] = static_cast<float>(sinc * window);
            sum += row[j];
        }
        for (size_t j = 0; j < taps_; ++j) // unity gain at DC in every phase
            row[j] = static_cast<float>(row[j] / sum);
    }
    for (auto& h : history_)
        h = std::make_unique<float[]>(historyLength_);
    Reset();
}

void Resampler::Reset() {
    for (auto& h : history_)
        std::fill(h.get(), h.get() + historyLength_, 0.0f);
    // taps_ - 1 silent frames stand before the first real one.
    base_ = 0;
    have_ = taps_ - 1;
    next_ = {taps_ - 1, 0};
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
    base_ = std::min(next_.index, have_) + 1 - taps_; // all of it silent
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

    const size_t taps = taps_;
    for (size_t f = 0; f < frames; ++f) {
        const uint64_t scaled = next_.rem * kPhases;
        const size_t phase = static_cast<size_t>(scaled / outRate_);
        const float between = static_cast<float>(scaled % outRate_) / static_cast<float>(outRate_);
        const float* a = &table_[phase * taps];
        const float* b = a + taps;
        const size_t first = static_cast<size_t>(next_.index - base_) + 1 - taps;
        const float* l = left + first;
        const float* r = right + first;
        float sumL = 0, sumR = 0;
        for (size_t j = 0; j < taps; ++j) {
            const float c = a[j] + between * (b[j] - a[j]);
            sumL += c * l[j];
            sumR += c * r[j];
        }
        out[2 * f] = sumL;
        out[2 * f + 1] = sumR;
        next_ = After(next_, 1);
    }

    // Keep what later frames still read: from taps_ - 1 before the next one.
    const uint64_t keepFrom = std::min(next_.index, have_) + 1 - taps_;
    const size_t drop = static_cast<size_t>(keepFrom - base_);
    const size_t keep = static_cast<size_t>(have_ - keepFrom);
    std::memmove(left, left + drop, keep * sizeof(float));
    std::memmove(right, right + drop, keep * sizeof(float));
    base_ = keepFrom;
}
