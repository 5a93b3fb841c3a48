// kline-sim as a process on a pseudo-terminal, and the station's own port, exchange and ECU
// protocol over the POSIX backend talking to it at the real pace of the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "link/ecu_protocol.h"
#include "link/port.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sim_process.h"
#include "tests/support/station_fixture.h"

namespace {

using testing_support::SimProcess;

std::string ReadFile(const std::string& path) {
    return testing_support::ReadTextFile(path);
}

class KlineSim : public testing::TestWithParam<int> {
  protected:
    testing_support::RecordingSink sink;
};

TEST_P(KlineSim, StationConnectsReadsLiveDataAndStops) {
    const int type = GetParam();
    SimProcess sim(KLINE_SIM_PATH, {"--ecu", std::to_string(type)});
    ASSERT_EQ(sim.portName.rfind("pts/", 0), 0u) << sim.portName;
    EXPECT_EQ(sim.path, "/dev/" + sim.portName);

    const kline::EcuProtocol protocol(type);
    // The station opens the port for every command: twice in a row here.
    for (int connection = 0; connection < 2; ++connection) {
        kline::Port port;
        ASSERT_TRUE(kline::OpenPort(platform::SystemSerialBackend(), sim.portName,
                                    protocol.BaudRate(), port))
            << "connection " << connection;
        ASSERT_TRUE(protocol.StartCommunication(port)) << "connection " << connection;
        kline::KwpMessage record;
        ASSERT_TRUE(protocol.ReadLiveData(port, record));
        EXPECT_EQ(record.length, type == 0 ? 35 : 34);
        EXPECT_EQ(record.data[1], 0x01);
        EXPECT_TRUE(protocol.IsEngineRunning(port));
        EXPECT_TRUE(protocol.StopCommunication(port));
        kline::ClosePort(port);
    }
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(sim.Stop(), 0) << "kline-sim ends cleanly on SIGTERM";
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, KlineSim, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_F(KlineSim, StateFileShowsTheClearedFaultCodes) {
    const std::string stateFile =
        testing::TempDir() + "kline_sim_state_" + std::to_string(getpid()) + ".txt";
    std::remove(stateFile.c_str());
    SimProcess sim(KLINE_SIM_PATH, {"--ecu", "1", "--dtc", "P0130:60", "--state-file", stateFile});
    EXPECT_NE(ReadFile(stateFile).find("dtc P0130:60\n"), std::string::npos);
    const kline::EcuProtocol protocol(1);
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(platform::SystemSerialBackend(), sim.portName, 10400, port));
    ASSERT_TRUE(protocol.StartCommunication(port));
    EXPECT_TRUE(protocol.ClearFaults(port));
    kline::ClosePort(port);
    EXPECT_NE(ReadFile(stateFile).find("dtc none\n"), std::string::npos) << ReadFile(stateFile);
    std::remove(stateFile.c_str());
}

TEST_F(KlineSim, SilentEcuLeavesStartCommunicationUnanswered) {
    SimProcess sim(KLINE_SIM_PATH, {"--ecu", "0", "--fault", "silent"});
    const kline::EcuProtocol protocol(0);
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(platform::SystemSerialBackend(), sim.portName, 10400, port));
    EXPECT_FALSE(protocol.StartCommunication(port));
    kline::ClosePort(port);
}

}  // namespace
