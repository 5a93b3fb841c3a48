// The line trace: every byte on the K-line with its side and time, as plain text that both
// the station (recording beside its live data) and kline-sim (--trace, --replay) write and
// read. One line per burst of bytes from one side, timed by its first byte:
//
//   # comment lines and empty lines are skipped
//      0.012345  tester  82 11 F1 21 01 A6
//      0.013307  echo    82 11 F1 21 01 A6
//      0.043250  ecu     A0 F1 11 61 01 ...
//      1.000000  break set
//      1.025000  break clear
//
// The time is in seconds since the trace began, with exactly six decimals (microseconds).
// "tester" is what the tester sent, "echo" what it read back of its own bytes (the
// half-duplex line returns every byte sent), "ecu" what it received from the ECU, and the
// break lines the tester pulling the line low for the wake-up.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class TraceKind : uint8_t { Tester, Echo, Ecu, BreakSet, BreakClear };

// One byte or break as it happened.
struct TraceByte {
    int64_t micros = 0;
    TraceKind kind = TraceKind::Tester;
    uint8_t byte = 0;  // not used by the breaks
};

// One line of the trace.
struct TraceLine {
    int64_t micros = 0;  // since the trace began
    TraceKind kind = TraceKind::Tester;
    std::vector<uint8_t> bytes;  // empty for the breaks
    size_t number = 0;           // the line's number in its file (from 1), when read from one
    friend bool operator==(const TraceLine&, const TraceLine&) = default;
};

// Bytes of one side closer than this belong to one burst: back to back at 10400 baud, or a
// slow tester within three byte times.
inline constexpr int64_t kTraceBurstGapMicros = 3 * 962;

std::string FormatTraceLine(const TraceLine& line);

// Reads one line (not a comment). On a malformed line it returns false and says why.
bool ParseTraceLine(std::string_view text, TraceLine& line, std::string& error);

// A trace that could not be read: the number of the first wrong line (from 1) and why.
struct TraceError {
    size_t line = 0;
    std::string what;
};

// Reads a whole trace. Times must not go back. False with the first wrong line otherwise.
bool ReadTrace(std::istream& in, std::vector<TraceLine>& lines, TraceError& error);

// Groups bytes into the trace's lines as they come (in time order).
class TraceWriter {
  public:
    explicit TraceWriter(int64_t originMicros) : origin_(originMicros) {}

    // Adds one event; returns the lines it has completed.
    std::vector<std::string> Add(const TraceByte& event);
    // Returns the pending burst once nothing has followed it for a burst gap (or `force`).
    std::vector<std::string> Flush(int64_t nowMicros, bool force = false);

  private:
    std::string PendingLine() const;

    int64_t origin_;
    TraceLine pending_;
    int64_t last_ = 0;
};

}  // namespace platform
