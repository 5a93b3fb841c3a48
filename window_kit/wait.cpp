#include "window_kit/wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace kline {

void WaitServingEvents(QThread& thread) {
    // Sleeps in short waits for the thread's end and serves what arrived in between: a
    // blocking hand-over or a message box of the worker is answered within a few ms, and
    // the wait costs no processor time while the worker sleeps its request delays.
    while (!thread.wait(5)) {
        // Posted events by hand: when this wait itself runs inside a posted event (a queued
        // call), the glib event dispatcher does not deliver posted events again.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace kline
