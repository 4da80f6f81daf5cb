#pragma once
// The card in software: the FM801's synthesizer volume register and an OPL3
// (the Nuked core), played through the default audio output.
//
// I/O range, relative to the base:
//   +0x02  16 bits  volume: bits 0-4 left, 8-12 right attenuation (1.5 dB
//                   a step, 31 = 46.5 dB down), bit 15 mute
//   +0x68  8 bits   OPL3 bank 0 address latch
//   +0x69  8 bits   OPL3 bank 0 data: one register write
//   +0x6A  8 bits   OPL3 bank 1 address latch
//   +0x6B  8 bits   OPL3 bank 1 data
//
// Threads. Port calls come from one thread (the GUI). Register writes cross
// to the audio thread through a bounded lock-free ring; when it is full the
// writer waits, so nothing is dropped or reordered. The volume register is an
// atomic. The audio callback never locks, allocates, logs or waits.
//
// The chip runs at its own rate, 49716 Hz, and is resampled to the output
// rate, so every note sounds at the exact pitch its F-number and block give.
#include "hardware/emulated/registerqueue.h"
#include "hardware/giveio.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct AudioOutputInfo {
    bool open = false;
    std::string api, device, error; // error: why no output is open
    unsigned rate = 0, period = 0;  // frames per second, frames per callback
    double latencyMs = 0;
};

class RtAudio;

class EmulatedCard : public PortBackend {
public:
    static constexpr uint16_t kDefaultBase = 0xE800;
    static constexpr uint16_t kVolumeOffset = 0x02;
    static constexpr uint16_t kOpl3Offset = 0x68;
    static constexpr uint16_t kVolumeAtStart = 0x0606;
    static constexpr unsigned kChipRate = 49716;
    static constexpr unsigned kDefaultOutputRate = 48000;
    static constexpr unsigned kPreferredPeriod = 128;
    static constexpr size_t kQueueCapacity = 8192;

    explicit EmulatedCard(uint16_t base = kDefaultBase);
    ~EmulatedCard() override;
    EmulatedCard(const EmulatedCard&) = delete;
    EmulatedCard& operator=(const EmulatedCard&) = delete;

    void EnableAccess() override {}
    void OutByte(uint16_t port, uint8_t value) override;
    void OutWord(uint16_t port, uint16_t value) override;
    uint16_t InWord(uint16_t port) override;

    uint16_t Base() const { return base_; }

    // Opens the default output device (JACK, PulseAudio/PipeWire or ALSA,
    // the first that answers) at its preferred rate. False when none opens;
    // the card then keeps working silently and OutputInfo().error says why.
    bool StartOutput();
    void StopOutput();
    const AudioOutputInfo& OutputInfo() const { return info_; }

    // Offline rendering: the same path as the audio callback, on the calling
    // thread. Not while an output is open.
    void SetOutputRate(unsigned rate);
    unsigned OutputRate() const { return outputRate_; }
    void Render(float* interleavedStereo, size_t frames);

    // What reached the chip, for tests. Read it only while nothing renders.
    struct AppliedWrites {
        uint64_t count = 0;
        uint64_t digest = kDigestSeed; // order-sensitive, see Digest
        std::array<uint8_t, 0x200> image{};
    };
    static constexpr uint64_t kDigestSeed = 0xCBF29CE484222325ull;
    static uint64_t Digest(uint64_t digest, RegisterWrite write);
    const AppliedWrites& Applied() const { return applied_; }

private:
    struct Engine;

    static int AudioCallback(void* output, void* input, unsigned frames, double streamTime,
                             unsigned status, void* user);
    static size_t SupplyChipSamples(void* user, const void** data, size_t requested);

    void QueueWrite(RegisterWrite write);
    void WaitForRoom(RegisterWrite write);
    void AcquireChip();
    void ReleaseChip();
    struct ChipOwner {
        explicit ChipOwner(EmulatedCard& card) : card(card) { card.AcquireChip(); }
        ~ChipOwner() { card.ReleaseChip(); }
        EmulatedCard& card;
    };
    void ApplyQueuedWrites();
    void RenderBlock(float* out, size_t frames);
    void PostProcess(float* out, size_t frames);
    void CreateResampler(unsigned rate);

    const uint16_t base_;
    uint8_t latch_[2] = {0, 0}; // address latch of each bank
    std::atomic<uint16_t> volume_{kVolumeAtStart};

    RegisterQueue queue_{kQueueCapacity};
    // Whoever holds this owns the chip and the resampler: the audio callback,
    // an offline renderer, or the writer draining a full queue with no
    // running output. The callback only tries it and never waits.
    std::atomic<bool> chipBusy_{false};
    std::atomic<bool> streamRunning_{false};
    std::atomic<uint64_t> callbacks_{0};

    std::unique_ptr<Engine> engine_;
    AppliedWrites applied_;
    unsigned outputRate_ = kDefaultOutputRate;

    std::unique_ptr<RtAudio> audio_;
    AudioOutputInfo info_;
};
