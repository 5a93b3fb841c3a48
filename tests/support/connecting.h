// The connecting step for tests: the real connecting dialog, looking every few milliseconds
// instead of every 500, or a fake that runs one attempt of the worker's body at once.
#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "link/connection.h"
#include "link/connector.h"
#include "link/station.h"
#include "link/ui/waiter.h"

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

}  // namespace testing_support
