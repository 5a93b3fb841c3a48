// The connecting step for tests: the real connecting dialog, looking every few milliseconds
// instead of every 500, or a fake that runs one attempt of the worker's body at once; and the
// station on a scripted line with its connecting dialog, for the commands and windows.
#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "link/connection.h"
#include "link/connector.h"
#include "link/station.h"
#include "link/ui/waiter.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace testing_support {

inline std::unique_ptr<kline::TWaiter> MakeWaiter(kline::Station& station,
                                                  QWidget* parent = nullptr, int lookMs = 5) {
    auto waiter = std::make_unique<kline::TWaiter>(station, parent);
    waiter->Timer1->setInterval(lookMs);
    return waiter;
}

// No dialog and no thread: one complete wake-up and StartCommunication attempt on the
// caller's thread, as if the user pressed "Остановить" right after it.
class OneAttemptConnector final : public kline::Connector {
  public:
    explicit OneAttemptConnector(kline::Station& station) : station_(station) {}
    void ShowWaiter() override {
        ++shown;
        station_.connecting = 1;
        std::atomic<bool> stop{true};  // looked at only after the attempt
        kline::RunConnectionAttempt(station_, stop);
    }
    int shown = 0;

  private:
    kline::Station& station_;
};

// A station on a scripted line with the connecting dialog of the run, as the commands and the
// windows that connect get them from the main window, and the reports recorded. A user who
// gives up stops a connecting dialog still up after a minute on the clock, so that a command
// that connects when it should not fails instead of hanging.
struct ConnectingStation : ScriptedStation {
    explicit ConnectingStation(int family = 1, int requestDelay = 100)
        : ScriptedStation(family, requestDelay) {
        // The look is the dialog's child, so the dialog outlives it; `waiter` does not (it
        // is empty while the dialog is being destroyed, and Windows still serves timers then).
        auto* patience = new QTimer(waiter.get());
        QObject::connect(patience, &QTimer::timeout, [this, dialog = waiter.get()] {
            if (dialog->isVisible() && clock.NowMicros() - waiterShown_ > 60'000'000)
                dialog->BitBtn1Click();
            if (!dialog->isVisible())
                waiterShown_ = clock.NowMicros();
        });
        patience->start(2);
    }

    RecordingSink sink;
    std::unique_ptr<kline::TWaiter> waiter = MakeWaiter(station);

  private:
    int64_t waiterShown_ = 0;
};

// A suite run once for each ECU family it is given, over a scripted line.
class FamilyOnScriptedLine : public testing::TestWithParam<int>, protected ConnectingStation {
  protected:
    FamilyOnScriptedLine() : ConnectingStation(GetParam()) {}
};

}  // namespace testing_support
