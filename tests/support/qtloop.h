#pragma once
// The thread of a test or benchmark waiting in its event loop, as the
// program's GUI thread does. Qt Core only.
#include <QEventLoop>
#include <QTimer>

inline void RunLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
