// One KWP2000 exchange over the half-duplex K-line: frame the request, send it byte by
// byte, skip the adapter's echo, read and check the one response.
#pragma once

#include <cstdint>

#include "link/kwp_message.h"
#include "link/port.h"

namespace kline {

inline constexpr uint8_t kTesterAddress = 0xF1;
inline constexpr uint32_t kKLineBaud = 10400;

// The frame of a request on the line: format (and length) byte, target, source, data, checksum.
// Returns the frame size; `frame` must hold 256 bytes.
int BuildFrame(uint8_t ecuAddress, const KwpMessage& request, uint8_t* frame);

// No retries, no pause: the callers sleep the request delay and retry as they need.
// On any failure the response has error = 1 and its reason; nothing else of it may be used,
// except the ECU's code in data[2] of a negative answer. A request whose first byte must begin
// by the clock time `firstByteBy` (StartCommunication after a wake-up) is not sent on once it
// began later: LateStart.
KwpMessage Exchange(uint8_t ecuAddress, const KwpMessage& request, Port& port,
                    int64_t firstByteBy = 0);

}  // namespace kline
