// Frames on the line for the tests, built by the simulator's own encoder, so that a test's
// idea of a good answer is the one the simulated ECU sends.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "link/exchange.h"
#include "link/kwp_message.h"
#include "sim/kwp_frame.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// The ECU address of a family: 0x11 for type 0, 0x10 for type 1.
inline uint8_t EcuAddress(int family) {
    return family == 0 ? 0x11 : 0x10;
}

// An ECU's answer to the tester: format byte (with a length byte beyond 63 data bytes),
// tester, ECU, data (SID first), checksum (ISO 14230-2 4.1).
inline Bytes AnswerFrame(uint8_t ecuAddress, const Bytes& data) {
    return sim::EncodeFrame(kline::kTesterAddress, ecuAddress, data);
}

// The data of a live data answer: 0x61 0x01, zeros up to `length`, and the given bytes set.
inline Bytes LiveRecord(const std::vector<std::pair<int, uint8_t>>& bytes, size_t length = 34) {
    Bytes data(length, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    for (const auto& [position, value] : bytes) data[position] = value;
    return data;
}

// A good answer as the exchange hands it on: the data, then the received checksum, zeros
// beyond.
inline kline::KwpMessage Received(const Bytes& data, uint8_t checksum = 0xC5) {
    kline::KwpMessage answer;
    for (uint8_t byte : data) answer.data[answer.length++] = byte;
    if (answer.length < answer.data.size())
        answer.data[answer.length] = checksum;
    return answer;
}

// The bytes as "82 10 F1 ..." for failing comparisons.
inline std::string Hex(const Bytes& bytes) {
    return kline::HexBytes(bytes.data(), bytes.size());
}

}  // namespace testing_support

namespace kline {
// A failure reason by its name in failing comparisons ("NoEcho", not a number).
inline void PrintTo(FailureReason reason, std::ostream* os) {
    *os << FailureName(reason);
}
}  // namespace kline
