// Waiting in a test as the station's own event loop waits: posted events, the poller's
// hand-overs and timers are served at once. (QTest's waits sleep between their rounds and
// hold up a poller that hands over every few milliseconds.)
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace reliability {

// Serves events until `done` holds or `ms` have passed; tells whether `done` holds.
inline bool ServeEventsUntil(const std::function<bool()>& done, int ms = 15000) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    look.start(1);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

}  // namespace reliability
