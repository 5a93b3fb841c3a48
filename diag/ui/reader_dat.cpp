#include "diag/ui/reader_dat.h"

#include "platform/clock.h"
#include "platform/thread_name.h"
#include "window_kit/wait.h"

namespace diag {

namespace {
constexpr int kStopGraceMs = 25;
}

TReader_dat::TReader_dat(kline::Station& station, int group, QObject* window, PollDisplay& display)
    : handOver_(window, display), poller_(station, group, handOver_) {
    start();
}

TReader_dat::~TReader_dat() {
    if (!isRunning())
        return;
    // Only reached when the owner did not stop it first; a running QThread must not be
    // destroyed.
    RequestTerminate();
    kline::WaitServingEvents(*this);
}

void TReader_dat::run() {
    platform::NameThisThread("TReader_dat");
    poller_.Run();
}

void TReader_dat::HandOver::StartPanels(std::span<const int32_t> items) {
    QMetaObject::invokeMethod(
        window_, [this, items] { display_.StartPanels(items); }, Qt::BlockingQueuedConnection);
}

void TReader_dat::HandOver::ShowValues(std::span<const int32_t> items,
                                       const kline::KwpMessage& liveData) {
    QMetaObject::invokeMethod(
        window_, [this, items, &liveData] { display_.ShowValues(items, liveData); },
        Qt::BlockingQueuedConnection);
}

void StopPoller(std::unique_ptr<TReader_dat>& poller) {
    if (!poller)
        return;
    poller->RequestTerminate();
    platform::Sleep(kStopGraceMs);
    kline::WaitServingEvents(*poller);
    poller.reset();
}

}  // namespace diag
