#pragma once
// Between the synthesizer core and those who drive it. The window's thread
// sends commands and reads the core's state; the core plays either on that
// same thread (directly: no audio stream runs, a real card, a port log) or
// inside the emulated card's audio periods, where each MIDI message is
// applied at its own frame. Crossing threads goes through bounded
// lock-free queues both ways: the audio thread never locks, allocates, logs
// or waits. No Qt.
#include "hardware/emulated/emulatedcard.h"
#include "midi/midireceiver.h"
#include "synth/corecommand.h"
#include "synth/spscqueue.h"
#include "synth/triplebuffer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

// The card's frame clock as its audio thread last saw it, for other
// threads to stamp what they hand over with the frame it arrived at.
class FrameClock {
public:
    // The audio thread, at the start of each period.
    void Publish(uint32_t frame, unsigned rate, bool jack);
    // Any thread: the frame now. False before the first period.
    bool Now(uint32_t& frame) const;
    // Whether the frames are the JACK server's own.
    bool OnJack() const { return jack_.load(std::memory_order_acquire); }

private:
    std::atomic<uint32_t> sequence_{0}; // odd while Publish writes
    std::atomic<uint32_t> frame_{0};
    std::atomic<int64_t> nanoseconds_{0};
    std::atomic<unsigned> rate_{0};
    std::atomic<bool> jack_{false};
};

// A short message stamped with the frame it is due at, before the
// constant latency every stamped message gets.
struct StampedMessage {
    uint32_t frame = 0;
    bool stamped = false; // false: due at once
    uint32_t source = 0;
    ShortMessage message;
};

// Where one thread of MIDI input hands its messages over (one producer each).
class MidiInlet {
public:
    static constexpr size_t kCapacity = 8192;
    explicit MidiInlet(const FrameClock& clock) : clock_(clock) {}
    // False when the queue is full: the message is lost, and counted.
    bool Push(uint32_t source, ShortMessage message); // stamped now
    bool PushAt(uint32_t frame, uint32_t source, ShortMessage message);
    uint64_t Lost() const { return lost_.load(std::memory_order_relaxed); }
    SpscQueue<StampedMessage, kCapacity>& Queue() { return queue_; }

private:
    const FrameClock& clock_;
    SpscQueue<StampedMessage, kCapacity> queue_;
    std::atomic<uint64_t> lost_{0};
};

class CoreLink final : public PeriodClient, public MidiReceiver {
public:
    static constexpr size_t kCommandCapacity = 4096;
    static constexpr size_t kInletCount = 2; // the sequencer's thread, JACK's

    // Plays directly on the calling thread until PlayOn.
    explicit CoreLink(SynthCore& core);
    ~CoreLink(); // back on the calling thread first
    CoreLink(const CoreLink&) = delete;
    CoreLink& operator=(const CoreLink&) = delete;

    // --- the window's thread ---
    // Runs now when playing directly; queued otherwise (waiting while the
    // queue is full: only this thread ever waits).
    void Send(const CoreCommand& command);
    // A message posted to the window: played now, or stamped on arrival.
    void SendMidi(uint32_t source, ShortMessage message);
    // The core's state: now when playing directly; otherwise the last one
    // the audio thread published.
    const SynthState& State() const;
    // Takes what the audio thread published since; true when it is new.
    bool Refresh();
    // Whether the state shown by State() includes every command sent.
    bool CaughtUp() const;
    // Waits until the core has applied every command sent, then refreshes.
    void Sync();
    // A bank the core no longer uses, for its sender to free (null: none).
    const PresetBank* TakeReturnedBank();

    // Hands the core to the card's audio periods (only while its output
    // runs and the card is the port backend). False when it can't.
    bool PlayOn(EmulatedCard& card);
    // Hands the core to a thread of its own, which plays commands and MIDI
    // input as they arrive, through the process-wide port backend (a real
    // card, a port log, a card without a stream).
    void PlayOnThread();
    // Takes it back: from then on it plays directly again.
    void PlayHere();
    // Plays here what input threads handed over (once they stopped handing
    // over to this link).
    void DrainInlets();
    bool PlaysElsewhere() const { return card_ != nullptr || thread_.joinable(); }
    // MIDI messages the audio thread has played so far.
    uint64_t MessagesPlayed() const { return played_.load(std::memory_order_acquire); }

    // --- input threads ---
    const FrameClock& Clock() const { return clock_; }
    MidiInlet& Inlet(size_t index) { return *inlets_[index]; }
    // MIDI input on its own thread: stamped and queued for the core.
    void Receive(Thread thread, uint32_t handle, ShortMessage message, uint32_t frame) override;

    // --- the audio thread ---
    void Period(Run& run, uint32_t frameTime, size_t frames) override;

private:
    struct Snapshot {
        SynthState state;
        uint64_t applied = 0; // commands of the window's thread applied
    };
    struct TimedCommand {
        StampedMessage stamp; // stamped: a posted MIDI message
        CoreCommand command;
    };

    void ApplyHere(const CoreCommand& command);
    void StartCounting();
    void Publish();
    void Played();
    void ThreadLoop();
    bool ApplyArrived();
    bool ApplyNext(Run& run, uint32_t frameTime, size_t frames);

    SynthCore& core_;
    EmulatedCard* card_ = nullptr; // while playing there
    FrameClock clock_;
    std::unique_ptr<SpscQueue<TimedCommand, kCommandCapacity>> commands_;
    std::array<std::unique_ptr<MidiInlet>, kInletCount> inlets_;
    SpscQueue<const PresetBank*, 64> returned_;
    std::unique_ptr<TripleBuffer<Snapshot>> snapshots_;
    const Snapshot* shown_ = nullptr; // the window's current snapshot
    uint64_t sent_ = 0;               // the window's thread
    uint64_t applied_ = 0;            // the audio thread
    std::atomic<uint64_t> played_{0};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    uint32_t latency_ = 0; // frames: the stamped messages' constant delay
    unsigned rate_ = 0;    // of the card's output
    bool jack_ = false;    // the card plays on JACK
};
