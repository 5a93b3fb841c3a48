// The hex trace of kline-sim: the line's events grouped into one text line per burst of bytes
// from one side, with the time of its first byte in seconds since the start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/kline_bus.h"

namespace sim {

class LineTrace {
  public:
    explicit LineTrace(int64_t originMicros) : origin_(originMicros) {}

    // Adds events in time order; returns the lines that are complete.
    std::vector<std::string> Add(const std::vector<LineEvent>& events);
    // Returns the pending burst when nothing has followed it for a while (or `force`).
    std::vector<std::string> Flush(int64_t nowMicros, bool force = false);

  private:
    std::string Line() const;

    int64_t origin_;
    std::vector<uint8_t> bytes_;
    LineEventKind kind_ = LineEventKind::TesterByte;
    int64_t first_ = 0;
    int64_t last_ = 0;
};

}  // namespace sim
