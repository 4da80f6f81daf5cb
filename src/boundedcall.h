#pragma once
// A call that waits on another process (a sound server, a MIDI system) and
// may never return: libjack, for one, reads its server's socket without a
// time-out, and a stopped or wedged server holds its client for good.
//
// CallWithin runs the call on a thread of its own and waits for it `bound`
// at most. A call that outlives the wait goes on alone, and what it returns
// then is destroyed on its thread: T's destructor releases what the call
// opened. The thread holds nothing of the caller's, so the caller may go
// and the process may end while it waits.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

template <class Call>
auto CallWithin(std::chrono::milliseconds bound, Call call) -> std::optional<decltype(call())> {
    using T = decltype(call());
    struct Meeting {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<T> answer;
        bool abandoned = false;
    };
    auto meeting = std::make_shared<Meeting>();
    std::thread([meeting, call = std::move(call)]() mutable {
        T answer = call();
        std::lock_guard lock(meeting->mutex);
        if (meeting->abandoned) return; // answer goes here, on this thread
        meeting->answer.emplace(std::move(answer));
        meeting->answered.notify_one();
    }).detach();
    std::unique_lock lock(meeting->mutex);
    if (!meeting->answered.wait_for(lock, bound, [&] { return meeting->answer.has_value(); })) {
        meeting->abandoned = true;
        return std::nullopt;
    }
    return std::move(meeting->answer);
}

// What can't be released safely (a JACK client whose server may have died:
// libjack crashes closing one) is kept until the process ends.
template <class T> void KeepToTheEnd(std::unique_ptr<T> kept) {
    static std::mutex mutex;
    static auto* const all = new std::vector<std::unique_ptr<T>>; // never destroyed
    std::lock_guard lock(mutex);
    all->push_back(std::move(kept));
}

// "1 s", "1500 ms": a bound as the user reads it.
inline std::string WaitText(std::chrono::milliseconds bound) {
    if (bound.count() % 1000 == 0) return std::to_string(bound.count() / 1000) + " s";
    return std::to_string(bound.count()) + " ms";
}
