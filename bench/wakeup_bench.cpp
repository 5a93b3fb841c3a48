// Wake-ups of a station just started against `kline-sim --strict-wakeup` on a pseudo-terminal,
// in real time: per cable model of kline-sim, how many fresh stations woke the strict ECU on
// their first, second or a later attempt, and the wake-up pattern the simulator saw (the
// line low, and StartCommunication's start after the line went low), read from its trace.
// A pseudo-terminal carries no break, so every answered wake-up is the byte 0x00 at 360 baud.
//
//   wakeup_bench [WAKE-UPS]     1000 per cable model unless given
//
// With WAKEUP_BENCH_KEEP set, kline-sim's traces stay in /tmp for a look at single wake-ups.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/connection.h"
#include "link/station.h"
#include "platform/line_trace.h"
#include "settings/settings.h"
#include "tests/support/sim_process.h"

namespace {

// The system's port, counting the openings: one per attempt of the connection worker.
class CountingBackend final : public platform::SerialBackend {
  public:
    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override {
        ++opens;
        return platform::SystemSerialBackend().Open(name);
    }
    platform::OpenFailure LastOpenFailure() const override {
        return platform::SystemSerialBackend().LastOpenFailure();
    }
    int opens = 0;
};

// The station's own view of each wake-up by the byte, through the line tap a recording uses:
// from writing the 0x00 to writing StartCommunication's first byte (one that left outside the
// window was given up there), or -1 when the station found it was already too late (it
// overslept, the echo came back late) and made the byte again without it.
class StationSide final : public kline::LineTap {
  public:
    void OnLine(const platform::TraceByte& event) override {
        if (event.kind != platform::TraceKind::Tester)
            return;
        if (lowByteAt_ >= 0)
            patterns.push_back(event.byte == 0x81 ? event.micros - lowByteAt_ : -1);
        lowByteAt_ = event.byte == 0x00 ? event.micros : -1;
    }
    std::vector<int64_t> patterns;

  private:
    int64_t lowByteAt_ = -1;
};

struct Attempts {
    int byAttempt[3] = {};  // first, second, later
    int unanswered = 0;     // the worker gave up (the port failed)
    std::vector<int64_t> stationPatterns;
};

// The service of a traced frame: after format, target and source, and the length byte when
// the format byte does not carry the length.
int Sid(const std::vector<uint8_t>& frame) {
    const size_t at = frame.empty() || (frame[0] & 0x3F) ? 3 : 4;
    return at < frame.size() ? frame[at] : -1;
}

// One low byte the simulator saw: the line low, then StartCommunication or, when the station
// found it was too late, another low byte.
struct Pattern {
    int64_t lowMicros = 0;
    int64_t wholeMicros = -1;  // from the line going low to StartCommunication; -1: made again
    bool answered = false;
};

std::vector<platform::TraceLine> ReadTraceLines(const std::string& path) {
    std::vector<platform::TraceLine> lines;
    std::ifstream in(path);
    std::string text, error;
    while (std::getline(in, text)) {
        platform::TraceLine line;
        if (!text.empty() && text[0] != '#' && platform::ParseTraceLine(text, line, error))
            lines.push_back(line);
    }
    return lines;
}

std::vector<Pattern> PatternsOf(const std::vector<platform::TraceLine>& lines) {
    std::vector<Pattern> patterns;
    int64_t wentLow = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        const platform::TraceLine& line = lines[i];
        if (line.kind == platform::TraceKind::BreakSet) {
            wentLow = line.micros;
            patterns.push_back({});
        } else if (line.kind == platform::TraceKind::BreakClear && wentLow >= 0) {
            patterns.back().lowMicros = line.micros - wentLow;
        } else if (line.kind == platform::TraceKind::Tester && wentLow >= 0) {
            if (Sid(line.bytes) == 0x81) {
                patterns.back().wholeMicros = line.micros - wentLow;
                patterns.back().answered = i + 1 < lines.size() &&
                                           lines[i + 1].kind == platform::TraceKind::Ecu &&
                                           Sid(lines[i + 1].bytes) == 0xC1;
            }
            wentLow = -1;
        }
    }
    return patterns;
}

