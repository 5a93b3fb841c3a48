// The idle CO trim: one signed byte in the ECU, read from the live data record and stored
// with InputOutputControlByLocalIdentifier 0x30 0x61.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"
#include "link/port.h"

namespace services {

inline constexpr int kCoTrimMin = -128;
inline constexpr int kCoTrimMax = 127;

// The trim of a live data record: byte 11, two's complement. Both families keep it there.
int8_t CoTrimOf(const kline::KwpMessage& liveData);

// Whether the ECU family keeps a CO trim: the second does, the first does not (its byte 11
// is the supply voltage). True for no valid type, whose operations report it themselves.
bool KeepsCoTrim(const kline::EcuProtocol& protocol);

// Up to 10 live data reads without a pause, until one is answered with a record long enough
// to hold the trim; the trim of that answer. Nothing when none was.
std::optional<int8_t> ReadCoTrim(const kline::EcuProtocol& protocol, kline::Port& port);

// The trim as the user reads it: v / 255 in the general decimal form with the user's
// separator, cut to 7 characters (1 -> "0.00392", -1 -> "-0.0039").
std::string CoTrimText(int trim);

// Stores the trim. The second family: after requestDelay ms the new value (0x30 0x61 0x08
// trim), and only when that was answered, after requestDelay ms again the end of the control
// (0x30 0x61 0x00); true when both were answered. The first family keeps no trim: nothing is
// sent and the result is false, since nothing was stored. An invalid ECU type reports and
// gives false.
bool WriteCoTrim(const kline::EcuProtocol& protocol, int8_t trim, int requestDelay,
                 kline::Port& port);

}  // namespace services
