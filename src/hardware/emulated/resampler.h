#pragma once
// Stereo resampler from the chip's rate to the output's: a windowed-sinc FIR
// (Kaiser window) read through a table of phases, interpolated linearly
// between them. Its work is the same for every output frame, so a period
// costs what its length says, and it hands out every frame as soon as the
// input under its filter exists: the delay is half the filter, 24 chip
// samples (0.48 ms) from 44.1 kHz up.
//
// The position of each output frame on the input is kept as an exact
// fraction (inRate / outRate), so the pitch is exact however long it runs.
// From 44.1 kHz up: flat within 0.01 dB to 18 kHz; what lies above 20 kHz
// after the rate change (images and aliases) is at least 84 dB down at
// 44.1 kHz, more above. Lower rates keep 84 % of their Nyquist frequency
// and stop at it, at least 80 dB down, with a filter as long as that takes
// (392 taps, 3.9 ms of delay, at 8 kHz).
#include <cstddef>
#include <cstdint>
#include <memory>

class Resampler {
public:
    static constexpr size_t kShortestFilter = 48; // taps
    static constexpr size_t kLongestFilter = 512;
    static constexpr size_t kPhases = 256;
    // Most output frames one Process call may ask for.
    static constexpr size_t kMaxFrames = 256;

    // Allocates its tables and buffers: not on the audio thread.
    Resampler(unsigned inRate, unsigned outRate);

    unsigned InRate() const { return inRate_; }
    unsigned OutRate() const { return outRate_; }
    // The filter's length in input frames.
    size_t Taps() const { return taps_; }
    // Flat up to here; from here on what the rate change would fold or
    // image into the audible band is stopped.
    double PassbandHz() const { return passbandHz_; }
    double StopbandHz() const { return stopbandHz_; }
    // Most input frames InputFor ever asks for.
    size_t MaxInput() const { return maxInput_; }

    // Input frames that the next `frames` output frames need, beyond those
    // already given.
    size_t InputFor(size_t frames) const;
    // Takes exactly InputFor(frames) interleaved 16-bit input frames and
    // writes `frames` interleaved output frames. frames <= kMaxFrames.
    void Process(const int16_t* in, float* out, size_t frames);
    // Moves on by `frames` output frames of silent input without computing
    // them; returns the input frames that covers. Only on silent history.
    size_t Skip(size_t frames);
    // Silent history, and the next output frame on an input frame.
    void Reset();

private:
    struct Step {
        uint64_t index; // newest input frame the output frame reads
        uint64_t rem;   // fraction past it, in 1/outRate
    };
    Step After(Step s, uint64_t frames) const;

    unsigned inRate_, outRate_;
    size_t taps_;
    double passbandHz_, stopbandHz_;
    size_t maxInput_;
    std::unique_ptr<float[]> table_; // kPhases + 1 rows of taps_, oldest tap first
    std::unique_ptr<float[]> history_[2];
    size_t historyLength_;
    uint64_t base_ = 0; // input frame held in history_[c][0]
    uint64_t have_ = 0; // input frames received, the silent start included
    Step next_{0, 0};   // the next output frame
};
