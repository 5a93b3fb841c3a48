#include "tests/sim/fault_reasons.h"

#include "sim/line_timing.h"

namespace sim {

using kline::FailureReason;

FailureReason ExpectedReason(const Fault& fault, int64_t byteWaitMicros) {
    switch (fault.kind) {
        case FaultKind::None:
            return FailureReason::None;
        case FaultKind::Silent:
            return FailureReason::Silent;
        case FaultKind::Negative:
            return FailureReason::NegativeAnswer;
        case FaultKind::WrongChecksum:
            return FailureReason::BadChecksum;
        case FaultKind::WrongSource:
            return FailureReason::WrongSource;
        case FaultKind::Delay:
            // The wait for the format byte starts with the last echo, at the end of the request;
            // the byte has arrived once it has ended on the line.
            return fault.delayMicros + kByteMicros > byteWaitMicros ? FailureReason::Silent
                                                                    : FailureReason::None;
    }
    return FailureReason::None;
}

FailureReason ExpectedReason(AdapterMode adapter) {
    // Without an adapter not even the echo comes back; without an ECU only the echo does.
    if (adapter == AdapterMode::Absent)
        return FailureReason::NoEcho;
    return adapter == AdapterMode::NoEcu ? FailureReason::Silent : FailureReason::None;
}

FailureReason ExpectedReason(PortCall call) {
    switch (call) {
        case PortCall::Open:
        case PortCall::GetState:
        case PortCall::SetState:
        case PortCall::ClearDtr:
        case PortCall::ClearRts:
        case PortCall::GetTimeouts:
        case PortCall::SetTimeouts:
            return FailureReason::PortClosed;
        case PortCall::WriteByte:
            return FailureReason::WriteFailed;
    }
    return FailureReason::None;
}

}  // namespace sim
