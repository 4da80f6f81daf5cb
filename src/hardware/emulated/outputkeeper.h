#pragma once
// Keeps an audio output playing: a thread of its own looks at it every
// `look`; once it has stopped by itself (its sound server went away, its
// device failed) the remains are dropped and it is opened again every
// `retry` until it plays or the keeper stops. What it saw is kept as an
// OutputStatus for whoever asks, and told to a listener as it happens.
#include "hardware/emulated/audiooutput.h" // OutputStatus

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class OutputKeeper {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kLook = std::chrono::milliseconds(100);
    static constexpr Clock::duration kRetry = std::chrono::seconds(2);

    struct Output {
        std::function<bool()> failed; // it stopped by itself
        std::function<void()> drop;   // close what is left of it
        std::function<bool()> reopen; // true when it plays again
    };
    // Called on the keeper's thread when the output is lost and when it is
    // back, before Status() says so; it must not call the keeper.
    using Listener = std::function<void(const OutputStatus&)>;

    // Starts watching an output that plays on `api`.
    OutputKeeper(Output output, std::string api, Listener listener = {},
                 Clock::duration look = kLook, Clock::duration retry = kRetry);
    ~OutputKeeper(); // stops
    OutputKeeper(const OutputKeeper&) = delete;
    OutputKeeper& operator=(const OutputKeeper&) = delete;

    // Ends the watch; an outage still running ends here. The status stays.
    void Stop();
    OutputStatus Status() const;

private:
    void Run();
    void Lost();
    bool TryReopen();
    OutputStatus StatusAt(Clock::time_point now) const; // under lock_

    const Output output_;
    const Listener listener_;
    const Clock::duration look_, retry_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    OutputStatus status_;     // lost, api, outages; goneInAll of outages that ended
    Clock::time_point since_; // when the running outage began
    std::thread thread_;      // last: starts once the rest exists
};
