// Reading an ECU answer by byte position. Only the first `length` bytes are the answer;
// behind them the exchange leaves the received checksum and zeros. A short answer must
// not have its checksum read as a code, a flag or a character, so those positions read 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/kwp_message.h"

namespace services {

inline uint8_t AnswerByte(const kline::KwpMessage& answer, size_t position) {
    return position < answer.length ? answer.data[position] : 0;
}

}  // namespace services
