// The resampler from the chip's rate on its own, measured with pure tones.
#include "hardware/emulated/resampler.h"
#include "signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr unsigned kChipRate = 49716;

// A tone at the chip's rate through the resampler; the last second.
Signal Resample(unsigned rate, double hz) {
    Resampler resampler(kChipRate, rate);
    Signal s;
    s.rate = rate;
    s.samples.resize(2 * 2 * rate);
    std::vector<int16_t> in(2 * resampler.MaxInput());
    uint64_t n = 0;
    for (size_t done = 0; done < s.Frames();) {
        const size_t frames = std::min<size_t>(Resampler::kMaxFrames, s.Frames() - done);
        const size_t input = resampler.InputFor(frames);
        for (size_t i = 0; i < input; ++i, ++n) {
            const auto v = static_cast<int16_t>(16000 * std::sin(2 * M_PI * hz * n / kChipRate));
            in[2 * i] = in[2 * i + 1] = v;
        }
        resampler.Process(in.data(), &s.samples[2 * done], frames);
        done += frames;
    }
    s.samples.erase(s.samples.begin(), s.samples.begin() + 2 * rate);
    return s;
}

TEST(Resampler, PassbandIsFlatTo18kHzAndThePitchExact) {
    for (unsigned rate : {44100u, 48000u, 96000u}) {
        const double reference = Rms(Resample(rate, 1000).Channel(0));
        for (double hz : {100.0, 1000.0, 5000.0, 12000.0, 18000.0}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, tone " << hz);
            const Signal s = Resample(rate, hz);
            EXPECT_NEAR(Db(Rms(s.Channel(0)) / reference), 0.0, 0.05);
            EXPECT_NEAR(Db(Rms(s.Channel(1)) / reference), 0.0, 0.05);
            EXPECT_NEAR(Cents(MeasureFrequency(s.Channel(0), rate), hz), 0.0, 0.01);
        }
    }
}

// Amplitude of one frequency in x (Hann window, so a loud tone elsewhere
// does not leak into it).
double Amplitude(const std::vector<double>& x, unsigned rate, double hz) {
    double re = 0, im = 0, weight = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * n / x.size());
        re += w * x[n] * std::cos(2 * M_PI * hz * n / rate);
        im += w * x[n] * std::sin(2 * M_PI * hz * n / rate);
        weight += w;
    }
    return 2 * std::hypot(re, im) / weight;
}

TEST(Resampler, NothingFoldsIntoTheAudibleBand) {
    // What the rate change folds below 20 kHz: an image of the tone around
    // the chip's rate, or the tone itself when it lies above the output's
    // Nyquist frequency.
    struct Case {
        unsigned rate;
        double tone, folded;
    };
    const Case cases[] = {{48000, 12000, 10284}, {44100, 12000, 6384}, {44100, 24500, 19600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, tone " << c.tone);
        const Signal s = Resample(c.rate, c.tone);
        EXPECT_LT(Db(Amplitude(s.Channel(0), c.rate, c.folded) / (16000 / 32768.0)), -80.0);
    }
}

} // namespace
