// Why a port or the adapter failed, in Russian, for the detailed text beside the message the
// station shows (the message itself stays as it is): the cause the system can name, and what
// the user does about it at the workbench.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace kline {

// A port that would not open. `present` are the serial ports the computer has.
std::string OpenFailureDetails(const platform::OpenFailure& failure,
                               const std::vector<std::string>& present);

// A port that took another rate than the line's: its chip cannot make `wanted` baud.
std::string RateDetails(uint32_t wanted, uint32_t got);

}  // namespace kline
