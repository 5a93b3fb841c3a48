// Answer frames as an ECU sends them, for the link's tests.
#pragma once

#include <cstdint>
#include <vector>

namespace link_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Answer(uint8_t source, const Bytes& data) {
    Bytes frame{static_cast<uint8_t>(0x80 + data.size()), 0xF1, source};
    for (uint8_t byte : data) frame.push_back(byte);  // (insert() trips a false -Warray-bounds)
    uint8_t sum = 0;
    for (uint8_t b : frame) sum += b;
    frame.push_back(sum);
    return frame;
}

}  // namespace link_test
