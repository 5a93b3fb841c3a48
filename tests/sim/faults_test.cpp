// Injected faults of the ECU, the adapter and the port, each producing what the station's
// own checks must reject; and bad input that the devices must survive.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "tests/sim/sim_fixture.h"
#include "tests/support/row_names.h"

namespace {

using sim::Fault;
using sim::FaultKind;
using sim_test::Bytes;
using sim_test::Family;
using sim_test::Hex;
using sim_test::Line;

struct FaultCase {
    const char* name;
    Fault fault;
    const char* answerFrame;  // what the ECU sends for 21 01 of type 1 (up to its 7th byte)
};

class EcuFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(EcuFaults, AreRejectedByTheExchangeAndGoAwayWhenCleared) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFault(0x21, GetParam().fault);
    line.backend.ClearLog();
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1);
    line.clock.Advance(300'000);  // let the whole answer, if any, reach the line
    const Bytes answer = line.EcuBytes();
    EXPECT_EQ(Hex(Bytes(answer.begin(), answer.begin() + std::min<size_t>(answer.size(), 7))),
              GetParam().answerFrame);
    line.backend.ClearInjectedFaults();
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 0);
}

INSTANTIATE_TEST_SUITE_P(
    LiveData, EcuFaults,
    testing::Values(FaultCase{"Silent", Fault{FaultKind::Silent}, ""},
                    FaultCase{"Negative", Fault{FaultKind::Negative, 0x22}, "83 F1 10 7F 21 22 46"},
                    FaultCase{"WrongSource", Fault{FaultKind::WrongSource}, "A2 F1 11 61 01 2B 1A"},
                    FaultCase{"Delay", Fault{FaultKind::Delay, 0, 200'000},
                              "A2 F1 10 61 01 2B 1A"}),
    testing_support::RowName);

TEST(EcuFaults, WrongChecksumIsOffByOne) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFault(0x82, Fault{FaultKind::WrongChecksum});
    line.backend.ClearLog();
    EXPECT_FALSE(line.protocol.StopCommunication(line.port));
    EXPECT_EQ(Hex(line.EcuBytes()), "81 F1 11 C2 46");  // 45 is right
}

TEST(EcuFaults, DelayWithinTheByteTimeOutIsStillAnAnswer) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFault(0x21, Fault{FaultKind::Delay, 0, 100'000});
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 0);
}

TEST(EcuFaults, FailFirstLeavesThatManyRequestsUnanswered) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFault(0x1A, sim::FailFirst(3));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(line.Ask({0x1A, 0x80}).error, 1) << "request " << i;
    EXPECT_EQ(line.Ask({0x1A, 0x80}).error, 0);
    EXPECT_EQ(line.Ask({0x1A, 0x80}).error, 0);
}

TEST(EcuFaults, ServiceFaultWinsOverTheFaultForAll) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFaultForAll(Fault{FaultKind::Silent});
    line.backend.SetFault(0x18, Fault{FaultKind::Negative, 0x78});
    line.backend.ClearLog();
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1);
    EXPECT_TRUE(line.EcuBytes().empty());
    EXPECT_EQ(line.Ask({0x18, 0x00, 0xFF, 0x00}).error, 1);
    line.clock.Advance(20'000);
    EXPECT_EQ(Hex(line.EcuBytes()), "83 F1 10 7F 18 78 93");
}

TEST(EcuFaults, SilencedClearingLeavesTheFaultCodes) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.SetFault(0x14, Fault{FaultKind::Silent, 0x22, 0, 20});
    for (int attempt = 0; attempt < 20; ++attempt)
        EXPECT_FALSE(line.protocol.ClearFaults(line.port));
    EXPECT_EQ(line.backend.Dtcs().size(), 2u);
    EXPECT_TRUE(line.protocol.ClearFaults(line.port)) << "the fault hit 20 requests only";
    EXPECT_TRUE(line.backend.Dtcs().empty());
}

TEST(EcuFaults, EveryKindOnStartCommunicationMeansNoConnection) {
    for (FaultKind kind : {FaultKind::Silent, FaultKind::Negative, FaultKind::WrongChecksum,
                           FaultKind::WrongSource, FaultKind::Delay}) {
        Line line(Family(0));
        line.backend.SetFault(0x81, Fault{kind});
        ASSERT_TRUE(line.Open());
        EXPECT_FALSE(line.Start()) << "kind " << static_cast<int>(kind);
    }
}

