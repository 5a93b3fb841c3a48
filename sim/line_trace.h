// kline-sim's trace (--trace) of the line's events, in the station's line trace format
// (platform/line_trace.h): one text line per frame from one side, with the time of its first
// byte since the start. A frame the ECU's receiver dropped (the line idle in its middle) ends
// its line there, as the receiver took it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/line_trace.h"
#include "sim/kline_bus.h"
#include "sim/line_timing.h"

namespace sim {

class LineTrace {
  public:
    explicit LineTrace(int64_t originMicros) : writer_(originMicros, kFrameDropIdleMicros) {}

    // Adds events in time order; returns the lines that are complete.
    std::vector<std::string> Add(const std::vector<LineEvent>& events);
    // Returns an unfinished frame once the receiver would have dropped it (or `force`).
    std::vector<std::string> Flush(int64_t nowMicros, bool force = false);

  private:
    platform::TraceWriter writer_;
};

}  // namespace sim
