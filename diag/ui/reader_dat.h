// The live-data poller's thread. The poll cycle itself is diag::Poller; this thread runs it
// and carries its two hand-overs to the diagnostics window's thread, waiting until each has
// run there.
#pragma once

#include <QThread>
#include <memory>

#include "diag/poller.h"
#include "link/station.h"

namespace diag {

class TReader_dat final : public QThread {
  public:
    // Starts polling `group` at once. StartPanels and ShowValues of `display` run on the
    // thread of `window`, which must be the user-interface thread.
    TReader_dat(kline::Station& station, int group, QObject* window, PollDisplay& display);
    ~TReader_dat() override;

    // Looked at between poll cycles only.
    void RequestTerminate() { poller_.RequestTerminate(); }

  protected:
    void run() override;

  private:
    // Runs each step on the window's thread by a blocking queued call.
    class HandOver final : public PollDisplay {
      public:
        HandOver(QObject* window, PollDisplay& display) : window_(window), display_(display) {}
        void StartPanels(std::span<const int32_t> items) override;
        void ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) override;

      private:
        QObject* window_;
        PollDisplay& display_;
    };

    HandOver handOver_;
    Poller poller_;
};

// The stop operation: request termination, sleep 25 ms, wait for the thread's end while
// serving events (so that a hand-over or the poller's message box that is pending can run),
// then destroy the poller. Does nothing when there is none.
void StopPoller(std::unique_ptr<TReader_dat>& poller);

}  // namespace diag
