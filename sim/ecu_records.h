// The records the two ECU families answer with: the live data block of service 0x21 0x01 and
// the identification record of service 0x1A 0x80, laid out at the byte positions the station
// reads. Everything that differs between the families is in one table indexed by the type.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/engine_model.h"

namespace sim {

// What the ECU keeps beside the engine and shows in its live data.
struct EcuMemory {
    int8_t coTrim = 0;              // idle CO trim, byte 11 of the type-1 live data
    uint8_t equipment[2] = {0, 0};  // equipment flags, bytes 2 and 3 of the type-1 live data
    bool faultLampOn = false;       // the check-engine lamp
};

struct Family {
    int type;
    uint8_t address;
    const char* name;
    // The live data answer, 0x61 0x01 first.
    std::vector<uint8_t> (*liveData)(const EngineState& engine, const EcuMemory& memory);
    // The identification answer, 0x5A 0x80 first.
    std::vector<uint8_t> (*identification)();
    bool writesCoTrim;  // answers InputOutputControlByLocalIdentifier 0x30 0x61
    uint8_t defaultEquipment[2];
};

// The family of an ECU type; any other type gives type 1.
const Family& FamilyOf(int type);
// The family after it, the last followed by the first: another family with another address.
const Family& NextFamily(int type);

// Windows-1251 bytes of UTF-8 text (ASCII, Cyrillic letters and "№"); other characters give '?'.
std::vector<uint8_t> Cp1251(std::string_view utf8);

}  // namespace sim
