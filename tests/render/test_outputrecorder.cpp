// Recording the emulated card's output: the ring between the callback and
// the recorder's thread. The whole path on JACK is in the end-to-end test.
#include "app/wavfile.h"
#include "render/outputrecorder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Frame i of a test signal: values a 24-bit sample holds exactly.
float Sample(size_t i, int side) {
    return static_cast<float>(static_cast<int>((i * 7 + side * 3) % 4001) - 2000) / 8388608.0f;
}

// Periods of 32 frames; at the pace of a 48 kHz output when paced.
void PushBlocks(StereoRing& ring, size_t& next, size_t frames, bool paced) {
    constexpr size_t kPeriod = 32;
    float left[kPeriod], right[kPeriod];
    auto due = std::chrono::steady_clock::now();
    for (size_t done = 0; done < frames; done += kPeriod) {
        if (paced) std::this_thread::sleep_until(due += std::chrono::microseconds(667));
        for (size_t i = 0; i < kPeriod; ++i) {
            left[i] = Sample(next + i, 0);
            right[i] = Sample(next + i, 1);
        }
        if (ring.Push({left, right, 1}, kPeriod)) next += kPeriod;
    }
}

void ExpectFileHolds(const std::string& path, size_t frames) {
    const WavContents wav = ReadWav(path);
    ASSERT_EQ(wav.Frames(), frames);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(wav.samples[2 * i], Sample(i, 0)) << i;
        ASSERT_EQ(wav.samples[2 * i + 1], Sample(i, 1)) << i;
    }
}

TEST(OutputRecorder, FileHoldsEveryPeriodInOrderAndWhatDidNotFitIsCounted) {
    QTemporaryDir dir;
    // Half a second of periods while the recorder writes.
    const std::string live = dir.filePath("live.wav").toStdString();
    OutputRecorder recorder;
    recorder.Start(live, 48000);
    size_t next = 0;
    PushBlocks(recorder.Ring(), next, 24'000, true);
    const OutputRecorder::Result written = recorder.Finish();
    EXPECT_TRUE(written.saved);
    EXPECT_EQ(written.lostFrames, 0u);
    ExpectFileHolds(live, next);

    // Before the writer runs: the ring fills, and three periods find no room.
    const std::string full = dir.filePath("full.wav").toStdString();
    OutputRecorder late;
    next = 0;
    PushBlocks(late.Ring(), next, OutputRecorder::kRingFrames + 3 * 32, false);
    late.Start(full, 48000);
    const OutputRecorder::Result result = late.Finish();
    EXPECT_TRUE(result.saved);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.lostFrames, 96u);
    EXPECT_EQ(result.overflows, 3u);
    EXPECT_EQ(result.frames, OutputRecorder::kRingFrames);
    ExpectFileHolds(full, next);
    const std::string report = RecordingReport(result, "vi801");
    EXPECT_EQ(report, "vi801: recorded 0:10.9 into " + full + " (48000 Hz)\nvi801: " + full +
                          " misses 96 frames in 3 places: the disk fell behind the audio output\n");
}

// The summary says how long the audio output was gone, since the take
// leaves that time out.
TEST(OutputRecorder, TheSummarySaysHowLongTheOutputWasGone) {
    struct Case {
        unsigned outages;
        double gone;
        std::string error, report;
    };
    const Case cases[] = {
        {0, 0, "", "vi801: recorded 0:02.0 into t.wav (48000 Hz)\n"},
        {1, 3.25, "",
         "vi801: recorded 0:02.0 into t.wav (48000 Hz); the audio output was gone for 0:03.2 "
         "(once), which the take leaves out\n"},
        {3, 75.0, "the audio output came back at 44100 Hz, and a take keeps one rate",
         "vi801: recorded 0:02.0 into t.wav (48000 Hz); the audio output was gone for 1:15.0 "
         "(3 times), which the take leaves out\nvi801: the recording stopped early: the audio "
         "output came back at 44100 Hz, and a take keeps one rate\n"},
    };
    for (const Case& c : cases) {
        OutputRecorder::Result result;
        result.path = "t.wav";
        result.rate = 48000;
        result.frames = 96000;
        result.saved = true;
        result.outages = c.outages;
        result.outputGone = c.gone;
        result.error = c.error;
        EXPECT_EQ(RecordingReport(result, "vi801"), c.report);
    }
}

} // namespace
