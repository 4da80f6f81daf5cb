#include "hardware/emulated/outputkeeper.h"

OutputKeeper::OutputKeeper(Output output, std::string api, Listener listener, Clock::duration look,
                           Clock::duration retry)
    : output_(std::move(output)), listener_(std::move(listener)), look_(look), retry_(retry) {
    status_.api = std::move(api);
    thread_ = std::thread(&OutputKeeper::Run, this);
}

OutputKeeper::~OutputKeeper() {
    Stop();
}

void OutputKeeper::Stop() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(lock_);
    if (status_.lost) {
        status_.goneInAll += Clock::now() - since_;
        status_.lost = false;
    }
}

OutputStatus OutputKeeper::Status() const {
    std::lock_guard<std::mutex> lock(lock_);
    return StatusAt(Clock::now());
}

OutputStatus OutputKeeper::StatusAt(Clock::time_point now) const {
    OutputStatus status = status_;
    if (status.lost) {
        status.gone = now - since_;
        status.goneInAll += status.gone;
    }
    return status;
}

void OutputKeeper::Run() {
    std::unique_lock<std::mutex> lock(lock_);
    Clock::time_point nextTry{};
    while (!stopping_) {
        const bool lost = status_.lost;
        lock.unlock();
        if (!lost && output_.failed()) {
            Lost();
            nextTry = Clock::now() + retry_;
        } else if (lost && Clock::now() >= nextTry) {
            if (!TryReopen()) nextTry = Clock::now() + retry_;
        }
        lock.lock();
        wake_.wait_for(lock, look_, [this] { return stopping_; });
    }
}

// The listener hears of a change before Status() shows it, so that whoever
// saw the change in Status() finds what the listener did done.
void OutputKeeper::Lost() {
    output_.drop();
    const Clock::time_point now = Clock::now();
    OutputStatus status = Status();
    status.lost = true;
    ++status.outages;
    if (listener_) listener_(status);
    std::lock_guard<std::mutex> lock(lock_);
    status_.lost = true;
    ++status_.outages;
    since_ = now;
}

bool OutputKeeper::TryReopen() {
    if (!output_.reopen()) return false;
    const Clock::time_point now = Clock::now();
    OutputStatus status;
    {
        std::lock_guard<std::mutex> lock(lock_);
        status = StatusAt(now); // how long it was gone
    }
    status.lost = false;
    if (listener_) listener_(status);
    std::lock_guard<std::mutex> lock(lock_);
    status_.goneInAll += now - since_;
    status_.lost = false;
    return true;
}
