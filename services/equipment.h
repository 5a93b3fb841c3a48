// The equipment configuration: which optional components and functions the ECU has switched
// on, reported as flag bits of its live data record (ReadDataByLocalIdentifier 0x21 0x01).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"
#include "link/port.h"

namespace services {

struct EquipmentEntry {
    uint8_t byte;  // position in the live data record
    uint8_t mask;  // the entry's flag bit there
    const char* name;
};

// The equipment table of an ECU family (the variant's Type()): 12 entries for the second
// family; the first has no equipment flags.
std::span<const EquipmentEntry> EquipmentTable(int family);

// The read: the live data record, read once. A family without equipment flags sends nothing
// and gives an empty record without error, so that its list is simply empty. An invalid ECU
// type reports "Блок не выбран!" and gives a record with `error` set.
kline::KwpMessage ReadEquipment(const kline::EcuProtocol& protocol, kline::Port& port);

// Entries of the ECU type's table; an invalid ECU type reports and gives 0.
int EquipmentCount(const kline::EcuProtocol& protocol);

// The line of one entry: its name when its flag is set, otherwise empty.
struct EquipmentText {
    std::string text;
    bool error = false;
};

// Entry `n` (1..EquipmentCount) of `record`. A number outside the table gives an empty line.
// An invalid ECU type reports "Блок не выбран!" and gives an empty line with `error` set.
EquipmentText EquipmentLine(const kline::EcuProtocol& protocol, int n,
                            const kline::KwpMessage& record);

}  // namespace services