TEST(AdapterFaults, NoAdapterEchoesNothingAndAnswersNoProbe) {
    Line line(Family(1));
    line.backend.SetAdapter(sim::AdapterMode::Absent);
    ASSERT_TRUE(line.Open());
    ASSERT_EQ(line.port.device->WriteByte(0xAA), 1);
    const int64_t before = line.clock.NowMicros();
    uint8_t byte = 0;
    EXPECT_EQ(line.port.device->ReadByte(byte), 0);
    EXPECT_EQ(line.clock.NowMicros() - before, 110'000);
    EXPECT_FALSE(line.Start());
    EXPECT_TRUE(line.backend.Requests().empty()) << "nothing reached the ECU";
}

TEST(AdapterFaults, AdapterWithoutEcuEchoesOnly) {
    Line line(Family(1));
    line.backend.SetAdapter(sim::AdapterMode::NoEcu);
    ASSERT_TRUE(line.Open());
    ASSERT_EQ(line.port.device->WriteByte(0xAA), 1);
    uint8_t byte = 0;
    ASSERT_EQ(line.port.device->ReadByte(byte), 1);
    EXPECT_EQ(byte, 0xAA);
    EXPECT_FALSE(line.Start());
    EXPECT_TRUE(line.EcuBytes().empty());
}

struct PortCase {
    const char* name;
    sim::PortCall call;
    const char* message;
};

class PortFaults : public testing::TestWithParam<PortCase> {};

TEST_P(PortFaults, FailTheOpenWithItsMessageAndLeaveThePortClosed) {
    Line line(Family(0));
    line.backend.FailCall(GetParam().call);
    EXPECT_FALSE(line.Open());
    EXPECT_EQ(line.sink.Texts(), std::vector<std::string>{GetParam().message});
    EXPECT_FALSE(line.backend.Port().open);
    line.backend.FailCall(GetParam().call, false);
    line.sink.Clear();
    EXPECT_TRUE(line.Open()) << "the port opens again once the call works";
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, PortFaults,
    testing::Values(
        PortCase{"Open", sim::PortCall::Open, kline::kPortBusy},
        PortCase{"GetState", sim::PortCall::GetState, kline::kPortReadSettingsFailed},
        PortCase{"SetState", sim::PortCall::SetState, kline::kPortWriteSettingsFailed},
        PortCase{"ClearDtr", sim::PortCall::ClearDtr, kline::kPortModemLinesFailed},
        PortCase{"ClearRts", sim::PortCall::ClearRts, kline::kPortModemLinesFailed},
        PortCase{"GetTimeouts", sim::PortCall::GetTimeouts, kline::kPortReadTimeoutsFailed},
        PortCase{"SetTimeouts", sim::PortCall::SetTimeouts, kline::kPortWriteTimeoutsFailed}),
    testing_support::RowName);

TEST(PortFaults, PulledAdapterFailsTheWriteAndTheExchange) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.FailCall(sim::PortCall::WriteByte);
    line.backend.ClearLog();
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1);
    EXPECT_TRUE(line.backend.Log().empty()) << "nothing was sent";
}

TEST(Port, OpenSetsTheLineUpAsTheStationAsks) {
    Line line(Family(1));
    ASSERT_TRUE(line.Open());
    const sim::PortSnapshot p = line.backend.Port();
    EXPECT_TRUE(p.open);
    EXPECT_EQ(p.line.baudRate, 10400u);
    EXPECT_FALSE(p.line.xonXoffOutput || p.line.xonXoffInput || p.line.dtrHandshake);
    EXPECT_TRUE(p.dtrCleared && p.rtsCleared);
    EXPECT_EQ(p.timeouts.readTotalConstant, 90u);
    EXPECT_EQ(p.names, std::vector<std::string>{"COM1"});
}

TEST(Port, IsNotShared) {
    Line line(Family(1));
    ASSERT_TRUE(line.Open());
    EXPECT_EQ(line.backend.Open("COM1"), nullptr);
    kline::ClosePort(line.port);
    EXPECT_FALSE(line.backend.Port().open);
    EXPECT_NE(line.backend.Open("COM1"), nullptr);
}

TEST(Port, ClosedPortRefusesEveryCall) {
    Line line(Family(1));
    auto port = line.backend.Open("COM1");
    ASSERT_TRUE(port->Close());
    uint8_t byte = 0;
    platform::LineSettings settings;
    EXPECT_FALSE(port->GetState(settings));
    EXPECT_EQ(port->WriteByte(0xAA), 0);
    EXPECT_EQ(port->ReadByte(byte), 0);
    EXPECT_FALSE(port->Close());
}

TEST(Port, XonXoffLeftOnSwallowsTheType0Address) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    platform::LineSettings settings;
    ASSERT_TRUE(line.port.device->GetState(settings));
    settings.xonXoffOutput = true;
    ASSERT_TRUE(line.port.device->SetState(settings));
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1) << "the answer's source 0x11 never arrives";
}

