#include "app/endsignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {
// The application the notifier needs; one for the whole test program.
QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool WaitFor(const bool& flag) {
    QElapsedTimer timer;
    timer.start();
    while (!flag && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return flag;
}

TEST(EndSignals, EachEndSignalRunsTheEndOnceOnTheGuiThreadAndHandlersComeBack) {
    App();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, SIG_IGN);
        int ends = 0;
        bool ended = false;
        {
            EndSignals endSignals;
            endSignals.Watch([&] {
                ++ends;
                ended = true;
            });
            EXPECT_FALSE(endSignals.Received());
            std::raise(signal);
            std::raise(signal); // a second one while the program ends
            ASSERT_TRUE(WaitFor(ended)) << signal;
            QCoreApplication::processEvents();
            EXPECT_TRUE(endSignals.Received());
            EXPECT_EQ(ends, 1) << signal;
            endSignals.Unwatch();
            std::raise(signal); // once nothing watches: still no default action
        }
        struct sigaction now = {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << signal;
        std::signal(signal, SIG_DFL);
    }
}
// A signal that comes before the window can hear it (the program is still
// opening its files) waits, and ends the program as soon as it can.
TEST(EndSignals, ASignalBeforeTheWatchIsHeardWhenTheWatchBegins) {
    App();
    EndSignals endSignals;
    std::raise(SIGTERM);
    EXPECT_TRUE(endSignals.Received());
    bool ended = false;
    endSignals.Watch([&ended] { ended = true; });
    EXPECT_TRUE(WaitFor(ended));
}
} // namespace
