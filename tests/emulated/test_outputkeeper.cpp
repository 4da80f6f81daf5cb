// The keeper of the audio output, over an output of the test's own: when it
// fails, how often it is tried again, and what the status says meanwhile.
#include "hardware/emulated/outputkeeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kLook = 1ms;
constexpr auto kRetry = 20ms;

struct FakeOutput {
    std::atomic<bool> failed{false};
    std::atomic<int> refusals{0}; // reopen attempts still to refuse
    std::atomic<int> drops{0}, attempts{0};
    std::mutex lock;
    std::vector<OutputStatus> heard; // what the listener was told

    OutputKeeper::Output Hooks() {
        return {[this] { return failed.load(); }, [this] { ++drops; },
                [this] {
                    ++attempts;
                    if (refusals.load() > 0) {
                        --refusals;
                        return false;
                    }
                    failed = false;
                    return true;
                }};
    }
    OutputKeeper::Listener Listener() {
        return [this](const OutputStatus& s) {
            std::lock_guard<std::mutex> guard(lock);
            heard.push_back(s);
        };
    }
    size_t Heard() {
        std::lock_guard<std::mutex> guard(lock);
        return heard.size();
    }
};

// Waits for a condition, at most ten seconds.
bool WaitFor(const std::function<bool()>& condition) {
    const auto end = Clock::now() + 10s;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

TEST(OutputKeeper, ALostOutputIsToldAndTriedAgainUntilItPlays) {
    for (int refusals : {0, 1, 3}) {
        SCOPED_TRACE(testing::Message() << refusals << " refusals");
        FakeOutput output;
        output.refusals = refusals;
        OutputKeeper keeper(output.Hooks(), "JACK", output.Listener(), kLook, kRetry);
        EXPECT_FALSE(keeper.Status().lost);

        const auto failedAt = Clock::now();
        output.failed = true;
        ASSERT_TRUE(WaitFor([&] { return keeper.Status().lost; }));
        EXPECT_EQ(output.Heard(), 1u); // told before it shows
        const OutputStatus lost = keeper.Status();
        EXPECT_EQ(lost.api, "JACK");
        EXPECT_EQ(lost.outages, 1u);
        EXPECT_EQ(output.drops.load(), 1);

        ASSERT_TRUE(WaitFor([&] { return !keeper.Status().lost; }));
        const double took = Seconds(Clock::now() - failedAt);
        ASSERT_EQ(output.Heard(), 2u);
        EXPECT_TRUE(output.heard[0].lost);
        EXPECT_EQ(output.attempts.load(), refusals + 1);
        const OutputStatus back = output.heard[1];
        EXPECT_FALSE(back.lost);
        // The first try a retry after the loss, and one more per refusal.
        EXPECT_GE(Seconds(back.gone), (refusals + 1) * Seconds(kRetry));
        EXPECT_LE(Seconds(back.gone), took);
        const OutputStatus after = keeper.Status();
        EXPECT_FALSE(after.lost);
        EXPECT_EQ(after.outages, 1u);
        EXPECT_EQ(after.gone, OutputStatus::Duration{});
        EXPECT_EQ(after.goneInAll, back.gone);
        EXPECT_EQ(output.drops.load(), 1);
    }
}

TEST(OutputKeeper, StoppingEndsTheOutageAndTheTries) {
    FakeOutput output;
    output.refusals = 1'000'000;
    OutputKeeper keeper(output.Hooks(), "PulseAudio", output.Listener(), kLook, kRetry);
    output.failed = true;
    ASSERT_TRUE(WaitFor([&] { return output.attempts.load() >= 2; }));
    const OutputStatus lost = keeper.Status();
    EXPECT_TRUE(lost.lost);
    EXPECT_GE(lost.gone, 2 * kRetry);
    EXPECT_EQ(lost.goneInAll, lost.gone);

    keeper.Stop();
    const int attempts = output.attempts.load();
    const OutputStatus stopped = keeper.Status();
    EXPECT_FALSE(stopped.lost);
    EXPECT_EQ(stopped.outages, 1u);
    EXPECT_GE(stopped.goneInAll, lost.gone);
    EXPECT_EQ(output.Heard(), 1u); // lost, never back
    keeper.Stop();
    EXPECT_EQ(output.attempts.load(), attempts);
}

TEST(OutputKeeper, AnOutputThatPlaysOnIsLeftAlone) {
    FakeOutput output;
    std::atomic<int> looks{0};
    OutputKeeper::Output hooks = output.Hooks();
    hooks.failed = [&] { return ++looks, false; };
    OutputKeeper keeper(hooks, "ALSA", output.Listener(), kLook, kRetry);
    ASSERT_TRUE(WaitFor([&] { return looks.load() >= 20; }));
    keeper.Stop();
    EXPECT_EQ(output.drops.load(), 0);
    EXPECT_EQ(output.attempts.load(), 0);
    EXPECT_EQ(output.Heard(), 0u);
    EXPECT_EQ(keeper.Status().outages, 0u);
}

} // namespace
