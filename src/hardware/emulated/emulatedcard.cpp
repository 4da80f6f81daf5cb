#include "hardware/emulated/emulatedcard.h"

#include "error.h"

#include <RtAudio.h>
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

// The library's header declares C functions without saying so.
extern "C" {
#include <adplug/nukedopl.h>
}

namespace {
constexpr uint16_t kMuteBit = 0x8000;
constexpr uint16_t kAttenuationMask = 0x1F;
constexpr int kRightShift = 8;
constexpr double kDbPerStep = 1.5;

// Chip samples made per request of the resampler; queued writes are applied
// between such blocks, so at most 1.3 ms late.
constexpr size_t kChipBlock = 64;
// Gain changes glide over this many output frames instead of clicking.
constexpr int kGainRamp = 64;
// The output is AC coupled, as a sound card's is: a few hertz of high pass
// removes the constant offset that a chip with frozen phases can leave.
constexpr double kDcCutoffHz = 5.0;
// A running output whose callback has not run for this long is taken for dead,
// and a writer facing a full queue drains it into the chip itself.
constexpr auto kStalledOutput = std::chrono::milliseconds(250);

std::array<float, 32> MakeGains() {
    std::array<float, 32> gains{};
    for (size_t i = 0; i < gains.size(); ++i)
        gains[i] = static_cast<float>(std::pow(10.0, -kDbPerStep * static_cast<double>(i) / 20.0));
    return gains;
}
const std::array<float, 32> kGains = MakeGains();
} // namespace

struct EmulatedCard::Engine {
    opl3_chip chip;
    soxr_t resampler = nullptr;
    int16_t chipSamples[2 * kChipBlock];

    // Output stage state, touched only by the chip's owner.
    float gain[2] = {0, 0};
    float gainStep[2] = {0, 0};
    float gainTarget[2] = {-1, -1};
    int rampLeft = 0;
    float dcCoeff = 0;
    float dcIn[2] = {0, 0};
    float dcOut[2] = {0, 0};

    ~Engine() {
        if (resampler) soxr_delete(resampler);
    }
};

EmulatedCard::EmulatedCard(uint16_t base) : base_(base), engine_(std::make_unique<Engine>()) {
    OPL3_Reset(&engine_->chip, kChipRate);
    CreateResampler(outputRate_);
}

EmulatedCard::~EmulatedCard() {
    StopOutput();
}

uint64_t EmulatedCard::Digest(uint64_t digest, RegisterWrite write) {
    // FNV-1a over the three bytes of the write.
    constexpr uint64_t kPrime = 0x100000001B3ull;
    for (uint8_t byte : {static_cast<uint8_t>(write.index >> 8),
                         static_cast<uint8_t>(write.index & 0xFF), write.value})
        digest = (digest ^ byte) * kPrime;
    return digest;
}

// Ports

void EmulatedCard::OutByte(uint16_t port, uint8_t value) {
    const uint16_t offset = static_cast<uint16_t>(port - base_);
    // The hot path: two bytes per register write, every one of them here.
    const unsigned opl = static_cast<uint16_t>(offset - kOpl3Offset);
    if (opl < 4) {
        const unsigned bank = opl >> 1;
        if ((opl & 1) == 0) {
            latch_[bank] = value;
        } else {
            const RegisterWrite write{static_cast<uint16_t>(bank << 8 | latch_[bank]), value};
            if (!queue_.TryPush(write)) [[unlikely]]
                WaitForRoom(write);
        }
        return;
    }
    // Byte halves of the volume register. Nothing else of the card is modelled.
    if (offset == kVolumeOffset)
        volume_.store(static_cast<uint16_t>((volume_.load() & 0xFF00) | value));
    else if (offset == kVolumeOffset + 1)
        volume_.store(static_cast<uint16_t>((volume_.load() & 0x00FF) | (value << 8)));
}

void EmulatedCard::OutWord(uint16_t port, uint16_t value) {
    if (port == base_ + kVolumeOffset) volume_.store(value);
}

uint16_t EmulatedCard::InWord(uint16_t port) {
    if (port == base_ + kVolumeOffset) return volume_.load();
    return 0xFFFF; // nothing answers: the bus floats high
}

// The write path

