#pragma once
// Ctrl-C in the terminal, SIGTERM (a desktop logging out) and SIGHUP end the
// program the way closing its main window does, so that the shutdown runs
// and the chip is reset. The handler only writes the signal's number to a
// pipe; the GUI thread reads it through a socket notifier and runs onEnd.
#include <QObject>

#include <functional>

class QSocketNotifier;

class EndSignals {
public:
    // Needs the application. One at a time; the previous handlers come back
    // when it is destroyed.
    explicit EndSignals(std::function<void()> onEnd);
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // A signal has come and onEnd has run.
    bool Received() const { return received_; }

private:
    void Read();

    std::function<void()> onEnd_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    bool received_ = false;
};