TEST(BadInput, UnknownServicesGetServiceNotSupported) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    const std::vector<uint8_t> known{0x81, 0x82, 0x3E, 0x21, 0x1A, 0x18, 0x14, 0x11, 0x30};
    for (int sid = 0; sid < 256; ++sid) {
        if (std::find(known.begin(), known.end(), sid) != known.end())
            continue;
        line.backend.ClearLog();
        const auto s = static_cast<uint8_t>(sid);
        const uint8_t error = line.Ask({s}).error;
        // For 0x3F and 0x7F the negative answer's 0x7F is what the exchange expects.
        if ((s | 0x40) != 0x7F) {
            EXPECT_EQ(error, 1) << "SID " << sid;
        }
        line.clock.Advance(20'000);
        const Bytes answer = line.EcuBytes();
        ASSERT_EQ(answer.size(), 7u) << "SID " << sid;
        EXPECT_EQ(Hex(Bytes(answer.begin() + 3, answer.begin() + 6)), Hex({0x7F, s, 0x11}));
    }
}

TEST(BadInput, MalformedRequestsGetNegativeAnswers) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    const std::vector<std::pair<Bytes, const char*>> cases{{{0x21}, "7F 21 12"},
                                                           {{0x21, 0x02}, "7F 21 31"},
                                                           {{0x1A, 0x81}, "7F 1A 31"},
                                                           {{0x18, 0x00, 0x01, 0x00}, "7F 18 31"},
                                                           {{0x14, 0x01}, "7F 14 12"},
                                                           {{0x11, 0x02}, "7F 11 12"},
                                                           {{0x30, 0x62, 0x00}, "7F 30 31"},
                                                           {{0x30, 0x61, 0x08}, "7F 30 12"}};
    for (const auto& [request, negative] : cases) {
        line.backend.ClearLog();
        kline::KwpMessage m;
        std::copy(request.begin(), request.end(), m.data.begin());
        m.length = static_cast<uint8_t>(request.size());
        EXPECT_EQ(kline::Exchange(0x10, m, line.port).error, 1);
        line.clock.Advance(20'000);
        const Bytes answer = line.EcuBytes();
        ASSERT_EQ(answer.size(), 7u) << Hex(request);
        EXPECT_EQ(Hex(Bytes(answer.begin() + 3, answer.begin() + 6)), negative) << Hex(request);
    }
}

TEST(BadInput, FrameWithBadChecksumIsIgnored) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.ClearLog();
    for (uint8_t b : Bytes{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA6}) line.port.device->WriteByte(b);
    line.clock.Advance(100'000);
    EXPECT_TRUE(line.EcuBytes().empty());
    const std::vector<sim::RequestFrame> frames = line.backend.Requests();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].checksumOk);
}

TEST(BadInput, GarbageNeverBreaksTheDevices) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        const unsigned what = random() % 100;
        if (what < 2) {
            line.port.device->SetBreak();
            line.clock.Advance(random() % 30'000);
            line.port.device->ClearBreak();
        } else if (what < 10) {
            line.clock.Advance(random() % 40'000);
        } else if (what < 15) {
            line.port.device->PurgeReceive();
        } else if (what < 25) {
            uint8_t byte = 0;
            line.port.device->ReadByte(byte);
        } else {
            line.port.device->WriteByte(static_cast<uint8_t>(random()));
        }
    }
    line.clock.Advance(6'000'000);
    EXPECT_TRUE(line.Start()) << "after the garbage a wake-up still starts a session";
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 0);
}

TEST(Threads, FaultsChangeWhileAWorkerExchanges) {
    sim::EcuOptions options = Family(1);
    options.sessionTimeout = false;  // silent stretches must not end the session
    Line line(options);
    ASSERT_TRUE(line.OpenAndStart());
    std::atomic<int> answered{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            if (line.Ask({0x3E}).error == 0)
                ++answered;
        }
        done = true;
    });
    // The faults start changing once the worker is known to talk to the ECU, so that the
    // test does not depend on how the two threads happen to be scheduled.
    while (answered == 0 && !done) std::this_thread::yield();
    for (int i = 0; !done; ++i) {
        line.backend.SetFaultForAll(Fault{i % 2 ? FaultKind::Silent : FaultKind::None});
        line.backend.Log();
        std::this_thread::yield();
    }
    worker.join();
    line.backend.ClearInjectedFaults();
    EXPECT_GT(answered, 0);
    EXPECT_EQ(line.Ask({0x3E}).error, 0);
}

}  // namespace
