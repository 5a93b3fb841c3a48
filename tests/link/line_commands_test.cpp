// The adapter check, the controller reset and the fault clearing, with their messages.
#include "link/line_commands.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "link/ui/waiter.h"
#include "tests/support/connecting.h"
#include "tests/support/serve_events.h"

namespace {

using platform::Report;
using testing_support::Bytes;
using testing_support::Information;
using testing_support::LiveRecord;
using testing_support::Warning;

class CommandsTest : public testing::Test, protected testing_support::ConnectingStation {
  protected:
    void StopWaiterAfterOpens(int opens) {
        testing_support::WhenReady(
            waiter.get(), [this, opens] { return backend.opens >= opens; },
            [this] { waiter->BitBtn1Click(); });
    }
};

TEST_F(CommandsTest, EchoingAdapterWorksAndHearsTheProbeTwice) {
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kAdapterWorks)});
    EXPECT_EQ(backend.line.written, (Bytes{0xAA, 0xAA}));
    EXPECT_EQ(backend.line.closes, 1);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, AdapterAnsweringAnotherByteDoesNotWork) {
    backend.line.echo = false;
    backend.line.answers.push_back({0x55});
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kAdapterFails)});
    EXPECT_EQ(sink.Reports()[0].details, kline::FailureText(kline::FailureReason::EchoDiffers));
}

TEST_F(CommandsTest, SilentAdapterDoesNotWork) {
    backend.line.echo = false;
    const int64_t before = clock.NowMicros();
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kAdapterFails)});
    EXPECT_EQ(clock.NowMicros() - before, 110'000);
    EXPECT_EQ(sink.Reports()[0].details, kline::FailureText(kline::FailureReason::NoEcho));
    EXPECT_EQ(backend.line.closes, 1);
}

TEST_F(CommandsTest, AdapterCheckOnABusyPortShowsOnlyThePortMessage) {
    backend.refuseOpen = true;
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                                "Данный порт уже занят другим приложением или не поддерживается!"});
}

TEST_F(CommandsTest, AdapterCheckEndsAConnectionLeftOpenFirst) {
    LeftOpen();
    StopAnswered();
    kline::AdapterCheck(station);
    EXPECT_EQ(RequestTimes(0x82).size(), 1u);
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kAdapterWorks)});
}

Bytes LiveData(bool engineStopped) {
    return LiveRecord({{4, static_cast<uint8_t>(engineStopped)}});
}

TEST_F(CommandsTest, ResetOfAStoppedEngine) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(true), {0x51}});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kResetDone)});
    EXPECT_EQ(RequestTimes(0x11).size(), 1u);
    EXPECT_TRUE(RequestTimes(0x82).empty());  // no StopCommunication after a reset
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, RunningEngineRefusesTheReset) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(false), {0xC2}});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kEngineRunning)});
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_EQ(RequestTimes(0x82).size(), 1u);  // the connection is ended properly
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ResetMakesTwentyAttempts) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(true)});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(RequestTimes(0x11).size(), 20u);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warning(kline::kResetFailed)});
}

TEST_F(CommandsTest, ResetWithASilentEcuStoppedByTheUser) {
    StopWaiterAfterOpens(2);
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warning(kline::kResetFailed)});
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ClearingSucceeds) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}, {0xC2}});
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kFaultsCleared)});
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, RefusedClearingIsTriedTwentyTimesEachAfterTheDelay) {
    StartAnswered();
    for (int i = 0; i < 20; ++i) EcuAnswers({{0x7F, 0x14, 0x22}});
    StopAnswered();
    kline::FaultClearing(station, *waiter);
    const auto times = RequestTimes(0x14);
    ASSERT_EQ(times.size(), 20u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 100'000);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warning(kline::kFaultsNotCleared)});
}

TEST_F(CommandsTest, ClearingWithASilentEcuStoppedByTheUserShowsTwoMessages) {
    StopWaiterAfterOpens(2);
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(), (std::vector<Report>{Warning(kline::kFaultsNotCleared),
                                                   Warning(kline::kStopFailed)}));
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ClearingWithoutAStopAnswerWarnsAfterTheResult) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}});
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(), (std::vector<Report>{Information(kline::kFaultsCleared),
                                                   Warning(kline::kStopFailed)}));
    EXPECT_EQ(RequestTimes(0x82).size(), 10u);
}

TEST_F(CommandsTest, ClearingOverAFakeConnectorUsesTheConnectionItLeaves) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}, {0xC2}});
    testing_support::OneAttemptConnector connector(station);
    kline::FaultClearing(station, connector);
    EXPECT_EQ(connector.shown, 1);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Information(kline::kFaultsCleared)});
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ResetOverAFakeConnectorThatFailsSendsNoReset) {
    testing_support::OneAttemptConnector connector(station);
    kline::ControllerReset(station, connector);
    EXPECT_EQ(connector.shown, 1);
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warning(kline::kResetFailed)});
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, NoEcuTypeReportsFromEachOperation) {
    testing_support::UseFamily(station, 5);
    kline::AdapterCheck(station);
    // BaudRate reports; the port is then set up with 0 baud, as the line has no type.
    ASSERT_FALSE(sink.Texts().empty());
    EXPECT_EQ(sink.Texts().front(), "Блок не выбран!");
}

}  // namespace
