#include "link/exchange.h"

#include <algorithm>
#include <array>

#include "platform/clock.h"

namespace kline {

namespace {

// Format byte: 0x80 + length for 1..63 data bytes; 0x80 alone with a separate length byte
// for 64 and more (ISO 14230-2, 4.1 message structure).
constexpr uint8_t kFormatAddressed = 0x80;
constexpr uint8_t kFormatModeMask = 0xC0;
constexpr uint8_t kFormatLengthMask = 0x3F;
constexpr int kMaxShortLength = 63;
constexpr uint8_t kNegativeSid = 0x7F;  // negative response (ISO 14230-3, 4.4)

// The answer is read byte by byte with a running checksum over everything before the
// checksum byte itself.
struct AnswerReader {
    platform::SerialPort& device;
    uint8_t sum = 0;

    // False when the line stayed silent for the port's per-byte time-out.
    bool Read(uint8_t& byte) {
        if (device.ReadByte(byte) != 1)
            return false;
        sum = static_cast<uint8_t>(sum + byte);
        return true;
    }
};

enum class Sent : uint8_t { Whole, Failed, Late };

// Writes the frame byte by byte; one whose first byte began after `firstByteBy` (when given)
// is given up after that byte: the ECU would not take it.
Sent SendFrame(platform::SerialPort& device, const uint8_t* frame, int size, int64_t firstByteBy) {
    const int64_t called = platform::NowMicros();
    if (firstByteBy > 0 && called > firstByteBy)
        return Sent::Late;
    for (int i = 0; i < size; ++i) {
        if (device.WriteByte(frame[i]) != 1)
            return Sent::Failed;
        if (i == 0 && firstByteBy > 0 &&
            ByteBegan(called, platform::NowMicros(), ByteMicros(kKLineBaud)) > firstByteBy)
            return Sent::Late;
    }
    return Sent::Whole;
}

enum class Echo : uint8_t { Same, Differs, Missing };

// The K-line is half duplex: the adapter hears every byte we send. A differing echo does not
// fail the exchange by itself; it only explains a failure that follows.
Echo ReadEcho(platform::SerialPort& device, const uint8_t* frame, int size) {
    Echo echo = Echo::Same;
    for (int i = 0; i < size; ++i) {
        uint8_t byte = 0;
        if (device.ReadByte(byte) != 1)
            return Echo::Missing;
        if (byte != frame[i])
            echo = Echo::Differs;
    }
    return echo;
}

// Format, target and source; the data length from the format byte, or 0 when a length byte
// follows.
FailureReason ReadHeader(AnswerReader& in, uint8_t ecuAddress, uint8_t& length) {
    uint8_t format = 0;
    if (!in.Read(format))
        return FailureReason::Silent;
    // Only physical addressing (format 10xxxxxx) carries the target and source bytes.
    if ((format & kFormatModeMask) != kFormatAddressed)
        return FailureReason::NotForTester;
    length = format & kFormatLengthMask;
    uint8_t byte = 0;
    if (!in.Read(byte))
        return FailureReason::Truncated;
    if (byte != kTesterAddress)
        return FailureReason::NotForTester;
    if (!in.Read(byte))
        return FailureReason::Truncated;
    if (byte != ecuAddress)
        return FailureReason::WrongSource;
    return FailureReason::None;
}

// Steps after the header: length byte, SID, data and checksum into `response`.
FailureReason ReadBody(AnswerReader& in, uint8_t requestSid, uint8_t length, KwpMessage& response) {
    if (length == 0) {
        // The byte count of this read is left to the next one: a silent line fails there.
        uint8_t byte = 0;
        in.Read(byte);
        length = byte;
    }
    response.length = length;
    if (!in.Read(response.data[0]))
        return FailureReason::Truncated;
    // A negative answer (0x7F, SID, code) fails like any other unexpected SID, but is read to
    // its end so that the ECU's code can be told.
    const bool positive = response.data[0] == (requestSid | 0x40);
    const bool negative = !positive && response.data[0] == kNegativeSid;
    if (!positive && !negative)
        return FailureReason::UnexpectedService;
    for (int i = 1; i < length; ++i)
        if (!in.Read(response.data[i]))
            return FailureReason::Truncated;

    // The checksum lands right after the data; a 255-byte answer leaves no room there,
    // so its checksum is only compared.
    const uint8_t sum = in.sum;
    uint8_t checksum = 0;
    if (!in.Read(checksum))
        return FailureReason::Truncated;
    if (checksum != sum)
        return FailureReason::BadChecksum;
    if (length >= 1 && length < response.data.size())
        response.data[length] = checksum;
    return negative ? FailureReason::NegativeAnswer : FailureReason::None;
}

// The error flag the callers test, and the reason beside it.
KwpMessage Finished(KwpMessage& response, FailureReason reason) {
    response.error = reason == FailureReason::None ? 0 : 1;
    response.reason = reason;
    return response;
}

}  // namespace

int BuildFrame(uint8_t ecuAddress, const KwpMessage& request, uint8_t* frame) {
    int size = 0;
    const uint8_t length = request.length;
    if (length > kMaxShortLength) {
        frame[size++] = kFormatAddressed;
    } else {
        frame[size++] = static_cast<uint8_t>(kFormatAddressed + length);
    }
    frame[size++] = ecuAddress;
    frame[size++] = kTesterAddress;
    if (length > kMaxShortLength)
        frame[size++] = length;
    // The 256-byte frame leaves room for 251 data bytes behind a 4-byte header.
    const int dataBytes = std::min<int>(length, 256 - 1 - size);
    for (int i = 0; i < dataBytes; ++i) frame[size++] = request.data[i];
    uint8_t sum = 0;
    for (int i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + frame[i]);
    frame[size++] = sum;
    return size;
}

KwpMessage Exchange(uint8_t ecuAddress, const KwpMessage& request, Port& port,
                    int64_t firstByteBy) {
    KwpMessage response;
    if (!port.IsOpen())
        return Finished(response, FailureReason::PortClosed);
    platform::SerialPort& device = *port.device;

    std::array<uint8_t, 256> frame{};
    const int frameSize = BuildFrame(ecuAddress, request, frame.data());

    device.PurgeReceive();  // a late answer to an earlier request is not this one's
    const Sent sent = SendFrame(device, frame.data(), frameSize, firstByteBy);
    if (sent != Sent::Whole)
        return Finished(response,
                        sent == Sent::Late ? FailureReason::LateStart : FailureReason::WriteFailed);
    const Echo echo = ReadEcho(device, frame.data(), frameSize);
    if (echo == Echo::Missing)
        return Finished(response, FailureReason::NoEcho);

    AnswerReader in{device};
    uint8_t length = 0;
    FailureReason reason = ReadHeader(in, ecuAddress, length);
    if (reason == FailureReason::None)
        reason = ReadBody(in, request.data[0], length, response);
    // When the adapter did not hear our own bytes right (wrong speed, noise), the ECU did not
    // either: that, not the answer, is what went wrong. A whole negative answer is the ECU's
    // own word and stays.
    if (echo == Echo::Differs && reason != FailureReason::None &&
        reason != FailureReason::NegativeAnswer)
        reason = FailureReason::EchoDiffers;
    return Finished(response, reason);
}

}  // namespace kline
