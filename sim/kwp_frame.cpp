#include "sim/kwp_frame.h"

#include "sim/line_timing.h"

namespace sim {

namespace {

constexpr uint8_t kModeAddressed = 0x80;  // bit 7: target and source follow the format byte
constexpr uint8_t kLengthMask = 0x3F;
constexpr size_t kMaxShortLength = 63;

uint8_t Sum(const std::vector<uint8_t>& bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}

}  // namespace

std::vector<uint8_t> EncodeFrame(uint8_t target, uint8_t source, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 5);
    const bool lengthByte = data.size() > kMaxShortLength;
    frame.push_back(lengthByte ? kModeAddressed
                               : static_cast<uint8_t>(kModeAddressed + data.size()));
    frame.push_back(target);
    frame.push_back(source);
    if (lengthByte)
        frame.push_back(static_cast<uint8_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(Sum(frame, frame.size()));
    return frame;
}

bool FrameReceiver::StartsFrame(int64_t startMicros) const {
    return bytes_.empty() || startMicros - lastEnd_ > kFrameDropIdleMicros;
}

std::optional<RequestFrame> FrameReceiver::Feed(uint8_t byte, int64_t startMicros,
                                                int64_t endMicros) {
    if (StartsFrame(startMicros)) {
        bytes_.clear();
        frameStart_ = startMicros;
    }
    bytes_.push_back(byte);
    lastEnd_ = endMicros;
    const size_t expected = ExpectedSize();
    if (expected == 0 || bytes_.size() < expected)
        return std::nullopt;
    RequestFrame frame = Decode(endMicros);
    bytes_.clear();
    return frame;
}

size_t FrameReceiver::ExpectedSize() const {
    const uint8_t format = bytes_[0];
    const size_t addressBytes = (format & kModeAddressed) ? 2 : 0;
    size_t header = 1 + addressBytes;
    size_t length = format & kLengthMask;
    if (length == 0) {
        if (bytes_.size() <= header)
            return 0;  // the length byte has not come yet
        length = bytes_[header];
        ++header;
    }
    return header + length + 1;
}

RequestFrame FrameReceiver::Decode(int64_t endMicros) const {
    RequestFrame frame;
    frame.startMicros = frameStart_;
    frame.endMicros = endMicros;
    frame.format = bytes_[0];
    frame.addressed = (frame.format & kModeAddressed) != 0;
    size_t header = 1;
    if (frame.addressed) {
        frame.target = bytes_[1];
        frame.source = bytes_[2];
        header = 3;
    }
    if ((frame.format & kLengthMask) == 0)
        ++header;
    frame.data.assign(bytes_.begin() + static_cast<long>(header), bytes_.end() - 1);
    frame.checksumOk = Sum(bytes_, bytes_.size() - 1) == bytes_.back();
    return frame;
}

}  // namespace sim
