#include "link/ui/wait.h"

#include <QEventLoop>
#include <QThread>

namespace kline {

void WaitServingEvents(QThread& thread) {
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // The signal may have gone out before the connection was made: the loop only runs while
    // the thread still does, and wakes up often enough to look again.
    while (!thread.isFinished()) {
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    thread.wait();
}

}  // namespace kline
