// Connection start and stop: the worker's attempts and Disconnect, on the virtual clock.
#include "link/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace {

class ConnectionTest : public testing::Test, protected testing_support::ScriptedStation {
  protected:
    testing_support::RecordingSink sink;
    std::atomic<bool> terminate{false};
};

TEST_F(ConnectionTest, AlreadyConnectedSendsNothing) {
    station.connected = 1;
    station.connecting = 1;
    kline::RunConnectionAttempt(station, terminate);
    EXPECT_EQ(backend.opens, 0);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_EQ(station.connected, 1);
}

TEST_F(ConnectionTest, AnsweringEcuLeavesThePortOpenAndConnected) {
    StartAnswered();
    station.connecting = 1;
    kline::RunConnectionAttempt(station, terminate);
    EXPECT_EQ(station.connected, 1);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_TRUE(station.port.IsOpen());
    EXPECT_EQ(backend.openedNames, std::vector<std::string>{"COM1"});
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(ConnectionTest, PortThatCannotBeOpenedEndsTheAttemptWithOneMessage) {
    backend.refuseOpen = true;
    station.connecting = 1;
    kline::RunConnectionAttempt(station, terminate);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                                "Данный порт уже занят другим приложением или не поддерживается!"});
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_EQ(backend.opens, 1);
}

TEST_F(ConnectionTest, SilentEcuIsTriedAgainUntilTheUserStops) {
    station.connecting = 1;
    std::thread worker([&] { kline::RunConnectionAttempt(station, terminate); });
    while (backend.opens < 4) std::this_thread::yield();
    terminate = true;
    worker.join();
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_FALSE(station.port.IsOpen());
    // Every opening was closed again with the adapter byte.
    EXPECT_EQ(backend.line.closes, backend.opens.load());
    // Each cycle: StartCommunication, then StopCommunication before the port is closed.
    EXPECT_EQ(Requests(0x81), static_cast<size_t>(backend.opens));
    EXPECT_EQ(Requests(0x82), static_cast<size_t>(backend.opens));
}

TEST_F(ConnectionTest, LostPortEndsTheAttemptAfterTheCurrentCycle) {
    station.connecting = 1;
    std::thread worker([&] { kline::RunConnectionAttempt(station, terminate); });
    while (backend.opens < 2) std::this_thread::yield();
    backend.refuseOpen = true;
    worker.join();
    EXPECT_EQ(station.connecting, 0);
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(sink.Reports().empty());
}

// A chip that cannot make 360 baud: the line is back at 10400 baud, the port keeps the break.
TEST_F(ConnectionTest, PortThatRefuses360BaudKeepsTheBreak) {
    backend.line.refusedRate = kline::kLowByteBaud;
    terminate = true;  // two attempts: the break, then the low byte
    station.connecting = 1;
    kline::RunConnectionAttempt(station, terminate);
    const kline::CableKnowledge& cable = station.cables.ports.at("COM1");
    EXPECT_TRUE(cable.noLowByte);
    EXPECT_EQ(cable.method, kline::WakeUpMethod::Break);
    EXPECT_EQ(backend.line.state.baudRate, 10400u);
    EXPECT_EQ(std::count(backend.line.written.begin(), backend.line.written.end(), 0x00), 0);
}

TEST_F(ConnectionTest, DisconnectMakesTenAttemptsAgainstASilentEcu) {
    station.settings.requestDelay = 250;
    LeftOpen();
    EXPECT_FALSE(kline::Disconnect(station));
    EXPECT_EQ(Requests(0x82), 10u);
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
    // Each attempt waits the request delay first: 250 ms, then the frame and the echo wait.
    const auto& times = backend.line.writeTimes;
    ASSERT_GE(times.size(), 6u);
    EXPECT_GE(times[5] - times[4], 250'000);  // from the last byte of the first frame
}

TEST_F(ConnectionTest, DisconnectStopsAtTheFirstAnswer) {
    LeftOpen();
    EcuAnswers({{}, {0xC2}});
    EXPECT_TRUE(kline::Disconnect(station));
    EXPECT_EQ(Requests(0x82), 2u);
    EXPECT_EQ(station.connected, 0);
}

}  // namespace
