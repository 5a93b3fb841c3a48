// ISO 14230-2 frames as the ECU sees them on the line: the receiver that cuts the byte stream
// into frames by their format and length bytes, and the encoder of the ECU's answers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// A frame the ECU's receiver has taken from the line, whoever it was meant for.
struct RequestFrame {
    int64_t startMicros = 0;  // the first byte began on the line
    int64_t endMicros = 0;    // the checksum byte has ended
    uint8_t format = 0;
    bool addressed = false;  // format modes 0x80 and 0xC0 carry target and source bytes
    uint8_t target = 0;
    uint8_t source = 0;
    std::vector<uint8_t> data;  // SID first
    bool checksumOk = false;
};

// The frame of an answer: format byte 0x80 + L for 1..63 data bytes, or 0x80 and a length byte
// for 64 and more; target, source, data, and the sum of all these bytes (ISO 14230-2 4.1).
std::vector<uint8_t> EncodeFrame(uint8_t target, uint8_t source, const std::vector<uint8_t>& data);

class FrameReceiver {
  public:
    // Takes one byte that was on the line from `startMicros` to `endMicros`. Returns the frame
    // this byte completed, if any. A partial frame is dropped first when the line was idle for
    // more than kFrameDropIdleMicros before this byte.
    std::optional<RequestFrame> Feed(uint8_t byte, int64_t startMicros, int64_t endMicros);

    // True when a byte starting at `startMicros` would begin a new frame.
    bool StartsFrame(int64_t startMicros) const;

    // Forgets a partial frame (a break on the line).
    void Reset() { bytes_.clear(); }

  private:
    // The size of the frame being received, or 0 while its header is still incomplete.
    size_t ExpectedSize() const;
    RequestFrame Decode(int64_t endMicros) const;

    std::vector<uint8_t> bytes_;
    int64_t frameStart_ = 0;
    int64_t lastEnd_ = 0;
};

}  // namespace sim
