#pragma once
// Ctrl-C in the terminal, SIGTERM (a desktop logging out) and SIGHUP end the
// program the way closing its main window does, so that the shutdown runs
// and the chip is reset. The handler only writes the signal's number to a
// pipe; the GUI thread reads it through a socket notifier and runs onEnd.
//
// The handlers are in place from construction on, before the program opens
// any file a signal must not cut short (a recording), and stay until the
// program has finished with it: a signal that comes before the window can
// hear it waits in the pipe, and one that comes after changes nothing.
#include <QObject>

#include <functional>

class QSocketNotifier;

class EndSignals {
public:
    // One at a time; the previous handlers come back when it is destroyed.
    EndSignals();
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // Needs the application: from now on onEnd runs on the GUI thread, once,
    // for the first signal, also one that came before.
    void Watch(std::function<void()> onEnd);
    // Before the application goes.
    void Unwatch();

    // A signal has come, heard yet or not.
    bool Received() const;

private:
    void Read();

    std::function<void()> onEnd_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    bool ended_ = false;
};
