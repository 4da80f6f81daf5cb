// The real output path: the card plays into a userspace JACK server started
// for the test, and a JACK client of ours records what it plays.
#include "rig.h"

#include "support/jackcapture.h"
#include "support/jackpeers.h"
#include "support/jackserver.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class JackOutput : public testing::Test {
protected:
    std::unique_ptr<JackServer> server;

    void SetUp() override {
        server = std::make_unique<JackServer>();
        REQUIRE_JACK_SERVER(*server);
    }
};

TEST_F(JackOutput, CardPlaysTheNoteAtItsPitchIntoJack) {
    Rig rig;
    ASSERT_TRUE(rig.card.StartOutput()) << rig.card.OutputInfo().error;
    const AudioOutputInfo& info = rig.card.OutputInfo();
    EXPECT_TRUE(info.open);
    EXPECT_EQ(info.api, "JACK");
    EXPECT_FALSE(info.device.empty());
    EXPECT_EQ(info.rate, 48000u);
    EXPECT_EQ(info.period, 128u);
    EXPECT_GT(info.latencyMs, 0.0);
    std::printf("output: %s, %s, %u Hz, %u frames, %.2f ms\n", info.api.c_str(),
                info.device.c_str(), info.rate, info.period, info.latencyMs);

    JackCapture capture(48000 * 3 / 2);
    ASSERT_EQ(capture.Open(), "");

    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().NoteOn(0, 0, 69);
    const int channel = KeyedTwoOperatorChannel(rig.Opl3());
    ASSERT_GE(channel, 0);
    const double expected = ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(channel));
    std::this_thread::sleep_for(200ms);
    capture.recording.store(true);
    const auto end = std::chrono::steady_clock::now() + 15s;
    while (!capture.Full() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    capture.Close();
    rig.card.StopOutput();

    ASSERT_EQ(capture.frames.load(), capture.samples.size() / 2) << "the server stopped playing";
    Signal s;
    s.rate = 48000;
    s.samples = capture.samples;
    std::printf("xruns while recording: %d\n", capture.xruns.load());
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side);
        const std::vector<double> x = s.Channel(side);
        EXPECT_GT(Rms(x), 0.01);
        const double error = Cents(MeasureFrequency(x, s.rate), expected);
        if (side == 0) std::printf("pitch through JACK: %+.4f cents\n", error);
        EXPECT_NEAR(error, 0.0, 0.1);
    }
}

TEST_F(JackOutput, WriterWaitsForTheCallbackAndLosesNothing) {
    Rig rig;
    // The reset's writes reach the chip offline first, while nothing else renders.
    std::vector<float> drain(2 * 128);
    rig.card.Render(drain.data(), 128);
    const uint64_t before = rig.applied.count;
    ASSERT_TRUE(rig.card.StartOutput()) << rig.card.OutputInfo().error;
    constexpr int kWrites = 1'000'000;
    // The queue holds a few thousand writes; the callback drains it every
    // 2.7 ms, so the writer waits for it again and again.
    for (int i = 0; i < kWrites; ++i)
        rig.Opl3().WriteRegister(0xA0 + (i % 9), static_cast<uint8_t>(i));
    std::this_thread::sleep_for(50ms);
    rig.card.StopOutput();
    std::vector<float> rest(2 * 4800);
    rig.card.Render(rest.data(), 4800);
    EXPECT_EQ(rig.applied.count, before + kWrites);
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(rig.applied.image[0xA0 + c], rig.Opl3().ReadRegister(0xA0 + c));
}

