// Every fault the simulated devices inject reaches the station's exchange as the reason that
// sim::ExpectedReason names for it.
#include "tests/sim/fault_reasons.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/sim/sim_fixture.h"
#include "tests/support/frames.h"
#include "tests/support/row_names.h"

namespace {

using kline::FailureReason;
using sim::Fault;
using sim::FaultKind;
using sim_test::Line;

constexpr int64_t kStationByteWait = 110'000;  // the port's per-byte time-out

struct ReasonCase {
    const char* name;
    std::function<void(Line&)> inject;  // after the session has started
    FailureReason mapped;               // what sim::ExpectedReason says
    FailureReason reason;               // what the exchange must say
};

ReasonCase EcuFault(const char* name, Fault fault, FailureReason reason) {
    return {name, [fault](Line& line) { line.backend.SetFault(0x21, fault); },
            sim::ExpectedReason(fault, kStationByteWait), reason};
}

ReasonCase Adapter(const char* name, sim::AdapterMode mode, FailureReason reason) {
    return {name, [mode](Line& line) { line.backend.SetAdapter(mode); }, sim::ExpectedReason(mode),
            reason};
}

// The port is opened afresh with `call` failing (opening), or `call` fails on the open port.
ReasonCase PortFault(const char* name, sim::PortCall call, FailureReason reason) {
    return {name,
            [call](Line& line) {
                if (call != sim::PortCall::WriteByte) {
                    kline::ClosePort(line.port);
                    line.backend.FailCall(call);
                    EXPECT_FALSE(line.Open());
                }
                line.backend.FailCall(call);
            },
            sim::ExpectedReason(call), reason};
}

Fault Delayed(int64_t micros) {
    return Fault{FaultKind::Delay, 0, micros};
}

class FaultReasons : public testing::TestWithParam<ReasonCase> {};

TEST_P(FaultReasons, AreTheExchangesReasons) {
    Line line(sim_test::Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    GetParam().inject(line);
    EXPECT_EQ(GetParam().mapped, GetParam().reason);
    EXPECT_EQ(line.Ask({0x21, 0x01}).reason, GetParam().reason);
}

using R = FailureReason;
INSTANTIATE_TEST_SUITE_P(
    Simulator, FaultReasons,
    testing::Values(
        EcuFault("NoFault_None", Fault{}, R::None),
        EcuFault("Silent_Silent", Fault{FaultKind::Silent}, R::Silent),
        EcuFault("Negative_NegativeAnswer", Fault{FaultKind::Negative, 0x22}, R::NegativeAnswer),
        EcuFault("WrongChecksum_BadChecksum", Fault{FaultKind::WrongChecksum}, R::BadChecksum),
        EcuFault("WrongSource_WrongSource", Fault{FaultKind::WrongSource}, R::WrongSource),
        EcuFault("DelayWithinTheWait_None", Delayed(100'000), R::None),
        EcuFault("DelayToTheLastMicrosecond_None", Delayed(kStationByteWait - sim::kByteMicros),
                 R::None),
        EcuFault("DelayOneMicrosecondTooLong_Silent",
                 Delayed(kStationByteWait - sim::kByteMicros + 1), R::Silent),
        EcuFault("DelayBeyondTheWait_Silent", Delayed(200'000), R::Silent),
        Adapter("AdapterPresent_None", sim::AdapterMode::Normal, R::None),
        Adapter("AdapterAbsent_NoEcho", sim::AdapterMode::Absent, R::NoEcho),
        Adapter("NoEcuOnTheLine_Silent", sim::AdapterMode::NoEcu, R::Silent),
        PortFault("OpenRefused_PortClosed", sim::PortCall::Open, R::PortClosed),
        PortFault("SetTimeoutsRefused_PortClosed", sim::PortCall::SetTimeouts, R::PortClosed),
        PortFault("WriteRefused_WriteFailed", sim::PortCall::WriteByte, R::WriteFailed)),
    testing_support::RowName);

}  // namespace
