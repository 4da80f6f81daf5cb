// The resampler from the chip's rate on its own, measured with pure tones.
#include "hardware/emulated/resampler.h"
#include "signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr unsigned kChipRate = 49716;
constexpr double kToneLevel = 16000 / 32768.0;

// A tone at the chip's rate through the resampler: `seconds` of it, after
// `settle` seconds that fill the filter.
Signal Resample(unsigned rate, double hz, double seconds = 1, double settle = 1) {
    Resampler resampler(kChipRate, rate);
    Signal s;
    s.rate = rate;
    const auto skipped = static_cast<size_t>(settle * rate);
    s.samples.resize(2 * (skipped + static_cast<size_t>(seconds * rate)));
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
    s.samples.erase(s.samples.begin(), s.samples.begin() + 2 * skipped);
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

// Every rate a sound server or --rate may ask for, through each branch of
// the filter's design: the long filters below 44 kHz, the stop at the
// Nyquist frequency below 40 kHz, the fixed pass band above 44 kHz, and
// the rates above the chip's.
std::vector<unsigned> EveryRate() {
    std::vector<unsigned> rates;
    for (unsigned rate = 8000; rate <= 192000; rate += 1000)
        rates.push_back(rate);
    for (unsigned rate : {8001u, 11025u, 12018u, 12019u, 22050u, 39999u, 44047u, 44049u, 49715u,
                          49716u, 49717u, 88200u, 191999u})
        rates.push_back(rate);
    return rates;
}

TEST(Resampler, EveryRateKeepsPitchAndLevelAndGivesOnlyFiniteSamples) {
    for (unsigned rate : EveryRate()) {
        SCOPED_TRACE(testing::Message() << rate << " Hz");
        const Signal s = Resample(rate, 1000, 0.25, 0.05);
        const auto bad = std::count_if(s.samples.begin(), s.samples.end(),
                                       [](float v) { return !std::isfinite(v); });
        ASSERT_EQ(bad, 0) << "non-finite samples";
        for (int side = 0; side < 2; ++side) {
            const std::vector<double> x = s.Channel(side);
            EXPECT_NEAR(Db(Rms(x) * std::sqrt(2.0) / kToneLevel), 0.0, 0.05);
            EXPECT_LT(Peak(x), 1.01 * kToneLevel);
            EXPECT_NEAR(Cents(MeasureFrequency(x, rate), 1000), 0.0, 0.01);
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
        EXPECT_LT(Db(Amplitude(s.Channel(0), c.rate, c.folded) / kToneLevel), -80.0);
    }
}

// Where a frequency of the continuous signal lands once sampled at `rate`.
double Folded(double hz, unsigned rate) {
    const double f = std::fmod(hz, static_cast<double>(rate));
    return std::min(f, rate - f);
}

struct Response {
    double rippleDb = 0;  // widest spread of the gain over the pass band
    double stopDb = -300; // the loudest thing the filter should have stopped
};

// Tones across the pass band, and across the chip's whole band: every image
// and alias the filter should stop, where it lands in the output. Those
// landing above 20 kHz are let be where the rate leaves room for them.
Response Measure(unsigned rate) {
    const Resampler design(kChipRate, rate);
    const double pass = design.PassbandHz(), stop = design.StopbandHz();
    const double audible = rate > kChipRate ? rate / 2.0 : std::min(20000.0, rate / 2.0);
    Response r;
    double lowest = 1e9, highest = -1e9;
    constexpr int kTones = 40;
    for (int i = 1; i < kTones; ++i) {
        const double tone = i * (kChipRate / 2.0) / kTones + 37; // off any round ratio
        if (tone > pass && tone < stop) continue;                // the transition band: neither
        const std::vector<double> x = Resample(rate, tone, 0.2, 0.05).Channel(0);
        const bool passes = tone <= pass;
        if (passes) {
            const double gain = Db(Amplitude(x, rate, tone) / kToneLevel);
            lowest = std::min(lowest, gain);
            highest = std::max(highest, gain);
        }
        for (int k = 0; k <= 3; ++k) {
            for (double image : {k * double{kChipRate} - tone, k * double{kChipRate} + tone}) {
                const double at = Folded(image, rate);
                if (image < stop || at >= audible) continue;
                if (passes && std::fabs(at - tone) < 500) continue; // under the tone's skirt
                r.stopDb = std::max(r.stopDb, Db(Amplitude(x, rate, at) / kToneLevel));
            }
        }
    }
    r.rippleDb = highest - lowest;
    return r;
}

TEST(Resampler, PassbandIsFlatAndTheStopbandDeepAtEveryKindOfRate) {
    struct Case {
        unsigned rate;
        double rippleDb, stopDb;
    };
    const Case cases[] = {
        {8000, 0.01, -80},  {11025, 0.01, -80},  {44100, 0.01, -83.5},
        {48000, 0.01, -84}, {192000, 0.01, -84},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz");
        const Response r = Measure(c.rate);
        const Resampler design(kChipRate, c.rate);
        std::printf("%6u Hz: %3zu taps, flat to %5.0f Hz within %.4f dB, stops from %5.0f Hz: "
                    "%.1f dB at worst\n",
                    c.rate, design.Taps(), design.PassbandHz(), r.rippleDb, design.StopbandHz(),
                    r.stopDb);
        EXPECT_LT(r.rippleDb, c.rippleDb);
        EXPECT_LT(r.stopDb, c.stopDb);
    }
}

} // namespace
