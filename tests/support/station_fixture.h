// One station for the tests: the settings record's defaults, an ECU family, a request delay,
// and the line the test chooses, on the virtual clock; and the names of the two families for
// the rows of suites that run for both.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "link/station.h"
#include "platform/serial_port.h"
#include "settings/settings.h"
#include "tests/support/virtual_clock.h"

namespace testing_support {

// The ECU address of a family: 0x11 for type 0, 0x10 for type 1.
inline uint8_t EcuAddress(int family) {
    return family == 0 ? 0x11 : 0x10;
}

// Row names of a suite over ECU types: "Type0", "Type1" (and "Type5" for none chosen).
inline std::string FamilyName(const testing::TestParamInfo<int>& row) {
    return "Type" + std::to_string(row.param);
}

// Readies `station` as the main window leaves it, with the family of the test (and its
// request delay, else the default 250 ms), reaching the line through `backend`.
inline void PrepareStation(kline::Station& station, platform::SerialBackend& backend,
                           int family = 1, std::optional<int> requestDelay = std::nullopt) {
    settings::ApplyDefaults(station.settings);
    station.settings.ecuType = static_cast<int8_t>(family);
    if (requestDelay)
        station.settings.requestDelay = *requestDelay;
    station.BuildProtocol();
    station.backend = &backend;
}

// Display group `group` of `family` shows the first `count` rows of its catalogue.
inline void ShowFirstParams(settings::SettingsRecord& record, int family, int count,
                            int group = 0) {
    for (int slot = 0; slot < count; ++slot)
        record.groupLists[family][group][slot] = static_cast<uint8_t>(slot);
    record.groupCounts[family][group] = static_cast<uint8_t>(count);
}

// The station over the line `Backend` (default-constructed), on the virtual clock. The
// clock comes first so that it outlives the line and the station.
template <class Backend>
struct StationOn {
    explicit StationOn(int family = 1, std::optional<int> requestDelay = std::nullopt) {
        PrepareStation(station, backend, family, requestDelay);
    }
    ScopedVirtualClock clock;
    Backend backend;
    kline::Station station;
};

}  // namespace testing_support
