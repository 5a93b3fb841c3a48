// line_exchange PORT ECU [COUNT]: times live-data exchanges over the system's own serial port
// (the POSIX backend on Linux, the Win32 backend on Windows or under Wine), paced as the
// poller paces them, against whatever answers on PORT (kline-sim at the line's real pace).
// Prints the median, fastest and slowest exchange beside the line time of its bytes and the
// ECU's answer delay (`--p2` of kline-sim, 25 ms by default).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/connection.h"
#include "link/station.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace {

constexpr double kByteMs = 10 * 1000.0 / 10400;  // start, 8 data and stop bit at 10400 baud
constexpr double kAnswerDelayMs = 25;
constexpr int kRequestBytes = 6;  // format, target, source, 0x21 0x01, checksum

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: line_exchange PORT ECU [COUNT]\n");
        return 2;
    }
    const int count = argc > 3 ? std::atoi(argv[3]) : 30;
    kline::Station station;
    settings::SetPortName(station.settings, argv[1]);
    station.settings.ecuType = static_cast<int8_t>(std::atoi(argv[2]));
    station.settings.requestDelay = 50;
    station.BuildProtocol();
    std::atomic<bool> terminate{false};
    kline::RunConnectionAttempt(station, terminate);
    if (!station.connected) {
        std::fprintf(stderr, "no connection on %s\n", argv[1]);
        return 1;
    }
    std::vector<double> times;
    kline::KwpMessage record;
    for (int i = 0; i < count; ++i) {
        platform::Sleep(station.RequestDelay());
        const double start = NowMs();
        if (!station.Protocol().ReadLiveData(station.port, record)) {
            std::fprintf(stderr, "exchange %d failed\n", i + 1);
            return 1;
        }
        times.push_back(NowMs() - start);
    }
    kline::Disconnect(station);
    std::sort(times.begin(), times.end());
    const int answerBytes = (record.length > 63 ? 4 : 3) + record.length + 1;
    const double lineMs = (kRequestBytes + answerBytes) * kByteMs + kAnswerDelayMs;
    std::printf(
        "%d exchanges of %d answer bytes: median %.1f ms (fastest %.1f, slowest %.1f); "
        "line time + P2 %.1f ms, ratio %.3f\n",
        count, answerBytes, times[times.size() / 2], times.front(), times.back(), lineMs,
        times[times.size() / 2] / lineMs);
    return 0;
}
