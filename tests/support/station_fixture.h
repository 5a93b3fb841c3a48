// One station for the tests: the settings record's defaults, an ECU family, a request delay,
// and the line the test chooses, on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "link/station.h"
#include "platform/serial_port.h"
#include "settings/settings.h"
#include "sim/simulated_backend.h"
#include "tests/support/frames.h"
#include "tests/support/row_names.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace testing_support {

// The family chosen as the ECU-type dialog chooses it: the record's type and the protocol
// object built for it.
inline void UseFamily(kline::Station& station, int family) {
    station.settings.ecuType = static_cast<int8_t>(family);
    station.BuildProtocol();
}

// Readies `station` as the main window leaves it, with the family of the test (and its
// request delay, else the default 250 ms), reaching the line through `backend`.
inline void PrepareStation(kline::Station& station, platform::SerialBackend& backend,
                           int family = 1, std::optional<int> requestDelay = std::nullopt) {
    settings::ApplyDefaults(station.settings);
    if (requestDelay)
        station.settings.requestDelay = *requestDelay;
    UseFamily(station, family);
    station.backend = &backend;
}

// Display group `group` of `family` shows the first `count` rows of its catalogue.
inline void ShowFirstParams(settings::SettingsRecord& record, int family, int count,
                            int group = 0) {
    for (int slot = 0; slot < count; ++slot)
        record.groupLists[family][group][slot] = static_cast<uint8_t>(slot);
    record.groupCounts[family][group] = static_cast<uint8_t>(count);
}

// The line of a test station: a backend made without arguments, or the simulated adapter and
// ECU of the station's family, on the test's clock, after a second of idle line.
template <class Backend>
Backend MakeLine(platform::VirtualClock&, int) {
    return Backend();
}
template <>
inline sim::SimulatedBackend MakeLine<sim::SimulatedBackend>(platform::VirtualClock& clock,
                                                             int family) {
    clock.Advance(1'000'000);
    return sim::SimulatedBackend(clock, {.type = family});
}

// The station over the line `Backend`, on the virtual clock. The clock comes first so that it
// outlives the line and the station.
template <class Backend>
struct StationOn {
    explicit StationOn(int family = 1, std::optional<int> requestDelay = std::nullopt)
        : backend(MakeLine<Backend>(clock, family)) {
        PrepareStation(station, backend, family, requestDelay);
    }
    uint8_t EcuAddress() const { return testing_support::EcuAddress(station.settings.ecuType); }
    // A connection that an earlier command left open: the port open, `connected` set.
    void LeftOpen() {
        station.port.device = backend.Open(station.PortName());
        station.connected = 1;
    }

    ScopedVirtualClock clock;
    Backend backend;
    kline::Station station;
};

// The station on a scripted line: the adapter echoes, the ECU answers what the test queues.
struct ScriptedStation : StationOn<ScriptedBackend> {
    using StationOn::StationOn;

    // The ECU's next answers, as their data (SID first); an empty one is silence.
    void EcuAnswers(std::initializer_list<Bytes> answers) {
        for (const Bytes& data : answers)
            backend.line.answers.push_back(data.empty() ? data : AnswerFrame(EcuAddress(), data));
    }
    void Silence(int exchanges) {
        backend.line.answers.insert(backend.line.answers.end(), exchanges, {});
    }
    void StartAnswered() { EcuAnswers({{0xC1, 0xEF, 0x8F}}); }
    void StopAnswered() { EcuAnswers({{0xC2}}); }

    // When the station began each request with this SID to the ECU.
    std::vector<int64_t> RequestTimes(uint8_t sid) const {
        const Bytes& w = backend.line.written;
        std::vector<int64_t> times;
        for (size_t i = 0; i + 3 < w.size(); ++i)
            if ((w[i] & 0xC0) == 0x80 && w[i + 1] == EcuAddress() &&
                w[i + 2] == kline::kTesterAddress && w[i + 3] == sid)
                times.push_back(backend.line.writeTimes[i]);
        return times;
    }
    size_t Requests(uint8_t sid) const { return RequestTimes(sid).size(); }
};

}  // namespace testing_support
