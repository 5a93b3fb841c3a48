// Beginning and end of every ECU function: the connection worker's body and Disconnect.
// The waiting dialog and the worker thread around the body live in the windows' half.
#pragma once

#include <atomic>

#include "link/station.h"

namespace kline {

// The body of the connection worker: opens the port, wakes the ECU and repeats
// StartCommunication until the ECU answers, the port cannot be opened again, or
// `terminate` is set (looked at only after a complete attempt). Sets `connected` when
// the ECU answered; always clears `connecting` at the end.
void RunConnectionAttempt(Station& station, std::atomic<bool>& terminate);

// Up to 10 StopCommunication attempts, each after the request delay, until one succeeds;
// then the port is closed and `connected` cleared. True when an attempt succeeded.
bool Disconnect(Station& station);

// A connection that a window left open (the fault list after ten unanswered reads) is ended
// properly before the port, the ECU type or the program goes away. Does nothing otherwise.
void EndLeftoverConnection(Station& station);

// Makes up to `attempts` tries of `op`, each after the request delay, until one succeeds.
template <class Op>
bool Retry(const Station& station, int attempts, Op&& op);

}  // namespace kline

#include "platform/clock.h"

template <class Op>
bool kline::Retry(const Station& station, int attempts, Op&& op) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        platform::Sleep(station.RequestDelay());
        if (op())
            return true;
    }
    return false;
}
