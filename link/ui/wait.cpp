#include "link/ui/wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace kline {

void WaitServingEvents(QThread& thread) {
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // The signal may have gone out before the connection was made: the loop only runs while
    // the thread still does, and wakes up often enough to look again.
    while (!thread.isFinished()) {
        // Posted events first, by hand: when this wait itself runs inside a posted event (a
        // queued call), the glib event dispatcher does not deliver posted events again, and a
        // worker's blocking hand-over would never run.
        QCoreApplication::sendPostedEvents();
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    thread.wait();
}

}  // namespace kline
