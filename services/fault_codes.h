// Diagnostic trouble codes: the read (ReadDiagnosticTroubleCodesByStatus 0x18), the
// description tables of both ECU families, and the rows the fault list shows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"
#include "link/port.h"

namespace services {

inline constexpr const char* kUnknownFault = "Неизвестный код ошибки";

// 255 data bytes hold the SID, the count and 84 entries of three bytes (bytes 2..253).
inline constexpr int kMaxFaultEntries = 84;

struct FaultDescription {
    int code;  // the code's four decimal digits read as one number: P0130 is 130
    const char* text;
};

// The description table of an ECU family (the variant's Type()); empty for any other value.
std::span<const FaultDescription> FaultTable(int family);

// Sends the request for all codes of any status once. An invalid ECU type reports
// "Блок не выбран!" and gives a record with `error` set.
kline::KwpMessage ReadFaultCodes(const kline::EcuProtocol& protocol, kline::Port& port);

// The description of `codeNumber` for the ECU type, or kUnknownFault. An invalid ECU type
// reports "Блок не выбран!" and gives an empty text.
std::string FaultText(const kline::EcuProtocol& protocol, int codeNumber);

// The code number of two binary-coded decimal bytes: 0x01 0x02 is 102. A byte with a digit
// A..F is no valid code and has no number (so it cannot alias a listed code).
std::optional<int> FaultCodeNumber(uint8_t first, uint8_t second);

// "P" and the four hexadecimal digits as they are: 0x01 0xA2 is "P01A2".
std::string FaultCodeText(uint8_t first, uint8_t second);

// One row of the fault list.
struct FaultRow {
    std::string code;         // "P0130"
    std::string description;  // FaultText of the code number
    std::string current;      // "Да" when status bit 0x40 is set, else "Нет"
    std::string stored;       // "Да" when status bit 0x20 is set, else "Нет"
};

// The rows of a good fault-code answer: as many as its count byte says, at most 84.
// Entries past the answer's bytes read as zeros (P0000, unknown, "Нет", "Нет").
// An invalid ECU type reports "Блок не выбран!" once and gives no rows.
std::vector<FaultRow> FaultRows(const kline::EcuProtocol& protocol,
                                const kline::KwpMessage& answer);

// The grid: the header row and one row per code, but at least one (empty) row below it.
int FaultGridRowCount(size_t codes);

struct FaultColumn {
    const char* header;
    int width;  // pixels
};

extern const std::array<FaultColumn, 4> kFaultColumns;

}  // namespace services
