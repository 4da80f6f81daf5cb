#include "app/endsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_writeEnd = -1;
volatile sig_atomic_t g_received = 0;
struct sigaction g_previous[std::size(kEndSignals)];

// Async-signal-safe: one write to a non-blocking pipe. A full pipe already
// holds a request to end, so a lost byte loses nothing.
void OnSignal(int signal) {
    const int savedErrno = errno;
    g_received = 1;
    const auto byte = static_cast<char>(signal);
    if (g_writeEnd >= 0) {
        const ssize_t written = write(g_writeEnd, &byte, 1);
        static_cast<void>(written);
    }
    errno = savedErrno;
}
} // namespace

EndSignals::EndSignals() {
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return; // then the default actions stay
    g_received = 0;
    g_writeEnd = pipe_[1];
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kEndSignals); ++i)
        sigaction(kEndSignals[i], &action, &g_previous[i]);
}

EndSignals::~EndSignals() {
    Unwatch();
    if (pipe_[0] < 0) return;
    for (size_t i = 0; i < std::size(kEndSignals); ++i)
        sigaction(kEndSignals[i], &g_previous[i], nullptr);
    g_writeEnd = -1;
    close(pipe_[0]);
    close(pipe_[1]);
}

void EndSignals::Watch(std::function<void()> onEnd) {
    onEnd_ = std::move(onEnd);
    if (pipe_[0] < 0 || notifier_) return;
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { Read(); });
}

void EndSignals::Unwatch() {
    delete notifier_;
    notifier_ = nullptr;
    onEnd_ = nullptr;
}

bool EndSignals::Received() const {
    return g_received != 0;
}

void EndSignals::Read() {
    char bytes[16];
    while (read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    // A second signal while the program ends changes nothing.
    if (ended_) return;
    ended_ = true;
    if (onEnd_) onEnd_();
}