TEST_F(JackOutput, WhenTheServerDiesTheWriterTakesTheChipAndLosesNothing) {
    Rig rig;
    ASSERT_TRUE(rig.card.StartOutput()) << rig.card.OutputInfo().error;
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(server->Stop());
    // Far more than the queue holds: with no callback left, only the writer
    // can make room, and it must see that the stream died.
    constexpr int kWrites = 4 * EmulatedCard::kQueueCapacity;
    for (int i = 0; i < kWrites; ++i)
        rig.Opl3().WriteRegister(0xA0 + (i % 9), static_cast<uint8_t>(i));
    rig.card.StopOutput();
    std::vector<float> rest(2 * 480);
    rig.card.Render(rest.data(), 480);
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(rig.applied.image[0xA0 + c], rig.Opl3().ReadRegister(0xA0 + c));
}

// Waits for a condition, at most `limit`; how long it took, or -1 s.
template <typename Condition>
std::chrono::duration<double> WaitFor(Condition condition, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
        if (std::chrono::steady_clock::now() - start > limit) return -1s;
        std::this_thread::sleep_for(5ms);
    }
    return std::chrono::steady_clock::now() - start;
}

// Back at its own rate a recording goes on; back at another, the card plays
// in tune at that rate and lets the recording go, which can't change rate.
TEST_F(JackOutput, WhenTheServerComesBackTheCardPlaysOnWithItsChipAndWhatWasWrittenMeanwhile) {
    for (unsigned rate : {48000u, 44100u}) {
        SCOPED_TRACE(testing::Message() << "back at " << rate << " Hz");
        Rig rig;
        StereoRing recording(1 << 16);
        rig.card.SetOutputTap(&recording);
        std::atomic<int> told{0};
        ASSERT_TRUE(rig.card.StartOutput([&told](const OutputStatus&) { ++told; }))
            << rig.card.OutputInfo().error;
        // The patch reaches the chip before the server goes: the chip must keep it.
        rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
        ASSERT_GE(WaitFor([&] { return !rig.card.WritesPending(); }, 5s).count(), 0);

        ASSERT_TRUE(server->Stop());
        const auto noticed = WaitFor([&] { return rig.card.OutputState().lost; }, 5s);
        ASSERT_GE(noticed.count(), 0) << "the card never saw its server go";
        EXPECT_EQ(rig.card.OutputState().api, "JACK");
        // Written while nothing plays: heard once something does again.
        rig.Opl3().NoteOn(0, 0, 69);
        const int channel = KeyedTwoOperatorChannel(rig.Opl3());
        ASSERT_GE(channel, 0);
        const double expected = ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(channel));
        std::vector<float> drained(2 * recording.Capacity());
        while (recording.Pop(drained.data(), recording.Capacity()) > 0) {
        }

        ASSERT_TRUE(server->Start(rate)) << server->Why();
        const auto back = WaitFor([&] { return !rig.card.OutputState().lost; }, 15s);
        ASSERT_GE(back.count(), 0) << "the output never reopened";
        std::printf("server gone noticed after %.3f s; output reopened %.3f s after the server "
                    "restarted\n",
                    noticed.count(), back.count());
        EXPECT_LE(back.count(), 2 * OutputKeeper::kRetry / 1s + 1.0);
        const AudioOutputInfo info = rig.card.OutputInfo();
        EXPECT_TRUE(info.open);
        EXPECT_EQ(info.api, "JACK");
        EXPECT_EQ(info.rate, rate);
        const OutputStatus status = rig.card.OutputState();
        EXPECT_EQ(status.outages, 1u);
        EXPECT_GT(status.goneInAll, OutputStatus::Duration{});
        EXPECT_EQ(told.load(), 2);

        JackCapture capture(rate / 2);
        ASSERT_EQ(capture.Open(), "");
        capture.recording.store(true);
        ASSERT_GE(WaitFor([&] { return capture.Full(); }, 15s).count(), 0) << "nothing plays";
        capture.Close();
        rig.card.StopOutput();
        Signal s{capture.samples, rate};
        for (int side = 0; side < 2; ++side) {
            SCOPED_TRACE(side);
            const std::vector<double> x = s.Channel(side);
            EXPECT_GT(Rms(x), 0.01);
            EXPECT_NEAR(Cents(MeasureFrequency(x, s.rate), expected), 0.0, 0.1);
        }
        const bool kept = rate == 48000;
        EXPECT_EQ(rig.card.TapCutAtRate(), kept ? 0u : rate);
        EXPECT_EQ(recording.Pop(drained.data(), recording.Capacity()) > 0, kept);
        rig.card.SetOutputTap(nullptr);
    }
}

