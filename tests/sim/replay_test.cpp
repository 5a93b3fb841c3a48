// kline-sim --replay's ECU: the answers of a trace per request and per service, in order and
// looping, at their recorded delays; traces it refuses, with the wrong line; the shipped
// trace recorded by the station from kline-sim.
#include "sim/replay.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/kline_bus.h"
#include "sim/line_timing.h"

namespace {

using Bytes = std::vector<uint8_t>;

sim::RequestFrame Request(Bytes data, uint8_t target = 0x11) {
    sim::RequestFrame frame;
    frame.addressed = true;
    frame.target = target;
    frame.source = 0xF1;
    frame.data = std::move(data);
    frame.checksumOk = true;
    return frame;
}

sim::TraceReplay Loaded(const std::string& text) {
    sim::TraceReplay replay;
    std::istringstream in(text);
    std::string error;
    EXPECT_TRUE(sim::LoadReplay(in, replay, error)) << error;
    return replay;
}

// As kline-sim --trace writes it: each byte timed by its start on the line, no echo. Two live
// answers, one CO trim read; the second live answer 40 ms after its request has ended.
const char* kSimTrace =
    "   0.000000  tester  82 11 F1 21 01 A6\n"
    "   0.030772  ecu     83 F1 11 61 01 07 EE\n"
    "   0.100000  tester  82 11 F1 21 01 A6\n"
    "   0.145772  ecu     83 F1 11 61 01 08 EF\n"
    "   0.200000  tester  82 11 F1 30 61 15\n"
    "   0.230772  ecu     83 F1 11 70 61 05 5B\n";

TEST(Replay, AnswersInRecordedOrderAndLoops) {
    sim::TraceReplay replay = Loaded(kSimTrace);
    EXPECT_EQ(replay.EcuAddress(), 0x11);
    EXPECT_EQ(replay.AnswerCount(0x21), 2u);
    const Bytes first{0x83, 0xF1, 0x11, 0x61, 0x01, 0x07, 0xEE};
    const Bytes second{0x83, 0xF1, 0x11, 0x61, 0x01, 0x08, 0xEF};
    for (const Bytes& expected : {first, second, first}) {
        const std::optional<sim::Answer> answer = replay.OnRequest(Request({0x21, 0x01}), false);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->frame, expected);
    }
    // The delays after the end of the 6-byte request: 30772 - 6 x 962 = 25000, and 40000.
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->delayMicros, 40'000);
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->delayMicros, 25'000);
}

TEST(Replay, OtherRequestsOfAServiceGetItsAnswersAndTheSessionIsAnswered) {
    sim::TraceReplay replay = Loaded(kSimTrace);
    // A CO trim write was not recorded: the read's answer of the same service comes.
    EXPECT_EQ(replay.OnRequest(Request({0x30, 0x61, 0x07, 0x02}), false)->frame[3], 0x70);
    EXPECT_EQ(replay.OnRequest(Request({0x81}), false)->frame,
              (Bytes{0x83, 0xF1, 0x11, 0xC1, 0xEF, 0x8F, 0xC4}));
    EXPECT_EQ(replay.OnRequest(Request({0x82}), false)->frame,
              (Bytes{0x81, 0xF1, 0x11, 0xC2, 0x45}));
    EXPECT_FALSE(replay.OnRequest(Request({0x18, 0x00, 0xFF, 0x00}), false)) << "never answered";
    EXPECT_FALSE(replay.OnRequest(Request({0x21, 0x01}, 0x10), false)) << "another ECU's address";
    sim::RequestFrame corrupt = Request({0x21, 0x01});
    corrupt.checksumOk = false;
    EXPECT_FALSE(replay.OnRequest(corrupt, false));
}

TEST(Replay, TheStationsOwnTraceTimesBytesOnArrival) {
    // Written at once, read back one byte time after each began: the same 25 ms delay; an
    // answer read late plays no later than an ECU answers.
    sim::TraceReplay replay = Loaded(
        "# station\n"
        "   0.000000  tester  82 11 F1 21 01 A6\n"
        "   0.000962  echo    82 11 F1 21 01 A6\n"
        "   0.031734  ecu     83 F1 11 61 01 07 EE\n"
        "   0.040000  tester  AA\n"
        "   1.000000  tester  82 11 F1 21 01 A6\n"
        "   1.000962  echo    82 11 F1 21 01 A6\n"
        "   1.150000  ecu     83 F1 11 61 01 08 EF\n");  // read late: the station was held
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->delayMicros, 25'000);
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->delayMicros, 50'000) << "P2max";
}

