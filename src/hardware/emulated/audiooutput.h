#pragma once
// The computer's audio output for the emulated card: which device, how it is
// opened and closed, and how it tells that its stream died. The card hands
// it one function that fills a period; nothing else of the card is known here.
//
// JACK is driven through its own library with one client, which is both
// the probe and the stream; PulseAudio (which also covers PipeWire) and ALSA
// go through RtAudio.
#include <atomic>
#include <chrono>
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

// An output that went away while the program ran: kept open again by the
// emulated card, shown by the main window, summed up by a recording.
struct OutputStatus {
    using Duration = std::chrono::steady_clock::duration;
    bool lost = false;    // gone, and not back yet
    std::string api;      // the audio system it plays on
    unsigned outages = 0; // times it went away, this one included
    Duration gone{};      // how long it has been gone this time, while lost
    Duration goneInAll{}; // every outage so far, this one included
};

// Where a period goes: left and right samples `step` floats apart, so that
// interleaved buffers and one buffer per channel take the same path.
struct StereoOut {
    float* left;
    float* right;
    size_t step;
    static StereoOut Interleaved(float* frames) { return {frames, frames + 1, 2}; }
    // The same from frame `frame` on.
    StereoOut From(size_t frame) const { return {left + frame * step, right + frame * step, step}; }
};

// Fills `frames` frames. Runs on the audio thread: it must not lock,
// allocate, log or wait.
using RenderPeriod = void (*)(void* user, StereoOut out, size_t frames);

class AudioOutput {
public:
    static constexpr unsigned kPreferredRate = 48000;
    static constexpr unsigned kPreferredPeriod = 128;
    // How long each output may take to open: a sound server that does not
    // answer in time is passed over, and Info().error says so.
    static constexpr std::chrono::milliseconds kAnswerWait{1000};

    AudioOutput(RenderPeriod render, void* user);
    ~AudioOutput(); // closes
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the first output that answers, JACK first, at the device's own
    // rate, waiting kAnswerWait at most for each. prepare(rate) runs on the
    // calling thread before the first period; it may allocate. False when
    // none opens; Info().error then says why for each.
    using Prepare = void (*)(void* user, unsigned rate);
    bool Open(Prepare prepare);
    // Opens again on the audio system that the last Open found, and no
    // other: its server may be back. It waits as Open does, and not at all
    // while an earlier attempt on that system that was given up on still
    // waits for its answer.
    bool Reopen(Prepare prepare);
    // After it returns the render function is not running and never runs
    // again.
    void Close();
    bool IsOpen() const { return info_.open; }
    const AudioOutputInfo& Info() const { return info_; }

    // The stream stopped by itself (its server went away, the device
    // failed): render is not called any more, though the output stays open
    // until Close.
    bool Failed() const;
    // Inside the render function: the frame at which this period starts, on
    // JACK the server's frame clock (which every client of it shares).
    uint32_t PeriodFrameTime() const;
    bool OnJack() const { return info_.open && info_.api == "JACK"; }

    struct Stream; // one kind per audio system
private:
    bool OpenOn(size_t choice, Prepare prepare, std::string& why);

    RenderPeriod render_;
    void* user_;
    std::unique_ptr<Stream> stream_;
    AudioOutputInfo info_;
    std::string lastApi_; // of the last Open that found one
    // A bit for each output whose attempt to open, given up on, still runs;
    // shared with those attempts' threads.
    std::shared_ptr<std::atomic<unsigned>> unanswered_ = std::make_shared<std::atomic<unsigned>>(0);
};
