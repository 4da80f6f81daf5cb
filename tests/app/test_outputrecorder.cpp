// Recording the emulated card's output: the ring between the callback and
// the recorder's thread, and the whole path on a userspace JACK server.
#include "app/cardsession.h"
#include "app/outputrecorder.h"
#include "emulated/rig.h"
#include "support/jackcapture.h"
#include "support/jackserver.h"
#include "wavfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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

class RecordThroughJack : public testing::Test {
protected:
    std::unique_ptr<JackServer> server;

    void SetUp() override {
        server = std::make_unique<JackServer>();
        if (!server->Running()) GTEST_SKIP() << server->Why();
    }
};

TEST_F(RecordThroughJack, TheFileIsWhatJackHeardFrameForFrame) {
    QTemporaryDir dir;
    CommandLine options;
    options.card = CardOption::Emulated;
    options.record = dir.filePath("take.wav").toStdString();
    CardSession session(options);
    ASSERT_TRUE(session.Card().output.open) << session.Card().output.error;
    ASSERT_EQ(session.Card().output.api, "JACK");

    JackCapture capture(48000);
    ASSERT_EQ(capture.Open(), "");
    std::this_thread::sleep_for(100ms);
    capture.recording.store(true);
    std::this_thread::sleep_for(50ms);
    {
        FM801 fm(EmulatedCard::kDefaultBase);
        fm.Opl3->SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
        for (uint8_t note : {60, 64, 67}) {
            fm.Opl3->NoteOn(0, 0, note);
            std::this_thread::sleep_for(100ms);
        }
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!capture.Full() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        capture.Close();
    } // the chip is reset: the recording hears it
    std::ostringstream report;
    EXPECT_TRUE(session.Finish(report)) << report.str();
    ASSERT_TRUE(capture.Full());

    const WavContents wav = ReadWav(options.record);
    ASSERT_TRUE(wav.read);
    EXPECT_EQ(wav.rate, 48000);
    // The recording began at the first period, the capture later: the notes
    // line them up.
    const auto firstSound = [](const std::vector<float>& x) {
        for (size_t i = 0; i < x.size(); i += 2)
            if (std::fabs(x[i]) > 1e-3) return i / 2;
        return x.size() / 2;
    };
    const size_t heard = firstSound(capture.samples), recorded = firstSound(wav.samples);
    ASSERT_LT(heard, capture.samples.size() / 2) << "the capture heard no note";
    ASSERT_GE(recorded, heard);
    const size_t offset = recorded - heard;
    ASSERT_LE(offset + capture.samples.size() / 2, wav.Frames());
    double worst = 0;
    for (size_t i = 2 * heard; i < capture.samples.size(); ++i)
        worst =
            std::max(worst, std::fabs(double{capture.samples[i]} - wav.samples[2 * offset + i]));
    // 24-bit samples in the file: at most one step apart.
    EXPECT_LE(worst, 1.0 / 8388608) << "frames differ";
    std::printf("recording against the JACK capture over %zu frames: at most %.3g apart\n",
                capture.samples.size() / 2 - heard, worst);
}

} // namespace
