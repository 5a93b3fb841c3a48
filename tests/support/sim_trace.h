// kline-sim's trace (--trace) read back: one burst of bytes from one side per line,
// "   1.234567  tester  82 10 F1 21 01 A5", with the time of its first byte in seconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/kwp_message.h"

namespace testing_support {

struct TraceBurst {
    double seconds = 0;
    bool fromEcu = false;
    std::vector<uint8_t> bytes;  // the whole frame, format byte to checksum
};

// The bursts of the trace file in order; lines of any other kind are skipped.
std::vector<TraceBurst> ReadSimTrace(const std::string& path);

// The tester's live data request 0x21 0x01.
bool IsLiveRequest(const TraceBurst& burst);
// The ECU's positive answer 0x61 to it.
bool IsLiveAnswer(const TraceBurst& burst);
// The data of a traced frame (SID first) as the exchange hands it to the station.
kline::KwpMessage RecordOf(const std::vector<uint8_t>& frame);

}  // namespace testing_support
