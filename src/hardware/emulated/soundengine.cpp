#include "hardware/emulated/soundengine.h"

#include "error.h"
#include "hardware/emulated/finiteguard.h"
#include "hardware/emulated/resampler.h"
#include "hardware/emulated/silentchip.h"
#include "hardware/fm801regs.h"

#include <algorithm>
#include <array>
#include <cmath>

// The library's header declares C functions without saying so.
extern "C" {
#include <adplug/nukedopl.h>
}

namespace {
constexpr double kDbPerStep = 1.5;
// Gain changes glide over this many output frames instead of clicking.
constexpr int kGainRamp = 64;
// The output is AC coupled, as a sound card's is: a few hertz of high pass
// removes the constant offset that a chip with frozen phases can leave.
constexpr double kDcCutoffHz = 5.0;

std::array<float, 32> MakeGains() {
    std::array<float, 32> gains{};
    for (size_t i = 0; i < gains.size(); ++i)
        gains[i] = static_cast<float>(std::pow(
            10.0, (SoundEngine::kOutputGainDb - kDbPerStep * static_cast<double>(i)) / 20.0));
    return gains;
}
const std::array<float, 32> kGains = MakeGains();
} // namespace

SoundEngine::SoundEngine(unsigned outputRate) : chip_(std::make_unique<opl3_chip>()) {
    OPL3_Reset(chip_.get(), kChipRate);
    PrepareSilentChip();
    SetOutputRate(outputRate);
}

SoundEngine::~SoundEngine() = default;

void SoundEngine::SetOutputRate(unsigned rate) {
    if (rate == 0) throw Error("The output rate must be above zero");
    resampler_ = std::make_unique<Resampler>(kChipRate, rate);
    chipSamples_ = std::make_unique<int16_t[]>(2 * resampler_->MaxInput());
    resampled_ = std::make_unique<float[]>(2 * Resampler::kMaxFrames);
    dcCoeff_ = static_cast<float>(1.0 - 2.0 * M_PI * kDcCutoffHz / rate);
    silentSamples_ = 0;
}

unsigned SoundEngine::OutputRate() const {
    return resampler_->OutRate();
}

size_t SoundEngine::Apply(RegisterQueue& queue) {
    opl3_chip* chip = chip_.get();
    const WriteTap tap = tap_;
    return queue.Drain([chip, tap](RegisterWrite w) {
        OPL3_WriteReg(chip, w.index, w.value);
        if (tap.applied) tap.applied(tap.context, w);
    });
}

void SoundEngine::ApplyWrites(RegisterQueue& queue) {
    if (idle_ && !queue.Empty()) Wake();
    if (Apply(queue) > 0) silentSamples_ = 0;
}

void SoundEngine::Period(RegisterQueue& queue, uint16_t volume, StereoOut out, size_t frames) {
    if (idle_ && queue.Empty()) {
        Sleep(frames);
        OutputStage(volume, nullptr, out, frames);
        return;
    }
    ApplyWrites(queue);
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(frames - done, Resampler::kMaxFrames);
        Render(n);
        OutputStage(volume, resampled_.get(),
                    {out.left + done * out.step, out.right + done * out.step, out.step}, n);
        done += n;
    }
    // Asleep only once the resampler's filter holds nothing but the silent chip.
    if (silentSamples_ >= resampler_->Taps()) {
        idle_ = true;
        slept_ = 0;
    }
}

void SoundEngine::Render(size_t frames) {
    const size_t input = resampler_->InputFor(frames);
    int16_t* samples = chipSamples_.get();
    for (size_t i = 0; i < input; ++i)
        OPL3_Generate(chip_.get(), &samples[2 * i]);
    resampler_->Process(samples, resampled_.get(), frames);
    silentSamples_ = ChipSilent(*chip_) ? silentSamples_ + input : 0;
}

void SoundEngine::Sleep(size_t frames) {
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(frames - done, Resampler::kMaxFrames);
        slept_ += resampler_->Skip(n);
        done += n;
    }
}

void SoundEngine::Wake() {
    AdvanceSilentChip(*chip_, slept_);
    resampler_->Reset();
    idle_ = false;
    slept_ = 0;
    silentSamples_ = 0;
}

// Volume register (with a glide on changes) and AC coupling; `in` null is
// silence in. What comes in is guarded: a fault upstream is heard as silence.
void SoundEngine::OutputStage(uint16_t volume, const float* in, StereoOut out, size_t frames) {
    const bool muted = fm801::kMute.Get(volume) != 0;
    const float target[2] = {muted ? 0.0f : kGains[fm801::kLeftAttenuation.Get(volume)],
                             muted ? 0.0f : kGains[fm801::kRightAttenuation.Get(volume)]};
    if (target[0] != gainTarget_[0] || target[1] != gainTarget_[1]) {
        const bool first = gainTarget_[0] < 0; // start where we aim
        for (int c = 0; c < 2; ++c) {
            if (first) gain_[c] = target[c];
            gainStep_[c] = (target[c] - gain_[c]) / kGainRamp;
            gainTarget_[c] = target[c];
        }
        rampLeft_ = first ? 0 : kGainRamp;
    }
    float* sides[2] = {out.left, out.right};
    constexpr float kGone = 1e-9f; // -180 dB: the tail of the AC coupling has died away
    if (!in && rampLeft_ == 0 && std::fabs(dcOut_[0]) < kGone && std::fabs(dcOut_[1]) < kGone) {
        dcIn_[0] = dcIn_[1] = dcOut_[0] = dcOut_[1] = 0;
        for (size_t i = 0; i < frames; ++i)
            sides[0][i * out.step] = sides[1][i * out.step] = 0;
        return;
    }
    for (size_t i = 0; i < frames; ++i) {
        if (rampLeft_ > 0) {
            const bool last = --rampLeft_ == 0;
            for (int c = 0; c < 2; ++c)
                gain_[c] = last ? gainTarget_[c] : gain_[c] + gainStep_[c];
        }
        for (int c = 0; c < 2; ++c) {
            const float x = in ? FiniteOrSilence(in[2 * i + c]) : 0.0f;
            float y = x - dcIn_[c] + dcCoeff_ * dcOut_[c];
            if (std::fabs(y) < 1e-30f) y = 0; // no denormals
            dcIn_[c] = x;
            dcOut_[c] = y;
            sides[c][i * out.step] = y * gain_[c];
        }
    }
}
