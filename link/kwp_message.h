// The message record of the KWP2000 (ISO 14230) exchange: a request or a response.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace kline {

struct KwpMessage {
    std::array<uint8_t, 255> data{};  // data[0] is the service identifier
    uint8_t length = 0;               // valid bytes of data, the SID included
    uint8_t error = 0;                // 1: the exchange failed, no other field may be used
};

// A request of the given bytes (SID first), with error clear.
KwpMessage MakeRequest(std::initializer_list<uint8_t> bytes);

// "61 01 0A" for diagnostics and failing test comparisons.
std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace kline
