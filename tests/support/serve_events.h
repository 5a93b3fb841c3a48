// Waiting in a test as the station's own event loop waits: posted events, the poller's
// hand-overs and timers are served at once. (QTest's waits sleep between their rounds and
// hold up a poller that hands over every few milliseconds.)
#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <utility>

namespace testing_support {

// Serves events until `done` holds or `ms` of real time have passed; tells whether `done`
// holds. Without `done` it serves events for the whole `ms`.
inline bool ServeEventsUntil(const std::function<bool()>& done, int ms = 15000) {
    if (done && done())
        return true;
    QEventLoop loop;
    QTimer look;
    if (done) {
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (done())
                loop.quit();
        });
        look.start(1);
    }
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return done && done();
}

inline void ServeEvents(int ms) {
    ServeEventsUntil(nullptr, ms);
}

// The user of a test: once `ready` holds (looked at every millisecond while events are
// served), `act` runs, once. The look goes with `owner`.
inline void WhenReady(QObject* owner, std::function<bool()> ready, std::function<void()> act) {
    auto* look = new QTimer(owner);
    QObject::connect(look, &QTimer::timeout,
                     [look, ready = std::move(ready), act = std::move(act)] {
                         if (!ready())
                             return;
                         look->stop();
                         look->deleteLater();
                         act();
                     });
    look->start(1);
}

// The modal `dialog` is up and its showing is over: its one-shot report timer is not pending.
inline bool WaitsForTheUser(const QWidget* dialog, const QTimer* reportTimer) {
    return QApplication::activeModalWidget() == dialog && !reportTimer->isActive();
}

}  // namespace testing_support
