// kline-sim: the K-line adapter and one ECU on a pseudo-terminal, at the real pace of the line.
// The station opens the printed port as if a USB K-line cable were plugged in.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/command_line.h"
#include "sim/kline_bus.h"
#include "sim/line_trace.h"
#include "sim/pty_posix.h"
#include "sim/replay.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the wait returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The longest wait with nothing on its way to the station.
constexpr int64_t kIdleWaitMicros = 100'000;

// Rewrites the state file after requests, and reports a change of the fault codes.
class StateReport {
  public:
    StateReport(const std::string& path, sim::Ecu& ecu) : path_(path), dtcs_(ecu.Dtcs()) {}

    void Update(sim::Ecu& ecu, int64_t now, size_t newRequests, bool force = false) {
        requests_ += newRequests;
        if (newRequests == 0 && !force)
            return;
        if (ecu.Dtcs() != dtcs_) {
            dtcs_ = ecu.Dtcs();
            std::fprintf(stderr, "kline-sim: fault codes now %s\n",
                         sim::DtcListText(dtcs_).c_str());
        }
        if (path_.empty())
            return;
        // Written beside and renamed, so a reader never sees half a file.
        const std::string temporary = path_ + ".tmp";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << sim::StateText(ecu, now, requests_);
        }
        std::rename(temporary.c_str(), path_.c_str());
    }

  private:
    std::string path_;
    std::vector<sim::Dtc> dtcs_;
    size_t requests_ = 0;
};

void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
}

// Prints the port name for the connection dialog, then the full path.
void AnnouncePort(const std::string& path) {
    const std::string prefix = "/dev/";
    const std::string portName = path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
    std::printf("%s\n%s\n", portName.c_str(), path.c_str());
    std::fflush(stdout);
}

int Serve(const sim::SimSetup& setup, sim::PtyMaster& pty, sim::TraceReplay* replay) {
    platform::SystemClock clock;
    sim::KLineBus bus(setup.ecu);
    const sim::Cable cable(setup.cable);
    sim::ApplyFaults(setup, bus);
    bus.SetAnswerSource(replay);
    sim::LineTrace trace(clock.NowMicros());
    StateReport state(setup.stateFile, bus.GetEcu());
    state.Update(bus.GetEcu(), clock.NowMicros(), 0, true);  // before anyone can connect
    AnnouncePort(pty.SlavePath());
    bool slaveWasOpen = false;

    while (!stopRequested) {
        int64_t now = clock.NowMicros();
        int64_t wait = kIdleWaitMicros;
        if (std::optional<int64_t> next = bus.NextArrival())
            wait = std::min(wait, cable.Delivered(*next) - now);
        const sim::PtyMaster::Wait seen = pty.WaitForBytes(wait);
        now = clock.NowMicros();
        // The station's last bytes (its closing 0xAA) may wait behind the hang-up.
        // A byte written at 360 baud is the wake-up: the rate is read as the bytes arrive.
        if (seen.readable) {
            const uint32_t baud = pty.StationBaudRate();
            for (uint8_t byte : pty.Read()) bus.SendByteAtRate(byte, baud, now);
        }
        // The station has closed the port: what was on its way to it is lost.
        if (slaveWasOpen && !seen.slaveOpen)
            pty.DropUnread();
        slaveWasOpen = seen.slaveOpen;
        while (std::optional<uint8_t> byte = bus.TakeByte(cable.DeliveredBy(now)))
            if (seen.slaveOpen)
                pty.Write(*byte);

        const std::vector<sim::LineEvent> events = bus.TakeLog(now);
        if (setup.trace) {
            PrintLines(trace.Add(events));
            PrintLines(trace.Flush(now));
        }
        state.Update(bus.GetEcu(), now, bus.TakeRequests().size());
    }
    if (setup.trace)
        PrintLines(trace.Flush(clock.NowMicros(), true));
    return 0;
}

// Reads the trace of --replay and says what it plays; false (said why) when it cannot play.
bool LoadReplay(sim::SimSetup& setup, sim::TraceReplay& replay) {
    const char* file = setup.replay.c_str();
    std::ifstream in(setup.replay, std::ios::binary);
    std::string error;
    if (!in) {
        std::fprintf(stderr, "kline-sim: %s: cannot be read\n", file);
        return false;
    }
    if (!sim::LoadReplay(in, replay, error)) {
        std::fprintf(stderr, "kline-sim: %s:%s\n", file, error.c_str());
        return false;
    }
    // The station shows live data first of all: without it, it would wait in vain.
    if (!replay.HasLiveData()) {
        std::fprintf(stderr, "kline-sim: %s:0: no live-data answer (service 21) to replay\n", file);
        return false;
    }
    for (const platform::TraceError& warning : replay.Warnings())
        std::fprintf(stderr, "kline-sim: %s:%zu: warning: %s\n", file, warning.line,
                     warning.what.c_str());
    const std::optional<int> type = replay.EcuType();
    if (setup.ecuGiven && type != setup.ecu.type) {
        const std::string family = type ? "type " + std::to_string(*type) : "no known type";
        std::fprintf(stderr,
                     "kline-sim: %s: the trace is of ECU %s (address 0x%02X), not --ecu %d\n", file,
                     family.c_str(), replay.EcuAddress(), setup.ecu.type);
        return false;
    }
    setup.ecu.type = type.value_or(setup.ecu.type);
    std::fprintf(stderr, "kline-sim: %s: playing %s\n", file, replay.Summary().c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimSetup setup;
    std::string error;
    if (!sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), setup, error)) {
        std::fprintf(stderr, "kline-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (setup.help) {
        std::fputs(sim::UsageText().c_str(), stdout);
        return 0;
    }
    // The trace is read whole before the port is announced: a wrong one never serves half a
    // session.
    sim::TraceReplay replay;
    if (!setup.replay.empty() && !LoadReplay(setup, replay))
        return 2;
    sim::PtyMaster pty;
    if (!pty.Open(error)) {
        std::fprintf(stderr, "kline-sim: %s\n", error.c_str());
        return 1;
    }
    InstallStopSignals();
    return Serve(setup, pty, setup.replay.empty() ? nullptr : &replay);
}
