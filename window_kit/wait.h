// Waiting for a worker thread from the user-interface thread without locking up: the wait
// keeps serving events, so a worker blocked in a hand-over or a message box can finish.
//
// The user's clicks, keys and close boxes are held back until the wait is over: a handler
// that started the wait (a click on "Остановить", a group change, a close) must not run
// again inside it, or it would tear down the worker the outer wait still uses. The held
// input is delivered, in order, once the worker has ended. A message box the worker asks
// for runs its own event loop and takes the user's answer as usual.
#pragma once

class QThread;

namespace kline {

void WaitServingEvents(QThread& thread);

}  // namespace kline
