#include "link/exchange.h"

#include <algorithm>
#include <array>

namespace kline {

namespace {

// Format byte: 0x80 + length for 1..63 data bytes; 0x80 alone with a separate length byte
// for 64 and more (ISO 14230-2, 4.1 message structure).
constexpr uint8_t kFormatAddressed = 0x80;
constexpr uint8_t kFormatModeMask = 0xC0;
constexpr uint8_t kFormatLengthMask = 0x3F;
constexpr int kMaxShortLength = 63;

// Reads one byte and adds it to the running checksum; false when the line stayed silent.
bool ReadSummed(platform::SerialPort& device, uint8_t& byte, uint8_t& sum) {
    if (device.ReadByte(byte) != 1)
        return false;
    sum = static_cast<uint8_t>(sum + byte);
    return true;
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

KwpMessage Exchange(uint8_t ecuAddress, const KwpMessage& request, Port& port) {
    KwpMessage response;
    response.error = 1;  // every early return below is a failure
    if (!port.IsOpen())
        return response;
    platform::SerialPort& device = *port.device;

    std::array<uint8_t, 256> frame{};
    const int frameSize = BuildFrame(ecuAddress, request, frame.data());

    device.PurgeReceive();  // a late answer to an earlier request is not this one's
    for (int i = 0; i < frameSize; ++i)
        if (device.WriteByte(frame[i]) != 1)
            return response;

    // The K-line is half duplex: the adapter hears every byte we send. The echo is only
    // counted, not compared.
    uint8_t byte = 0;
    for (int i = 0; i < frameSize; ++i)
        if (device.ReadByte(byte) != 1)
            return response;

    uint8_t sum = 0;
    uint8_t format = 0;
    if (!ReadSummed(device, format, sum) || (format & kFormatModeMask) != kFormatAddressed)
        return response;
    uint8_t length = format & kFormatLengthMask;
    if (!ReadSummed(device, byte, sum) || byte != kTesterAddress)
        return response;
    if (!ReadSummed(device, byte, sum) || byte != ecuAddress)
        return response;
    if (length == 0) {
        // The byte count of this read is left to the next one: a silent line fails there.
        byte = 0;
        ReadSummed(device, byte, sum);
        length = byte;
    }
    response.length = length;
    // A negative answer (0x7F) fails here like any other unexpected SID.
    if (!ReadSummed(device, response.data[0], sum) || response.data[0] != (request.data[0] | 0x40))
        return response;
    for (int i = 1; i < length; ++i)
        if (!ReadSummed(device, response.data[i], sum))
            return response;

    // The checksum lands right after the data; a 255-byte answer leaves no room there,
    // so its checksum is only compared.
    uint8_t checksum = 0;
    if (device.ReadByte(checksum) != 1 || checksum != sum)
        return response;
    if (length >= 1 && length < response.data.size())
        response.data[length] = checksum;
    response.error = 0;
    return response;
}

}  // namespace kline
