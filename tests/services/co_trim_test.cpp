#include "services/co_trim.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "platform/number_format.h"
#include "tests/support/frames.h"
#include "tests/support/scripted_port.h"

namespace {

using testing_support::Hex;
using testing_support::Received;

struct TextCase {
    int trim;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.trim << " -> " << c.text;
}

class CoTrimTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CoTrimTextTest, IsTheRatioCutToSevenCharacters) {
    EXPECT_EQ(services::CoTrimText(GetParam().trim), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Trims, CoTrimTextTest,
                         ::testing::Values(TextCase{0, "0"}, TextCase{1, "0.00392"},
                                           TextCase{-1, "-0.0039"}, TextCase{51, "0.2"},
                                           TextCase{127, "0.49803"}, TextCase{-128, "-0.5019"},
                                           TextCase{-10, "-0.0392"}, TextCase{-51, "-0.2"},
                                           TextCase{100, "0.39215"}));

TEST(CoTrimText, UsesTheUsersSeparator) {
    platform::SetDecimalSeparator(',');
    const std::string text = services::CoTrimText(1);
    platform::SetDecimalSeparator('.');
    EXPECT_EQ(text, "0,00392");
}

struct ByteCase {
    uint8_t byte11;
    int trim;
};

void PrintTo(const ByteCase& c, std::ostream* os) {
    *os << "byte " << int{c.byte11};
}

class CoTrimOfTest : public ::testing::TestWithParam<ByteCase> {};

TEST_P(CoTrimOfTest, ReadsByte11AsSigned) {
    std::vector<uint8_t> data(20, 0x55);
    data[0] = 0x61;
    data[1] = 0x01;
    data[11] = GetParam().byte11;
    EXPECT_EQ(services::CoTrimOf(Received(data)), GetParam().trim);
}

INSTANTIATE_TEST_SUITE_P(Bytes, CoTrimOfTest,
                         ::testing::Values(ByteCase{0xF6, -10}, ByteCase{0x7F, 127},
                                           ByteCase{0x80, -128}, ByteCase{0xFF, -1},
                                           ByteCase{0x00, 0}, ByteCase{0x01, 1}));

class CoTrimLine : public ::testing::Test, protected testing_support::PortOnScriptedLine {
  protected:
    static std::vector<uint8_t> LiveData(uint8_t byte11) {
        return testing_support::LiveRecord({{11, byte11}}, 30);
    }
    // When the first byte of each request went out, in milliseconds of the virtual clock.
    std::vector<int64_t> RequestStartsMs() const {
        std::vector<int64_t> starts;
        for (size_t i = 0; i < line.written.size(); i += (line.written[i] & 0x3F) + 4u)
            starts.push_back(line.writeTimes[i] / 1000);  // header of 3, data, checksum
        return starts;
    }
};

TEST_F(CoTrimLine, ReadTakesTheFirstAnsweredOfTenWithoutPause) {
    for (int i = 0; i < 9; ++i) Answers(0x10, {0x7F, 0x21, 0x22});  // refused
    Answers(0x10, LiveData(0xF6));
    const std::optional<int8_t> trim = services::ReadCoTrim(kline::EcuProtocol(1), port);
    ASSERT_TRUE(trim);
    EXPECT_EQ(*trim, -10);
    EXPECT_EQ(RequestStartsMs(), std::vector<int64_t>(10, 0));
}

TEST_F(CoTrimLine, ReadGivesUpAfterTenAttempts) {
    for (int i = 0; i < 11; ++i) Answers(0x11, {0x7F, 0x21, 0x22});
    EXPECT_FALSE(services::ReadCoTrim(kline::EcuProtocol(0), port));
    EXPECT_EQ(line.written.size(), 10u * 6u);
    EXPECT_EQ(Hex({line.written.begin(), line.written.begin() + 6}), "82 11 F1 21 01 A6");
}

TEST_F(CoTrimLine, AnswerEndingBeforeTheTrimByteIsAFailedRead) {
    std::vector<uint8_t> shortRecord = LiveData(0x40);
    shortRecord.resize(11);  // positions 0 .. 10: the checksum would stand at 11
    for (int i = 0; i < 9; ++i) Answers(0x10, shortRecord);
    Answers(0x10, LiveData(0x40));
    EXPECT_EQ(services::ReadCoTrim(kline::EcuProtocol(1), port), std::optional<int8_t>(0x40));
    for (int i = 0; i < 10; ++i) Answers(0x10, shortRecord);
    EXPECT_EQ(services::ReadCoTrim(kline::EcuProtocol(1), port), std::nullopt);
}

struct WriteCase {
    int8_t trim;
    const char* firstFrame;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << "trim " << int{c.trim};
}

class WriteCoTrimTest : public CoTrimLine, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteCoTrimTest, Type1SendsTheValueThenReturnsControl) {
    Answers(0x10, {0x70, 0x61, 0x08});
    Answers(0x10, {0x70, 0x61, 0x00});
    EXPECT_TRUE(services::WriteCoTrim(kline::EcuProtocol(1), GetParam().trim, 250, port));
    EXPECT_EQ(line.Written(), std::string(GetParam().firstFrame) + " 83 10 F1 30 61 00 15");
    EXPECT_EQ(RequestStartsMs(), (std::vector<int64_t>{250, 500}));
}

INSTANTIATE_TEST_SUITE_P(Trims, WriteCoTrimTest,
                         ::testing::Values(WriteCase{1, "84 10 F1 30 61 08 01 1F"},
                                           WriteCase{-128, "84 10 F1 30 61 08 80 9E"},
                                           WriteCase{-10, "84 10 F1 30 61 08 F6 14"}));

TEST_F(CoTrimLine, FailedFirstStepSkipsTheSecond) {
    Answers(0x10, {0x7F, 0x30, 0x31});
    Answers(0x10, {0x70, 0x61, 0x00});
    EXPECT_FALSE(services::WriteCoTrim(kline::EcuProtocol(1), 1, 100, port));
    EXPECT_EQ(line.Written(), "84 10 F1 30 61 08 01 1F");
    EXPECT_EQ(RequestStartsMs(), std::vector<int64_t>{100});
}

TEST_F(CoTrimLine, FailedSecondStepFails) {
    Answers(0x10, {0x70, 0x61, 0x08});
    EXPECT_FALSE(services::WriteCoTrim(kline::EcuProtocol(1), 1, 50, port));
    EXPECT_EQ(RequestStartsMs(), (std::vector<int64_t>{50, 100}));
}

TEST_F(CoTrimLine, Type0StoresNothingAndSaysSoByFailing) {
    EXPECT_FALSE(services::KeepsCoTrim(kline::EcuProtocol(0)));
    EXPECT_TRUE(services::KeepsCoTrim(kline::EcuProtocol(1)));
    EXPECT_FALSE(services::WriteCoTrim(kline::EcuProtocol(0), 5, 250, port));
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(clock.NowMicros(), 0);
    EXPECT_TRUE(sink.Texts().empty());
}

TEST_F(CoTrimLine, InvalidEcuTypeReportsAndFails) {
    EXPECT_FALSE(services::WriteCoTrim(kline::EcuProtocol(4), 5, 250, port));
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

}  // namespace
