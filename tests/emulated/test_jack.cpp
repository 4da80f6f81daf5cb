// The real output path: the card plays into a userspace JACK server started
// for the test, and a JACK client of ours records what it plays.
#include "rig.h"

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

// Records both inputs into memory from the JACK process callback.
struct Capture {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    std::vector<float> samples; // interleaved
    std::atomic<size_t> frames{0};
    std::atomic<bool> recording{false};
    std::atomic<int> xruns{0};

    static int Xrun(void* self) {
        static_cast<Capture*>(self)->xruns.fetch_add(1);
        return 0;
    }

    static int Process(jack_nframes_t n, void* self) {
        auto& c = *static_cast<Capture*>(self);
        if (!c.recording.load()) return 0;
        const auto* left = static_cast<const float*>(jack_port_get_buffer(c.ports[0], n));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(c.ports[1], n));
        size_t at = c.frames.load();
        for (jack_nframes_t i = 0; i < n && at < c.samples.size() / 2; ++i, ++at) {
            c.samples[2 * at] = left[i];
            c.samples[2 * at + 1] = right[i];
        }
        c.frames.store(at);
        return 0;
    }
};

class JackOutput : public testing::Test {
protected:
    std::unique_ptr<JackServer> server;

    void SetUp() override {
        server = std::make_unique<JackServer>();
        if (!server->Running()) GTEST_SKIP() << server->Why();
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

    Capture capture;
    capture.samples.resize(2 * 48000 * 3 / 2);
    capture.client = jack_client_open("vi801-capture", JackNoStartServer, nullptr);
    ASSERT_NE(capture.client, nullptr);
    const char* names[2] = {"left", "right"};
    for (int i = 0; i < 2; ++i) {
        capture.ports[i] = jack_port_register(capture.client, names[i], JACK_DEFAULT_AUDIO_TYPE,
                                              JackPortIsInput, 0);
        ASSERT_NE(capture.ports[i], nullptr);
    }
    jack_set_process_callback(capture.client, &Capture::Process, &capture);
    jack_set_xrun_callback(capture.client, &Capture::Xrun, &capture);
    ASSERT_EQ(jack_activate(capture.client), 0);
    const char** cardPorts = jack_get_ports(capture.client, "^VI 801:", nullptr, JackPortIsOutput);
    ASSERT_NE(cardPorts, nullptr);
    ASSERT_NE(cardPorts[0], nullptr);
    ASSERT_NE(cardPorts[1], nullptr);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(jack_connect(capture.client, cardPorts[i], jack_port_name(capture.ports[i])), 0);
    jack_free(cardPorts);

    rig.Opl3().SetPatch(TwoOperatorSine(), TwoOperatorOutputs());
    rig.Opl3().NoteOn(0, 0, 69);
    const int channel = KeyedTwoOperatorChannel(rig.Opl3());
    ASSERT_GE(channel, 0);
    const double expected = ChannelFrequency(rig.Opl3(), static_cast<uint16_t>(channel));
    std::this_thread::sleep_for(200ms);
    capture.recording.store(true);
    const auto end = std::chrono::steady_clock::now() + 15s;
    while (capture.frames.load() < capture.samples.size() / 2 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    jack_client_close(capture.client);
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
    ASSERT_TRUE(rig.card.StartOutput()) << rig.card.OutputInfo().error;
    const uint64_t before = rig.applied.count;
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

} // namespace
