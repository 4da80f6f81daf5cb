// The real output path: the card plays into a userspace JACK server started
// for the test, and a JACK client of ours records what it plays.
#include "rig.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Runs a program found on PATH with its output in logPath; -1 when it can't start.
pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Exit status, or -1 when it did not end within the timeout (it is killed then).
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    std::string server = "vi801-test-" + std::to_string(getpid());
    std::string log = (std::filesystem::temp_directory_path() / (server + ".log")).string();
    pid_t jackd = -1;

    void SetUp() override {
        // The server and every client of this process meet under this name,
        // apart from any other server on the machine. Synchronous mode: a
        // client late on a loaded machine delays the cycle instead of
        // leaving a gap in what the capture client hears.
        setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
        jackd = Spawn({"jackd", "-S", "-r", "-d", "dummy", "-r", "48000", "-p", "128"}, log);
        if (jackd < 0) GTEST_SKIP() << "jackd can't be started (is jackd2 installed?)";
        const pid_t wait = Spawn({"jack_wait", "-w", "-t", "5"}, log);
        if (wait < 0 || WaitFor(wait, 10s) != 0) {
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            GTEST_SKIP() << "jackd did not start: " << text.str();
        }
    }

    void TearDown() override {
        if (jackd > 0) {
            kill(jackd, SIGTERM);
            if (WaitFor(jackd, 5s) < 0) ADD_FAILURE() << "jackd did not stop";
        }
        unsetenv("JACK_DEFAULT_SERVER");
        std::filesystem::remove(log);
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
    const uint64_t before = rig.card.Applied().count;
    constexpr int kWrites = 1'000'000;
    // The queue holds a few thousand writes; the callback drains it every
    // 2.7 ms, so the writer waits for it again and again.
    for (int i = 0; i < kWrites; ++i)
        rig.Opl3().WriteRegister(0xA0 + (i % 9), static_cast<uint8_t>(i));
    std::this_thread::sleep_for(50ms);
    rig.card.StopOutput();
    std::vector<float> rest(2 * 4800);
    rig.card.Render(rest.data(), 4800);
    EXPECT_EQ(rig.card.Applied().count, before + kWrites);
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(rig.card.Applied().image[0xA0 + c], rig.Opl3().ReadRegister(0xA0 + c));
}

} // namespace
