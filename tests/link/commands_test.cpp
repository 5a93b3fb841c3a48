// The adapter check, the controller reset and the fault clearing, with their messages.
#include "link/ui/commands.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "link/ui/waiter.h"
#include "tests/link/test_frames.h"
#include "tests/support/connecting.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"

namespace {

using link_test::Answer;
using link_test::Bytes;
using platform::Icon;
using platform::Report;

Report Info(const char* text) {
    return {text, "Внимание!", Icon::Information};
}
Report Warn(const char* text) {
    return {text, "Внимание!", Icon::Warning};
}

class CommandsTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::UseClock(&clock);
        testing_support::PrepareStation(station, backend, 1, 100);
        waiter = testing_support::MakeWaiter(station);
    }
    void TearDown() override {
        waiter.reset();
        platform::UseClock(nullptr);
    }
    void EcuAnswers(std::initializer_list<Bytes> answers) {
        for (const auto& data : answers)
            backend.line.answers.push_back(data.empty() ? data : Answer(0x10, data));
    }
    // Times at which requests with this SID were sent (type 1 frames of up to 63 bytes).
    std::vector<int64_t> RequestTimes(uint8_t sid) const {
        const auto& w = backend.line.written;
        std::vector<int64_t> times;
        for (size_t i = 0; i + 3 < w.size(); ++i)
            if ((w[i] & 0xC0) == 0x80 && w[i + 1] == 0x10 && w[i + 2] == 0xF1 && w[i + 3] == sid)
                times.push_back(backend.line.writeTimes[i]);
        return times;
    }
    void StopWaiterAfterOpens(int opens) {
        testing_support::WhenReady(
            waiter.get(), [this, opens] { return backend.opens >= opens; },
            [this] { waiter->BitBtn1Click(); });
    }

    platform::VirtualClock clock;
    testing_support::RecordingSink sink;
    testing_support::ScriptedBackend backend;
    kline::Station station;
    std::unique_ptr<kline::TWaiter> waiter;
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
    station.port.device = backend.Open("COM1");
    station.connected = 1;
    EcuAnswers({{0xC2}});
    kline::AdapterCheck(station);
    EXPECT_EQ(RequestTimes(0x82).size(), 1u);
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{Info(kline::kAdapterWorks)});
}

Bytes LiveData(bool engineStopped) {
    Bytes data(34, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    data[4] = engineStopped ? 0x01 : 0x00;
    return data;
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
    backend.line.answers.push_back(Answer(0x10, {0xC1, 0xEF, 0x8F}));
    for (int i = 0; i < 20; ++i) backend.line.answers.push_back(Answer(0x10, {0x7F, 0x14, 0x22}));
    backend.line.answers.push_back(Answer(0x10, {0xC2}));
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
