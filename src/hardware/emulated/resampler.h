#pragma once
// Stereo resampler from the chip's rate to the output's: a windowed-sinc FIR
// (Kaiser window) read through a table of phases, interpolated linearly
// between them. Its work is the same for every output frame, so a period
// costs what its length says, and it hands out every frame as soon as the
// input under its filter exists: the delay is half the filter, 24 chip
// samples (0.48 ms).
//
// The position of each output frame on the input is kept as an exact
// fraction (inRate / outRate), so the pitch is exact however long it runs.
// Flat within 0.01 dB to 18 kHz; what lies above 20 kHz after the rate
// change (images and aliases) is at least 84 dB down at 44.1 kHz, more above.
#include <cstddef>
#include <cstdint>
#include <memory>

class Resampler {
public:
    static constexpr size_t kTaps = 48;
    static constexpr size_t kPhases = 256;
    // Most output frames one Process call may ask for.
    static constexpr size_t kMaxFrames = 256;

    // Allocates its tables and buffers: not on the audio thread.
    Resampler(unsigned inRate, unsigned outRate);

    unsigned InRate() const { return inRate_; }
    unsigned OutRate() const { return outRate_; }
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
    size_t maxInput_;
    std::unique_ptr<float[]> table_; // kPhases + 1 rows of kTaps, oldest tap first
    std::unique_ptr<float[]> history_[2];
    size_t historyLength_;
    uint64_t base_ = 0; // input frame held in history_[c][0]
    uint64_t have_ = 0; // input frames received, the silent start included
    Step next_{0, 0};   // the next output frame
};