Attempts WakeUps(const std::string& portName, int count) {
    CountingBackend backend;
    kline::Station station;
    settings::ApplyDefaults(station.settings);
    settings::SetPortName(station.settings, portName);
    station.settings.ecuType = 1;
    station.settings.requestDelay = 50;
    station.BuildProtocol();
    station.backend = &backend;
    StationSide stationSide;
    station.lineTap.SetTap(&stationSide);
    Attempts attempts;
    for (int i = 0; i < count; ++i) {
        station.cables = {};  // a fresh start of the program
        const int before = backend.opens;
        std::atomic<bool> terminate{false};
        station.connecting = 1;
        kline::RunConnectionAttempt(station, terminate);
        if (!station.connected) {
            ++attempts.unanswered;
            continue;
        }
        ++attempts.byAttempt[std::min(backend.opens - before, 3) - 1];
        kline::Disconnect(station);
    }
    station.lineTap.SetTap(nullptr);
    attempts.stationPatterns = std::move(stationSide.patterns);
    return attempts;
}

double Millis(int64_t micros) {
    return static_cast<double>(micros) / 1000.0;
}

// "min / median / max ms" of the times (sorted here).
std::string Spread(std::vector<int64_t> micros) {
    if (micros.empty())
        return "-";
    std::sort(micros.begin(), micros.end());
    char text[64];
    std::snprintf(text, sizeof text, "%.2f / %.2f / %.2f ms", Millis(micros.front()),
                  Millis(micros[micros.size() / 2]), Millis(micros.back()));
    return text;
}

void PrintRow(const char* cable, const Attempts& a, const std::vector<Pattern>& patterns,
              int count) {
    std::vector<int64_t> sent, answered, low;
    int sentInWindow = 0, inWindow = 0;
    for (const int64_t p : a.stationPatterns) {
        if (p >= 0)
            sent.push_back(p);
        sentInWindow += p >= 49'000 && p <= 51'000;
    }
    for (const Pattern& p : patterns) {
        low.push_back(p.lowMicros);
        inWindow += p.wholeMicros >= 49'000 && p.wholeMicros <= 51'000;
        if (p.answered)
            answered.push_back(p.wholeMicros);
    }
    std::printf(
        "| %s | %d | %d | %d | %.1f %% | %s, %d of %zu within 50 +- 1 ms | %zu | %d of %zu "
        "| %s | %s |\n",
        cable, a.byAttempt[0], a.byAttempt[1], a.byAttempt[2] + a.unanswered,
        100.0 * (a.byAttempt[0] + a.byAttempt[1]) / count, Spread(sent).c_str(), sentInWindow,
        sent.size(), a.stationPatterns.size() - sent.size(), inWindow, patterns.size(),
        Spread(answered).c_str(), Spread(low).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::printf(
        "| kline-sim --cable | first | second | later | first or second | station: "
        "StartCommunication after the byte | made again before it | kline-sim: patterns "
        "within 50 +- 1 ms | kline-sim: pattern of the answered | kline-sim: low |\n"
        "|---|---:|---:|---:|---:|---|---:|---|---|---|\n");
    for (const char* cable : {"no-break", "usb-latency"}) {
        const std::string trace =
            "/tmp/wakeup_bench_" + std::to_string(getpid()) + "_" + cable + ".trace";
        Attempts attempts;
        {
            testing_support::SimProcess sim(
                KLINE_SIM_PATH, {"--ecu", "1", "--strict-wakeup", "--cable", cable, "--trace"},
                trace);
            attempts = WakeUps(sim.portName, count);
        }
        PrintRow(cable, attempts, PatternsOf(ReadTraceLines(trace)), count);
        if (!std::getenv("WAKEUP_BENCH_KEEP"))
            std::remove(trace.c_str());
    }
    return 0;
}