void EmulatedCard::WaitForRoom(RegisterWrite write) {
    uint64_t lastBeat = callbacks_.load(std::memory_order_relaxed);
    auto lastChange = std::chrono::steady_clock::now();
    while (!queue_.TryPush(write)) {
        bool drainHere = !streamRunning_.load(std::memory_order_acquire);
        if (!drainHere) {
            const uint64_t beat = callbacks_.load(std::memory_order_relaxed);
            const auto now = std::chrono::steady_clock::now();
            if (beat != lastBeat) {
                lastBeat = beat;
                lastChange = now;
            }
            drainHere = now - lastChange > kStalledOutput;
        }
        if (drainHere) {
            ChipOwner owner(*this);
            ApplyQueuedWrites();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

void EmulatedCard::AcquireChip() {
    while (chipBusy_.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
}

void EmulatedCard::ReleaseChip() {
    chipBusy_.store(false, std::memory_order_release);
}

void EmulatedCard::ApplyQueuedWrites() {
    opl3_chip* chip = &engine_->chip;
    AppliedWrites& applied = applied_;
    queue_.Drain([chip, &applied](RegisterWrite w) {
        OPL3_WriteReg(chip, w.index, w.value);
        ++applied.count;
        applied.digest = Digest(applied.digest, w);
        applied.image[w.index & 0x1FF] = w.value;
    });
}

// Rendering

size_t EmulatedCard::SupplyChipSamples(void* user, const void** data, size_t requested) {
    auto* card = static_cast<EmulatedCard*>(user);
    card->ApplyQueuedWrites();
    Engine& e = *card->engine_;
    const size_t n = std::min(requested, kChipBlock);
    for (size_t i = 0; i < n; ++i)
        OPL3_Generate(&e.chip, &e.chipSamples[2 * i]);
    *data = e.chipSamples;
    return n;
}

void EmulatedCard::CreateResampler(unsigned rate) {
    Engine& e = *engine_;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_t resampler = soxr_create(kChipRate, rate, 2, &error, &io, &quality, nullptr);
    if (resampler && !error)
        error = soxr_set_input_fn(resampler, &EmulatedCard::SupplyChipSamples, this, kChipBlock);
    if (!resampler || error) {
        if (resampler) soxr_delete(resampler);
        throw Error(std::string("Couldn't create the resampler: ") + soxr_strerror(error));
    }
    if (e.resampler) soxr_delete(e.resampler);
    e.resampler = resampler;
    e.dcCoeff = static_cast<float>(1.0 - 2.0 * M_PI * kDcCutoffHz / rate);
    outputRate_ = rate;
}

void EmulatedCard::SetOutputRate(unsigned rate) {
    if (rate == 0) throw Error("The output rate must be above zero");
    if (audio_) throw Error("The output rate can't change while audio output is open");
    ChipOwner owner(*this);
    CreateResampler(rate);
}

void EmulatedCard::Render(float* interleavedStereo, size_t frames) {
    if (audio_) throw Error("Offline rendering needs the audio output closed");
    ChipOwner owner(*this);
    RenderBlock(interleavedStereo, frames);
}

void EmulatedCard::RenderBlock(float* out, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        const size_t n = soxr_output(engine_->resampler, out + 2 * done, frames - done);
        if (n == 0) break; // only on a resampler failure; never seen
        done += n;
    }
    std::fill(out + 2 * done, out + 2 * frames, 0.0f);
    PostProcess(out, frames);
}

void EmulatedCard::PostProcess(float* out, size_t frames) {
    Engine& e = *engine_;
    const uint16_t volume = volume_.load(std::memory_order_relaxed);
    const bool muted = (volume & kMuteBit) != 0;
    const float target[2] = {muted ? 0.0f : kGains[volume & kAttenuationMask],
                             muted ? 0.0f : kGains[(volume >> kRightShift) & kAttenuationMask]};
    if (target[0] != e.gainTarget[0] || target[1] != e.gainTarget[1]) {
        if (e.gainTarget[0] < 0) { // first block: start where we aim
            e.gain[0] = target[0];
            e.gain[1] = target[1];
            e.rampLeft = 0;
        } else {
            for (int c = 0; c < 2; ++c)
                e.gainStep[c] = (target[c] - e.gain[c]) / kGainRamp;
            e.rampLeft = kGainRamp;
        }
        e.gainTarget[0] = target[0];
        e.gainTarget[1] = target[1];
    }
    for (size_t i = 0; i < frames; ++i) {
        if (e.rampLeft > 0) {
            if (--e.rampLeft == 0) {
                e.gain[0] = e.gainTarget[0];
                e.gain[1] = e.gainTarget[1];
            } else {
                e.gain[0] += e.gainStep[0];
                e.gain[1] += e.gainStep[1];
            }
        }
        for (int c = 0; c < 2; ++c) {
            const float x = out[2 * i + c];
            const float y = x - e.dcIn[c] + e.dcCoeff * e.dcOut[c];
            e.dcIn[c] = x;
            e.dcOut[c] = y;
            out[2 * i + c] = y * e.gain[c];
        }
    }
}

int EmulatedCard::AudioCallback(void* output, void*, unsigned frames, double, unsigned,
                                void* user) {
    auto* card = static_cast<EmulatedCard*>(user);
    auto* out = static_cast<float*>(output);
    card->callbacks_.fetch_add(1, std::memory_order_relaxed);
    if (card->chipBusy_.exchange(true, std::memory_order_acquire)) {
        // Only after a stall, while the writer catches up: play silence.
        std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
        return 0;
    }
    card->RenderBlock(out, frames);
    card->ReleaseChip();
    return 0;
}

// Audio output

namespace {
struct ApiChoice {
    RtAudio::Api api;
    const char* name;
    const char* nothing; // what no device means there
};
// JACK answers only when a server runs; PulseAudio also covers PipeWire.
constexpr ApiChoice kApis[] = {
    {RtAudio::UNIX_JACK, "JACK", "no server running"},
    {RtAudio::LINUX_PULSE, "PulseAudio", "no server running"},
    {RtAudio::LINUX_ALSA, "ALSA", "no device"},
};

bool Compiled(RtAudio::Api api) {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}
} // namespace

bool EmulatedCard::StartOutput() {
    StopOutput();
    std::string reasons;
    auto addReason = [&reasons](const char* api, const std::string& why) {
        if (!reasons.empty()) reasons += "; ";
        reasons += std::string(api) + ": " + why;
    };
    for (const ApiChoice& choice : kApis) {
        if (!Compiled(choice.api)) continue;
        try {
            auto audio = std::make_unique<RtAudio>(choice.api);
            audio->showWarnings(false);
            if (audio->getDeviceCount() == 0) {
                addReason(choice.name, choice.nothing);
                continue;
            }
            RtAudio::StreamParameters params;
            params.deviceId = audio->getDefaultOutputDevice();
            params.nChannels = 2;
            const RtAudio::DeviceInfo device = audio->getDeviceInfo(params.deviceId);
            if (!device.probed || device.outputChannels < 2) {
                addReason(choice.name, "no stereo output device");
                continue;
            }
            const unsigned rate =
                device.preferredSampleRate ? device.preferredSampleRate : kDefaultOutputRate;
            RtAudio::StreamOptions options;
            options.streamName = "VI 801";
            // ALSA's "default" device goes through the desktop's mixer.
            if (choice.api == RtAudio::LINUX_ALSA) options.flags = RTAUDIO_ALSA_USE_DEFAULT;

            {
                ChipOwner owner(*this);
                CreateResampler(rate);
            }
            unsigned period = kPreferredPeriod;
            audio->openStream(&params, nullptr, RTAUDIO_FLOAT32, rate, &period,
                              &EmulatedCard::AudioCallback, this, &options);
            // The resampler builds its stages and buffers over its first few
            // thousand frames: let that happen here, not in the callback.
            std::vector<float> warmUp(2 * static_cast<size_t>(period));
            {
                ChipOwner owner(*this);
                for (unsigned done = 0; done < rate / 2; done += period)
                    RenderBlock(warmUp.data(), period);
            }

            streamRunning_.store(true, std::memory_order_release);
            audio->startStream();

            info_ = AudioOutputInfo{};
            info_.open = true;
            info_.api = choice.name;
            info_.device = choice.api == RtAudio::LINUX_ALSA ? "default" : device.name;
            info_.rate = audio->getStreamSampleRate();
            info_.period = period;
            long latency = audio->getStreamLatency();
            if (latency <= 0) latency = period;
            info_.latencyMs = 1000.0 * static_cast<double>(latency) / info_.rate;
            audio_ = std::move(audio);
            return true;
        } catch (const std::exception& e) {
            streamRunning_.store(false, std::memory_order_release);
            addReason(choice.name, e.what());
        }
    }
    info_ = AudioOutputInfo{};
    info_.error = reasons.empty() ? std::string("no audio system") : reasons;
    return false;
}

void EmulatedCard::StopOutput() {
    if (!audio_) return;
    try {
        if (audio_->isStreamRunning()) audio_->abortStream(); // no draining: a stop is a stop
        if (audio_->isStreamOpen()) audio_->closeStream();
    } catch (const std::exception&) {
        // Closing a stream whose server went away: nothing left to release.
    }
    audio_.reset();
    streamRunning_.store(false, std::memory_order_release);
    info_ = AudioOutputInfo{};
    info_.error = "Audio output closed";
}