TEST(Replay, AnAnswerTheLineBrokeOffPlaysAsItCame) {
    sim::TraceReplay replay = Loaded(
        "0.000000 tester 82 11 F1 21 01 A6\n0.030772 ecu 83 F1 11 61\n"  // cut off
        "0.200000 tester 82 11 F1 21 01 A6\n0.230772 ecu 83 F1 11 61 01 08 EF\n");
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->frame,
              (Bytes{0x83, 0xF1, 0x11, 0x61}));
    EXPECT_EQ(replay.OnRequest(Request({0x21, 0x01}), false)->frame.size(), 7u);
}

TEST(Replay, PlaysOnTheLineAtTheRecordedDelay) {
    sim::TraceReplay replay = Loaded(kSimTrace);
    sim::KLineBus bus;
    bus.SetAnswerSource(&replay);
    int64_t t = 1'000'000;
    for (uint8_t b : Bytes{0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6}) t = bus.SendByte(b, t);
    bus.DropArrived(t);  // the echo
    const int64_t firstArrival = t + 25'000 + sim::kByteMicros;
    EXPECT_FALSE(bus.TakeByte(firstArrival - 1));
    Bytes answer;
    while (std::optional<uint8_t> b = bus.TakeByte(t + 200'000)) answer.push_back(*b);
    EXPECT_EQ(answer, (Bytes{0x83, 0xF1, 0x11, 0x61, 0x01, 0x07, 0xEE}));
}

TEST(Replay, JoinsARequestSplitOverLinesAndLeavesOutAnAnswerTheFileCutShort) {
    sim::TraceReplay replay = Loaded(
        "0.000000 tester 82 10 F1\n0.004000 tester 21 01 A5\n"  // an older station's trace
        "0.006000 echo 82 10 F1 21 01 A5\n0.040000 ecu 83 F1 10 61 01 07 ED\n"
        "0.200000 tester 82 10 F1 1A 80 1F\n0.240000 ecu 83 F1 10 5A\n");
    EXPECT_EQ(replay.AnswerCount(0x21), 1u);
    EXPECT_EQ(replay.AnswerCount(0x1A), 0u);
    ASSERT_EQ(replay.Warnings().size(), 1u);
    EXPECT_EQ(std::to_string(replay.Warnings()[0].line) + ": " + replay.Warnings()[0].what,
              "6: the trace ends inside an exchange: its answer is cut short (4 of 7 bytes) and "
              "is left out");
    EXPECT_EQ(replay.EcuType(), 1);
    EXPECT_EQ(replay.Summary(), "ECU type 1 at address 0x10; answers by service: 21 x1");
}

struct BadTrace {
    const char* name;
    const char* text;
    const char* error;  // "LINE: what" as kline-sim prints it after the file name
};

class RefusedTrace : public testing::TestWithParam<BadTrace> {};

TEST_P(RefusedTrace, NamesTheWrongLine) {
    sim::TraceReplay replay;
    std::istringstream in(GetParam().text);
    std::string error;
    EXPECT_FALSE(sim::LoadReplay(in, replay, error));
    EXPECT_EQ(error.rfind(GetParam().error, 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Traces, RefusedTrace,
    testing::Values(
        BadTrace{"TwoAddresses",
                 "0.000000 tester 82 11 F1 21 01 A6\n0.030000 ecu 81 F1 11 61 D4\n"
                 "0.100000 tester 82 10 F1 21 01 A5\n0.130000 ecu 81 F1 10 61 D3\n",
                 "4: answers for two ECU addresses: 0x11 and 0x10"},
        BadTrace{"CutInTheMiddleOfALine",
                 "0.000000 tester 82 11 F1 21 01 A6\n0.030000 ecu 83 F1 1\n", "2: bad byte"},
        BadTrace{"AnswerNoFrame", "0.000000 tester 81 11 F1 81 04\n0.030000 ecu 00 C1\n",
                 "2: the ECU's answer is no KWP frame"},
        BadTrace{"GarbageFirstLine", "PK\x03\x04 not a trace\n", "1: bad time"},
        BadTrace{"OnlyRequests", "0.000000 tester 81 11 F1 81 04\n", "0: no ECU answer"},
        BadTrace{"Empty", "", "0: no ECU answer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Replay, TheShippedTraceHoldsASessionOfLiveData) {
    std::ifstream in(TAVRO_TRACE_FIXTURE);
    ASSERT_TRUE(in) << TAVRO_TRACE_FIXTURE;
    sim::TraceReplay replay;
    std::string error;
    ASSERT_TRUE(sim::LoadReplay(in, replay, error)) << error;
    EXPECT_EQ(replay.EcuAddress(), 0x11);
    EXPECT_GE(replay.AnswerCount(0x21), 10u);
    const std::optional<sim::Answer> live = replay.OnRequest(Request({0x21, 0x01}), false);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->frame[3], 0x61);
    // kline-sim answers after its P2 of 25 ms; the station timed the bytes as they came.
    EXPECT_NEAR(static_cast<double>(live->delayMicros), 25'000, 5'000);
}

}  // namespace
