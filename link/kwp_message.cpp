#include "link/kwp_message.h"

namespace kline {

KwpMessage MakeRequest(std::initializer_list<uint8_t> bytes) {
    KwpMessage request;
    for (uint8_t byte : bytes) request.data[request.length++] = byte;
    return request;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace kline
