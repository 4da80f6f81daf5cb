#include "boundedcall.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace {

using namespace std::chrono_literals;

// A call's answer that tells on which thread it ended.
struct Answer {
    int value;
    std::shared_ptr<std::promise<std::thread::id>> ended;
    Answer(int v, std::shared_ptr<std::promise<std::thread::id>> e)
        : value(v), ended(std::move(e)) {}
    Answer(Answer&& other) noexcept : value(other.value), ended(std::move(other.ended)) {}
    ~Answer() {
        if (ended) ended->set_value(std::this_thread::get_id());
    }
};

TEST(CallWithinTest, AnAnswerInTimeComesBackAndOneTooLateEndsOnItsOwnThread) {
    struct Case {
        const char* name;
        std::chrono::milliseconds bound;
        bool answersAtOnce; // otherwise only once the caller has given up
    };
    const Case cases[] = {
        {"in time", 60s, true},
        {"never within the bound", 20ms, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ended = std::make_shared<std::promise<std::thread::id>>();
        std::future<std::thread::id> endedOn = ended->get_future();
        std::promise<void> go;
        std::shared_future<void> released = go.get_future().share();
        if (c.answersAtOnce) go.set_value();
        {
            std::optional<Answer> answer = CallWithin(c.bound, [ended, released] {
                released.wait();
                return Answer(7, ended);
            });
            ASSERT_EQ(answer.has_value(), c.answersAtOnce);
            if (answer) {
                EXPECT_EQ(answer->value, 7);
            }
        }
        if (!c.answersAtOnce) go.set_value();
        const std::thread::id thread = endedOn.get();
        EXPECT_EQ(thread == std::this_thread::get_id(), c.answersAtOnce);
    }
}

TEST(CallWithinTest, WaitTextReadsAsTheUserReadsIt) {
    const std::pair<std::chrono::milliseconds, const char*> cases[] = {
        {1000ms, "1 s"}, {2000ms, "2 s"}, {1500ms, "1500 ms"}, {250ms, "250 ms"}};
    for (const auto& [bound, text] : cases)
        EXPECT_EQ(WaitText(bound), text);
}

} // namespace
