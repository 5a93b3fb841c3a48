// The line trace: every byte on the K-line with its side and time, as plain text that both
// the station (recording beside its live data) and kline-sim (--trace, --replay) write and
// read. One line per frame from one side, timed by its first byte:
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
// break lines the tester pulling the line low for the wake-up. A frame's format and length
// bytes say where it ends (ISO 14230-2 4.1), so a pause between two of its bytes never cuts
// it; bytes that make no whole frame (the adapter's 0xAA) end where the other side speaks.
#pragma once

#include <cstdint>
#include <istream>
#include <span>
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

// The size of the KWP frame whose first bytes are `bytes` (format byte first): header,
// data and checksum; 0 while the length byte has not come. Bit 7 of the format byte says
// that target and source follow it; its low six bits are the data length, or 0 for a
// length byte after the header.
size_t KwpFrameSize(std::span<const uint8_t> bytes);

std::string FormatTraceLine(const TraceLine& line);

// `text` for a message: at most 60 characters, every one that is not printable ASCII
// shown as '?', and "..." when the text was longer.
std::string QuotedForMessage(std::string_view text);

// Reads one line (not a comment). On a malformed line it returns false and says why.
bool ParseTraceLine(std::string_view text, TraceLine& line, std::string& error);

// A trace that could not be read: the number of the first wrong line (from 1) and why.
struct TraceError {
    size_t line = 0;
    std::string what;
};

// Reads a whole trace. Times must not go back. False with the first wrong line otherwise.
bool ReadTrace(std::istream& in, std::vector<TraceLine>& lines, TraceError& error);

// Groups bytes into the trace's lines as they come (in time order): a line ends with its
// frame, or where the other side speaks or a break comes while its frame is unfinished.
class TraceWriter {
  public:
    // With `dropIdleMicros`, an unfinished frame also ends when no byte has followed it for
    // that long: the simulated ECU's receiver drops such a frame, and its trace shows the
    // line as the receiver took it. 0: never (the station writes whole frames).
    explicit TraceWriter(int64_t originMicros, int64_t dropIdleMicros = 0)
        : origin_(originMicros), dropIdle_(dropIdleMicros) {}

    // Adds one event; returns the lines it has completed.
    std::vector<std::string> Add(const TraceByte& event);
    // Returns an unfinished frame's line once it has been idle for the drop time (or at
    // once with `force`: the trace ends, or the line is known to be idle).
    std::vector<std::string> Flush(int64_t nowMicros, bool force = false);

  private:
    bool FrameComplete() const;
    std::vector<std::string> TakePending();

    int64_t origin_;
    int64_t dropIdle_;
    TraceLine pending_;
    int64_t last_ = 0;
};

}  // namespace platform
