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
#include "platform/clock.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"

namespace services_test {

inline std::string Hex(const std::vector<uint8_t>& bytes) {
    return kline::HexBytes(bytes.data(), bytes.size());
}

// An ECU's answer on the line: format byte, tester, ECU, data, checksum (ISO 14230-2 4.1).
inline std::vector<uint8_t> AnswerFrame(uint8_t ecuAddress, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    if (data.size() < 64) {
        frame = {static_cast<uint8_t>(0x80 + data.size()), kline::kTesterAddress, ecuAddress};
    } else {
        frame = {0x80, kline::kTesterAddress, ecuAddress, static_cast<uint8_t>(data.size())};
    }
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t byte : frame) sum = static_cast<uint8_t>(sum + byte);
    frame.push_back(sum);
    return frame;
}

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
    void SetUp() override {
        platform::UseClock(&clock);
        port.device = std::make_unique<testing_support::ScriptedPort>(line);
    }
    void TearDown() override { platform::UseClock(nullptr); }

    // The ECU's next answer, given as its data (SID first).
    void Answers(uint8_t ecuAddress, const std::vector<uint8_t>& data) {
        line.answers.push_back(AnswerFrame(ecuAddress, data));
    }

    platform::VirtualClock clock;
    testing_support::ScriptedLine line;
    kline::Port port;
    testing_support::RecordingSink sink;
};

}  // namespace services_test
