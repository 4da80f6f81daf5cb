#pragma once
// Measurements on rendered interleaved stereo audio.
#include <cstddef>
#include <vector>

struct Signal {
    std::vector<float> samples; // interleaved left, right
    unsigned rate = 0;

    size_t Frames() const { return samples.size() / 2; }
    // channel 0 = left, 1 = right; frames [first, first + count)
    std::vector<double> Channel(int channel, size_t first = 0, size_t count = 0) const;
};

double Rms(const std::vector<double>& x);
double Peak(const std::vector<double>& x);
double Db(double ratio);
// Fundamental of a steady tone, from a least-squares line through the
// interpolated times of its rising zero crossings. 0 when there are too few.
double MeasureFrequency(const std::vector<double>& x, unsigned rate);
double Cents(double measured, double expected);
