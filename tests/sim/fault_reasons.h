// What the station's exchange says when a fault of the simulated devices hits one request: the
// reason of kline::Exchange for each way the adapter, the ECU and the port are made to fail.
// The test injects a fault and expects this reason; the mapping lives beside it so that the
// simulator needs nothing of the link.
#pragma once

#include <cstdint>

#include "link/kwp_message.h"
#include "sim/ecu.h"
#include "sim/kline_bus.h"
#include "sim/simulated_backend.h"

namespace sim {

// An ECU fault on the request's service. `byteWaitMicros` is how long the station waits for one
// byte (110 ms): an answer delayed beyond it is silence to the station.
kline::FailureReason ExpectedReason(const Fault& fault, int64_t byteWaitMicros);

// The adapter's mode, with the ECU answering.
kline::FailureReason ExpectedReason(AdapterMode adapter);

// A port call made to fail: any step of opening leaves the port closed.
kline::FailureReason ExpectedReason(PortCall call);

}  // namespace sim
