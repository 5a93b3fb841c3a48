// Answer frames as an ECU sends them, for the link's tests: the simulator's encoder.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/frames.h"

namespace link_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Answer(uint8_t source, const Bytes& data) {
    return testing_support::AnswerFrame(source, data);
}

}  // namespace link_test
