#include "render/outputrecorder.h"

#include "error.h"
#include "render/progress.h"

#include <chrono>
#include <vector>

namespace {
constexpr size_t kBlockFrames = 8192;
// The callback never waits for the thread, so the thread looks for work:
// at 48 kHz a look finds about 500 frames.
constexpr auto kLookEvery = std::chrono::milliseconds(10);
// The header is brought up to date this often, so that the file stays
// readable should the program be killed.
constexpr auto kHeaderEvery = std::chrono::seconds(1);
} // namespace

OutputRecorder::~OutputRecorder() {
    Finish();
}

void OutputRecorder::Start(const std::string& path, unsigned rate) {
    writer_ = std::make_unique<WavWriter>(path, rate);
    stopping_.store(false);
    thread_ = std::thread(&OutputRecorder::Run, this);
}

void OutputRecorder::Run() {
    std::vector<float> block(2 * kBlockFrames);
    auto header = std::chrono::steady_clock::now();
    for (;;) {
        // Read before emptying: what the last period pushed is taken below.
        const bool last = stopping_.load(std::memory_order_acquire);
        while (const size_t n = ring_.Pop(block.data(), kBlockFrames))
            Write(block.data(), n);
        if (last) return;
        if (std::chrono::steady_clock::now() - header > kHeaderEvery && writeError_.empty()) {
            writer_->UpdateHeader();
            header = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_for(kLookEvery);
    }
}

void OutputRecorder::Write(const float* frames, size_t count) {
    if (!writeError_.empty()) return; // the file ends where the disk refused
    try {
        writer_->Write(frames, count);
    } catch (const std::exception& e) {
        writeError_ = e.what();
    }
}

OutputRecorder::Result OutputRecorder::Finish() {
    Result result;
    if (!writer_) return result;
    stopping_.store(true, std::memory_order_release);
    thread_.join();
    result.path = writer_->Path();
    result.rate = writer_->Rate();
    result.frames = writer_->Frames();
    result.lostFrames = ring_.LostFrames();
    result.overflows = ring_.Overflows();
    result.error = writeError_;
    try {
        writer_->Finish();
        result.saved = true;
    } catch (const Error& e) {
        result.error = e.what();
    }
    writer_.reset();
    return result;
}

std::string RecordingReport(const OutputRecorder::Result& result, const std::string& program) {
    const double rate = result.rate ? result.rate : 1;
    std::string text;
    if (result.saved) {
        text += program + ": recorded " + FormatDuration(result.frames / rate) + " into " +
                result.path + " (" + std::to_string(result.rate) + " Hz)";
        if (result.outages > 0)
            text += "; the audio output was gone for " + FormatDuration(result.outputGone) + " (" +
                    (result.outages == 1 ? std::string("once")
                                         : std::to_string(result.outages) + " times") +
                    "), which the take leaves out";
        text += "\n";
    }
    if (result.lostFrames > 0)
        text += program + ": " + result.path + " misses " + std::to_string(result.lostFrames) +
                " frames in " + std::to_string(result.overflows) +
                " places: the disk fell behind the audio output\n";
    if (!result.error.empty())
        text += program + (result.saved ? ": the recording stopped early: " : ": not saved: ") +
                result.error + "\n";
    return text;
}
