// The adapter check, the controller reset and the fault clearing, with their messages.
#include "link/ui/commands.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "link/ui/waiter.h"
#include "tests/support/connecting.h"
#include "tests/support/recording_sink.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"

namespace {

using platform::Icon;
using platform::Report;
using testing_support::Bytes;
using testing_support::LiveRecord;

Report Info(const char* text) {
    return {text, "Внимание!", Icon::Information};
}
Report Warn(const char* text) {
    return {text, "Внимание!", Icon::Warning};
}

class CommandsTest : public testing::Test, protected testing_support::ScriptedStation {
  protected:
    CommandsTest() : ScriptedStation(1, 100) {}
    void StopWaiterAfterOpens(int opens) {
        testing_support::WhenReady(
            waiter.get(), [this, opens] { return backend.opens >= opens; },
            [this] { waiter->BitBtn1Click(); });
    }

    testing_support::RecordingSink sink;
    std::unique_ptr<kline::TWaiter> waiter = testing_support::MakeWaiter(station);
};

TEST_F(CommandsTest, EchoingAdapterWorksAndHearsTheProbeTwice) {
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kAdapterWorks)});
    EXPECT_EQ(backend.line.written, (Bytes{0xAA, 0xAA}));
    EXPECT_EQ(backend.line.closes, 1);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, AdapterAnsweringAnotherByteDoesNotWork) {
    backend.line.echo = false;
    backend.line.answers.push_back({0x55});
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kAdapterFails)});
    EXPECT_EQ(sink.Reports()[0].details, kline::FailureText(kline::FailureReason::EchoDiffers));
}

TEST_F(CommandsTest, SilentAdapterDoesNotWork) {
    backend.line.echo = false;
    const int64_t before = clock.NowMicros();
    kline::AdapterCheck(station);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kAdapterFails)});
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
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kAdapterWorks)});
}

Bytes LiveData(bool engineStopped) {
    return LiveRecord({{4, static_cast<uint8_t>(engineStopped)}});
}

TEST_F(CommandsTest, ResetOfAStoppedEngine) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(true), {0x51}});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kResetDone)});
    EXPECT_EQ(RequestTimes(0x11).size(), 1u);
    EXPECT_TRUE(RequestTimes(0x82).empty());  // no StopCommunication after a reset
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, RunningEngineRefusesTheReset) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(false), {0xC2}});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kEngineRunning)});
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_EQ(RequestTimes(0x82).size(), 1u);  // the connection is ended properly
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ResetMakesTwentyAttempts) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, LiveData(true)});
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(RequestTimes(0x11).size(), 20u);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warn(kline::kResetFailed)});
}

TEST_F(CommandsTest, ResetWithASilentEcuStoppedByTheUser) {
    StopWaiterAfterOpens(2);
    kline::ControllerReset(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warn(kline::kResetFailed)});
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ClearingSucceeds) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}, {0xC2}});
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kFaultsCleared)});
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
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warn(kline::kFaultsNotCleared)});
}

TEST_F(CommandsTest, ClearingWithASilentEcuStoppedByTheUserShowsTwoMessages) {
    StopWaiterAfterOpens(2);
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(),
              (std::vector<Report>{Warn(kline::kFaultsNotCleared), Warn(kline::kStopFailed)}));
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ClearingWithoutAStopAnswerWarnsAfterTheResult) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}});
    kline::FaultClearing(station, *waiter);
    EXPECT_EQ(sink.Reports(),
              (std::vector<Report>{Info(kline::kFaultsCleared), Warn(kline::kStopFailed)}));
    EXPECT_EQ(RequestTimes(0x82).size(), 10u);
}

TEST_F(CommandsTest, ClearingOverAFakeConnectorUsesTheConnectionItLeaves) {
    EcuAnswers({{0xC1, 0xEF, 0x8F}, {0x54}, {0xC2}});
    testing_support::OneAttemptConnector connector(station);
    kline::FaultClearing(station, connector);
    EXPECT_EQ(connector.shown, 1);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kFaultsCleared)});
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, ResetOverAFakeConnectorThatFailsSendsNoReset) {
    testing_support::OneAttemptConnector connector(station);
    kline::ControllerReset(station, connector);
    EXPECT_EQ(connector.shown, 1);
    EXPECT_TRUE(RequestTimes(0x11).empty());
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Warn(kline::kResetFailed)});
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CommandsTest, NoEcuTypeReportsFromEachOperation) {
    station.settings.ecuType = 5;
    station.BuildProtocol();
    kline::AdapterCheck(station);
    // BaudRate reports; the port is then set up with 0 baud, as the line has no type.
    ASSERT_FALSE(sink.Texts().empty());
    EXPECT_EQ(sink.Texts().front(), "Блок не выбран!");
}

}  // namespace
