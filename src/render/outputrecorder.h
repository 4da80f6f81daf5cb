#pragma once
// Recording what the emulated card plays. The audio callback copies each
// period into the recorder's ring (the card's output tap) and does nothing
// more; a thread of the recorder empties the ring into a WAV file.
#include "hardware/emulated/stereoring.h"
#include "render/wavwriter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

class OutputRecorder {
public:
    // 2^19 frames (4 MiB): 10.9 s at 48 kHz that the disk may fall behind,
    // whatever the period, before a period is left out.
    static constexpr size_t kRingFrames = size_t{1} << 19;

    OutputRecorder() = default;
    ~OutputRecorder(); // finishes a recording still running; the take is kept
    OutputRecorder(const OutputRecorder&) = delete;
    OutputRecorder& operator=(const OutputRecorder&) = delete;

    StereoRing& Ring() { return ring_; }

    // Creates the file at the output's rate and starts emptying the ring
    // into it. Raises an Error naming the file when it can't be created.
    void Start(const std::string& path, unsigned rate);
    bool Started() const { return writer_ != nullptr; }

    struct Result {
        std::string path;
        unsigned rate = 0;
        uint64_t frames = 0;     // in the file
        uint64_t lostFrames = 0; // left out because the ring was full
        uint64_t overflows = 0;  // times that happened
        std::string error;       // why the recording stopped early, or was not saved
        bool saved = false;
        // The audio output went away this often, for so long in all: the
        // take leaves that time out.
        unsigned outages = 0;
        double outputGone = 0; // seconds
    };
    // Once the output has stopped: the rest of the ring goes into the file,
    // which then takes its name.
    Result Finish();

private:
    void Run();
    void Write(const float* frames, size_t count);

    StereoRing ring_{kRingFrames};
    std::unique_ptr<WavWriter> writer_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::string writeError_; // the thread's; read after it ended
};

// What the program says about a finished recording, one line each thing,
// every line starting with "program: ".
std::string RecordingReport(const OutputRecorder::Result& result, const std::string& program);
