// A scripted K-line for the services' tests: the adapter echoes, the ECU answers what the
// test queues, the clock is virtual and every report is recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/kwp_message.h"
#include "link/port.h"
#include "tests/support/frames.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace services_test {

using testing_support::AnswerFrame;
using testing_support::Hex;

// A good answer as the exchange leaves it: the data, then the received checksum, zeros beyond.
inline kline::KwpMessage Answer(const std::vector<uint8_t>& data, uint8_t checksum = 0xC5) {
    kline::KwpMessage answer;
    for (uint8_t byte : data) answer.data[answer.length++] = byte;
    if (answer.length < answer.data.size())
        answer.data[answer.length] = checksum;
    return answer;
}

class EcuLine : public ::testing::Test {
  protected:
    void SetUp() override { port.device = std::make_unique<testing_support::ScriptedPort>(line); }

    // The ECU's next answer, given as its data (SID first).
    void Answers(uint8_t ecuAddress, const std::vector<uint8_t>& data) {
        line.answers.push_back(AnswerFrame(ecuAddress, data));
    }

    testing_support::ScopedVirtualClock clock;
    testing_support::ScriptedLine line;
    kline::Port port;
    testing_support::RecordingSink sink;
};

}  // namespace services_test
