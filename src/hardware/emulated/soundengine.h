#pragma once
// The sound of the emulated card, one period at a time: the OPL3 (the Nuked
// core) at its own rate of 49716 Hz, the resampler to the output's rate and
// the card's output stage (a fixed gain, its volume register, AC coupling).
//
// A period costs what its length says: the register writes queued before it
// reach the chip first, then just the chip samples its frames need are
// rendered and resampled at once. A write queued before a period starts is
// heard in that period, half a resampler filter (0.48 ms) after its start.
//
// Quiet idle: once the chip is provably silent (every operator that reaches
// an output released and down at its floor, no write) and the resampler has
// played out, a period renders nothing. The next write wakes it: the chip is first moved on in
// one step by the time it slept, and the resampler starts afresh, so a note
// sounds as it would on a card that never slept.
//
// Whoever calls a member owns the engine for that call; the card sees to it
// that one thread at a time does.
#include "hardware/emulated/audiooutput.h"
#include "hardware/emulated/registerqueue.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class Resampler;
struct _opl3_chip;

// Sees every register write as it reaches the chip (tests record them).
struct WriteTap {
    void (*applied)(void* context, RegisterWrite write) = nullptr;
    void* context = nullptr;
};

class SoundEngine {
public:
    static constexpr unsigned kChipRate = 49716;
    // One operator at full level is about -18 dB of the chip's 16-bit scale:
    // lifted by this, it just fills the output at the card's top volume and
    // peaks at -9 dBFS at its start volume, where software instruments sit.
    static constexpr double kOutputGainDb = 18;

    // Allocates everything it will ever use: not on the audio thread.
    explicit SoundEngine(unsigned outputRate);
    ~SoundEngine();
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    // Allocates; the chip keeps its state.
    void SetOutputRate(unsigned rate);
    unsigned OutputRate() const;
    void SetWriteTap(WriteTap tap) { tap_ = tap; }

    // One period: the writes in the queue, then `frames` frames of sound at
    // the card's volume register `volume`.
    void Period(RegisterQueue& queue, uint16_t volume, StereoOut out, size_t frames);
    // The writes in the queue, without a period (while nothing renders).
    void ApplyWrites(RegisterQueue& queue);
    bool Idle() const { return idle_; }

private:
    size_t Apply(RegisterQueue& queue);
    void Render(size_t frames);
    void Sleep(size_t frames);
    void Wake();
    void OutputStage(uint16_t volume, const float* in, StereoOut out, size_t frames);

    std::unique_ptr<_opl3_chip> chip_;
    std::unique_ptr<Resampler> resampler_;
    std::unique_ptr<int16_t[]> chipSamples_; // interleaved, one chunk's worth
    std::unique_ptr<float[]> resampled_;     // interleaved, one chunk's worth
    WriteTap tap_;

    // Quiet idle.
    bool idle_ = false;
    uint64_t silentSamples_ = 0; // chip samples rendered since it fell silent
    uint64_t slept_ = 0;         // chip samples not rendered while idle

    // Output stage.
    float gain_[2] = {0, 0};
    float gainStep_[2] = {0, 0};
    float gainTarget_[2] = {-1, -1};
    int rampLeft_ = 0;
    float dcCoeff_ = 0;
    float dcIn_[2] = {0, 0};
    float dcOut_[2] = {0, 0};
};