// A server that stops answering: the output is passed over within the wait
// and says why; a stream that its thread opens after the wait never renders.
std::atomic<int> periodsRendered{0};
void CountPeriod(void*, StereoOut, size_t) {
    periodsRendered.fetch_add(1);
}
void MustNotPrepare(void*, unsigned) {
    ADD_FAILURE() << "an output given up on was prepared";
}

TEST(UnansweredJack, TheOutputIsPassedOverWithinTheWaitAndTheReasonSaysSo) {
    MuteJackServer server;
    ASSERT_TRUE(server.Listening()) << server.Why();
    Rig rig;
    const bool open = rig.card.StartOutput(); // the test hangs here where the wait has no bound
    const AudioOutputInfo& info = rig.card.OutputInfo();
    EXPECT_NE(info.api, "JACK");
    if (!open) {
        EXPECT_NE(info.error.find("JACK: no answer within 1 s"), std::string::npos) << info.error;
    }
}

TEST_F(JackOutput, AStreamOpenedAfterTheWaitIsClosedWithoutRendering) {
    JackClientWatch watch("vi801-test-watch", "VI 801");
    ASSERT_TRUE(watch.Ok());
    ASSERT_TRUE(server->Pause());
    periodsRendered = 0;
    AudioOutput output(&CountPeriod, nullptr);
    const bool open = output.Open(&MustNotPrepare);
    ASSERT_TRUE(server->Resume());
    if (open) GTEST_SKIP() << "another output opened: " << output.Info().api;
    EXPECT_NE(output.Info().error.find("JACK: no answer within"), std::string::npos);
    // Let go, the server serves the late client: it is started, then closed
    // by its own thread.
    ASSERT_TRUE(watch.WaitCameAndWent(15s)) << "the late client did not come and go";
    EXPECT_EQ(periodsRendered.load(), 0);
}

// While its server is gone the output is opened again every few seconds: a
// server back but wedged holds no try past the wait, and one thread in all
// however often it is tried.
int prepared = 0;
void CountPrepare(void*, unsigned) {
    ++prepared;
}

TEST_F(JackOutput, AReopenOnAWedgedServerEndsWithinTheWaitAndStartsNoSecondWait) {
    AudioOutput output(&CountPeriod, nullptr);
    ASSERT_TRUE(output.Open(&CountPrepare)) << output.Info().error;
    ASSERT_EQ(output.Info().api, "JACK");
    output.Close();
    JackClientWatch watch("vi801-test-watch", "VI 801");
    ASSERT_TRUE(watch.Ok());
    ASSERT_TRUE(server->Pause());
    prepared = 0;
    EXPECT_FALSE(output.Reopen(&CountPrepare)); // the test hangs here where the wait has no bound
    EXPECT_EQ(output.Info().error, "JACK: no answer within 1 s");
    EXPECT_FALSE(output.Reopen(&CountPrepare));
    EXPECT_EQ(output.Info().error, "JACK: no answer yet to the last try");
    ASSERT_TRUE(server->Resume());
    ASSERT_TRUE(watch.WaitCameAndWent(15s)) << "the late client did not come and go";
    EXPECT_EQ(prepared, 0);
    // Once the late try has closed what it opened, the next one is made.
    const auto end = std::chrono::steady_clock::now() + 15s;
    while (!output.Reopen(&CountPrepare) &&
           output.Info().error == "JACK: no answer yet to the last try" &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(output.IsOpen()) << output.Info().error;
    EXPECT_EQ(prepared, 1);
}

} // namespace
