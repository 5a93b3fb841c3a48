// Frames on the line for the tests, built by the simulator's own encoder, so that a test's
// idea of a good answer is the one the simulated ECU sends.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/kwp_message.h"
#include "sim/kwp_frame.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// An ECU's answer to the tester: format byte (with a length byte beyond 63 data bytes),
// tester, ECU, data (SID first), checksum (ISO 14230-2 4.1).
inline Bytes AnswerFrame(uint8_t ecuAddress, const Bytes& data) {
    return sim::EncodeFrame(kline::kTesterAddress, ecuAddress, data);
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
