#pragma once
// The card in software: the FM801's synthesizer volume register and an OPL3
// (the Nuked core), played through the computer's audio output.
//
// I/O range, relative to the base:
//   +0x02  16 bits  volume: bits 0-4 left, 8-12 right attenuation (1.5 dB
//                   a step, 31 = 46.5 dB down), bit 15 mute
//   +0x68  8 bits   OPL3 bank 0 address latch
//   +0x69  8 bits   OPL3 bank 0 data: one register write
//   +0x6A  8 bits   OPL3 bank 1 address latch
//   +0x6B  8 bits   OPL3 bank 1 data
//
// Threads. Port calls come from one thread at a time (the GUI, or the
// audio thread while a period client plays there). Register writes cross
// to the audio thread through a bounded lock-free ring; when it is full the
// writer waits, so nothing is dropped or reordered. The volume register is an
// atomic. While a stream runs only its callback touches the chip; without
// one (never opened, closed, or found dead) the writer and offline
// rendering do, one at a time.
//
// An output that stops by itself is watched for and opened again (see
// OutputKeeper) on the same audio system, at whatever rate it then has;
// the chip goes on where it was, and writes made meanwhile are heard once
// it plays again.
#include "hardware/emulated/audiooutput.h"
#include "hardware/emulated/outputkeeper.h"
#include "hardware/emulated/registerqueue.h"
#include "hardware/emulated/soundengine.h"
#include "hardware/emulated/stereoring.h"
#include "hardware/fm801regs.h"
#include "hardware/giveio.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

// Work of the audio thread in each period, before and between its frames:
// the synthesizer playing where the sound is made. What it writes to the
// card's ports (the card is its thread's port backend meanwhile) is heard
// from the frame the period has reached.
class PeriodClient {
public:
    class Run {
    public:
        // Renders the period's frames up to `frame` (no further than its end).
        virtual void RenderUntil(size_t frame) = 0;

    protected:
        ~Run() = default;
    };
    // frameTime: the frame at which the period starts (on JACK the server's clock).
    virtual void Period(Run& run, uint32_t frameTime, size_t frames) = 0;

protected:
    ~PeriodClient() = default;
};

class EmulatedCard : public PortBackend {
public:
    static constexpr uint16_t kDefaultBase = 0xE800;
    static constexpr uint16_t kVolumeOffset = fm801::kVolumeOffset;
    static constexpr uint16_t kOpl3Offset = fm801::kOpl3Offset;
    static constexpr uint16_t kVolumeAtStart = 0x0606;
    static constexpr unsigned kChipRate = SoundEngine::kChipRate;
    static constexpr unsigned kDefaultOutputRate = AudioOutput::kPreferredRate;
    static constexpr unsigned kPreferredPeriod = AudioOutput::kPreferredPeriod;
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
    // the first that answers) at its own rate, and keeps it open. False
    // when none opens; the card then keeps working silently and
    // OutputInfo().error says why. `listener` hears of the output going
    // away and coming back, on a thread of the card's.
    bool StartOutput(OutputKeeper::Listener listener = {});
    // Quick: no draining. The callback has run for the last time when it
    // returns.
    void StopOutput();
    AudioOutputInfo OutputInfo() const;
    // Whether the output went away, for how long, and how often; what it
    // was when it stopped once it has.
    OutputStatus OutputState() const;

    // Offline rendering: the same periods as the audio callback's, on the
    // calling thread. Not while an output is open. Writes made before a
    // Render call are heard in it, so a write between two calls lands on
    // the frame where the first ended.
    void SetOutputRate(unsigned rate);
    unsigned OutputRate() const { return engine_.OutputRate(); }
    void Render(float* interleavedStereo, size_t frames);

    // Sees every write as it reaches the chip, on whichever thread applies
    // it. Set it only while no output is open.
    void SetWriteTap(WriteTap tap);
    // Whether the last period found the chip asleep; offline only.
    bool Sleeping() const { return engine_.Idle(); }
    // Every period the audio output plays is copied into `ring` (null: none).
    // Set it only while no output is open. Should the output come back at
    // another rate, the tap is let go, and TapCutAtRate() says that rate.
    void SetOutputTap(StereoRing* ring);
    unsigned TapCutAtRate() const { return tapCutAtRate_; }
    // Register writes made but not yet heard.
    bool WritesPending() const { return !queue_.Empty(); }

    // The audio thread's work in every period from the next one on (null:
    // none). Removing it returns once no period runs it any more. Whoever
    // wrote to the ports before setting it stops then: the client's writes
    // take over, and the other way round once it is removed.
    void SetPeriodClient(PeriodClient* client);
    bool OutputOnJack() const;
    // Whether a stream plays the periods now: not while it is gone, nor
    // while the keeper opens it again. Never waits for the keeper.
    bool OutputRunning() const;

private:
    enum ChipOwner : uint8_t {
        kOffline,    // the writer or Render, under offline_
        kStream,     // the callback, which may take it at any period
        kInCallback, // the callback, now
    };

    class Segments;
    static void OutputPeriod(void* user, StereoOut out, size_t frames);
    static void PrepareOutput(void* user, unsigned rate);
    void WaitForRoom(RegisterWrite write);
    void TakeChipFromDeadStream();
    // The keeper's view of the output.
    bool OutputFailed();
    void DropDeadOutput();
    bool ReopenOutput();

    const uint16_t base_;
    uint8_t latch_[2] = {0, 0}; // address latch of each bank
    std::atomic<uint16_t> volume_{kVolumeAtStart};

    RegisterQueue queue_{kQueueCapacity};
    std::atomic<ChipOwner> chip_{kOffline};
    std::mutex offline_;
    SoundEngine engine_{kDefaultOutputRate};
    StereoRing* outputTap_ = nullptr;
    unsigned tapRate_ = 0;      // the rate of what the tap was given
    unsigned tapCutAtRate_ = 0; // the rate that made it let go
    std::atomic<PeriodClient*> client_{nullptr};
    mutable std::mutex outputLock_;     // output_, between the keeper and the rest
    std::atomic<bool> outputUp_{false}; // opened and not dropped, set under outputLock_
    AudioOutput output_{&EmulatedCard::OutputPeriod, this}; // closes before the chip goes
    std::unique_ptr<OutputKeeper> keeper_;                  // last: stops first
};
