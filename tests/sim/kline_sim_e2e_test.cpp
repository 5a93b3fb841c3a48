// kline-sim as a process on a pseudo-terminal, and the station's own port, exchange and ECU
// protocol over the POSIX backend talking to it at the real pace of the line.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "link/port.h"
#include "platform/clock.h"
#include "tests/support/recording_sink.h"

extern char** environ;

namespace {

// The simulator started with the given options; it is stopped with SIGTERM at the end.
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> options) {
        std::vector<std::string> args{KLINE_SIM_PATH};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
        portName = ReadLine();
        path = ReadLine();
    }
    ~SimProcess() {
        Stop();
        if (stdout_ >= 0)
            close(stdout_);
    }
    // Ends the process with SIGTERM; its exit status, or -1.
    int Stop() {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

    std::string portName;
    std::string path;

  private:
    // One line of the simulator's output, waiting at most 5 s for it.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        pollfd p{stdout_, POLLIN, 0};
        while (poll(&p, 1, 5000) == 1 && read(stdout_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    int status_ = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class KlineSim : public testing::TestWithParam<int> {
  protected:
    void SetUp() override { platform::UseClock(nullptr); }
    testing_support::RecordingSink sink;
};

TEST_P(KlineSim, StationConnectsReadsLiveDataAndStops) {
    const int type = GetParam();
    SimProcess sim({"--ecu", std::to_string(type)});
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

INSTANTIATE_TEST_SUITE_P(BothFamilies, KlineSim, testing::Values(0, 1));

TEST_F(KlineSim, StateFileShowsTheClearedFaultCodes) {
    const std::string stateFile =
        testing::TempDir() + "kline_sim_state_" + std::to_string(getpid()) + ".txt";
    std::remove(stateFile.c_str());
    SimProcess sim({"--ecu", "1", "--dtc", "P0130:60", "--state-file", stateFile});
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
    SimProcess sim({"--ecu", "0", "--fault", "silent"});
    const kline::EcuProtocol protocol(0);
    kline::Port port;
    ASSERT_TRUE(kline::OpenPort(platform::SystemSerialBackend(), sim.portName, 10400, port));
    EXPECT_FALSE(protocol.StartCommunication(port));
    kline::ClosePort(port);
}

}  // namespace
