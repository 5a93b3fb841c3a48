// Waiting for a worker thread from the user-interface thread without locking up: the wait
// keeps serving events, so a worker blocked in a hand-over or a message box can finish.
#pragma once

class QThread;

namespace kline {

void WaitServingEvents(QThread& thread);

}  // namespace kline
