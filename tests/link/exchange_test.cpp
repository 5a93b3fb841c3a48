// The KWP2000 exchange: the frames it sends and every answer it must refuse.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"

namespace {

using kline::KwpMessage;
using kline::MakeRequest;
using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& b) {
    return kline::HexBytes(b.data(), b.size());
}

Bytes Frame(uint8_t address, const KwpMessage& request) {
    uint8_t frame[256];
    int size = kline::BuildFrame(address, request, frame);
    return Bytes(frame, frame + size);
}

// A response frame from the ECU: format, F1, source, data, checksum.
Bytes Answer(uint8_t source, const Bytes& data) {
    Bytes frame;
    if (data.size() > 63) {
        frame = {0x80, 0xF1, source, static_cast<uint8_t>(data.size())};
    } else {
        frame = {static_cast<uint8_t>(0x80 + data.size()), 0xF1, source};
    }
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : frame) sum += b;
    frame.push_back(sum);
    return frame;
}

struct FrameCase {
    const char* name;
    uint8_t address;
    KwpMessage request;
    const char* frame;
};

class RequestFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(RequestFrames, AreFramedAsOnTheLine) {
    EXPECT_EQ(Hex(Frame(GetParam().address, GetParam().request)), GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    BothFamilies, RequestFrames,
    testing::Values(
        FrameCase{"StartType0", 0x11, MakeRequest({0x81}), "81 11 F1 81 04"},
        FrameCase{"StartType1", 0x10, MakeRequest({0x81}), "81 10 F1 81 03"},
        FrameCase{"StopType0", 0x11, MakeRequest({0x82}), "81 11 F1 82 05"},
        FrameCase{"StopType1", 0x10, MakeRequest({0x82}), "81 10 F1 82 04"},
        FrameCase{"LiveDataType0", 0x11, MakeRequest({0x21, 0x01}), "82 11 F1 21 01 A6"},
        FrameCase{"LiveDataType1", 0x10, MakeRequest({0x21, 0x01}), "82 10 F1 21 01 A5"},
        FrameCase{"ResetType1", 0x10, MakeRequest({0x11, 0x01}), "82 10 F1 11 01 95"},
        FrameCase{"ClearType0", 0x11, MakeRequest({0x14, 0xFF, 0x00}), "83 11 F1 14 FF 00 98"},
        FrameCase{"ClearType1", 0x10, MakeRequest({0x14, 0xFF, 0x00}), "83 10 F1 14 FF 00 97"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestFrame, SixtyFourDataBytesGetTheLengthByte) {
    KwpMessage request;
    request.length = 64;
    for (int i = 0; i < 64; ++i) request.data[i] = static_cast<uint8_t>(i + 1);
    Bytes frame = Frame(0x11, request);
    ASSERT_EQ(frame.size(), 4u + 64u + 1u);
    EXPECT_EQ(Hex(Bytes(frame.begin(), frame.begin() + 5)), "80 11 F1 40 01");
}

class ExchangeTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::UseClock(&clock);
        port.device = backend.Open("COM1");
    }
    void TearDown() override { platform::UseClock(nullptr); }

    KwpMessage Run(uint8_t address, const KwpMessage& request) {
        return kline::Exchange(address, request, port);
    }

    platform::VirtualClock clock;
    testing_support::ScriptedBackend backend;
    kline::Port port;
};

TEST_F(ExchangeTest, GoodAnswerFillsDataAndChecksum) {
    backend.line.answers.push_back(Answer(0x10, {0x61, 0x01, 0x22, 0x33}));
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 4);
    EXPECT_EQ(Hex(Bytes(response.data.begin(), response.data.begin() + 5)), "61 01 22 33 3C");
    EXPECT_EQ(Hex(backend.line.written), "82 10 F1 21 01 A5");
}

TEST_F(ExchangeTest, LengthByteFormatTakesTheFourthByte) {
    // Format 0x80 alone: the length follows the addresses.
    backend.line.answers.push_back({0x80, 0xF1, 0x11, 0x03, 0xC1, 0xEF, 0x8F, 0x00});
    auto& answer = backend.line.answers.back();
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < answer.size(); ++i) sum += answer[i];
    answer.back() = sum;
    KwpMessage response = Run(0x11, MakeRequest({0x81}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 3);
}

TEST_F(ExchangeTest, LongAnswersUseTheLengthByte) {
    Bytes data(95, 0x20);
    data[0] = 0x5A;
    data[1] = 0x80;
    backend.line.answers.push_back(Answer(0x10, data));
    KwpMessage response = Run(0x10, MakeRequest({0x1A, 0x80}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 95);
}

TEST_F(ExchangeTest, AnswerOf255BytesIsCheckedWithItsChecksumOutsideData) {
    Bytes data(255, 0x01);
    data[0] = 0x61;
    backend.line.answers.push_back(Answer(0x10, data));
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 255);
    EXPECT_EQ(response.data[254], 0x01);

    Bytes bad = Answer(0x10, data);
    bad.back() ^= 0xFF;
    backend.line.answers.push_back(bad);
    EXPECT_EQ(Run(0x10, MakeRequest({0x21, 0x01})).error, 1);
}

TEST_F(ExchangeTest, StaleInputIsDiscarded) {
    backend.line.incoming = {0x83, 0xF1, 0x10, 0x7F, 0x21, 0x11, 0x00};
    backend.line.answers.push_back(Answer(0x10, {0x61, 0x01}));
    EXPECT_EQ(Run(0x10, MakeRequest({0x21, 0x01})).error, 0);
}

TEST_F(ExchangeTest, AnEchoThatDiffersIsAccepted) {
    backend.line.echo = false;
    Bytes garbled(6, 0x00);
    Bytes answer = Answer(0x10, {0x61, 0x01});
    garbled.insert(garbled.end(), answer.begin(), answer.end());
    backend.line.answers.push_back(garbled);
    EXPECT_EQ(Run(0x10, MakeRequest({0x21, 0x01})).error, 0);
}

TEST_F(ExchangeTest, PortNotOpenFailsAtOnce) {
    kline::Port closed;
    const int64_t before = clock.NowMicros();
    EXPECT_EQ(kline::Exchange(0x10, MakeRequest({0x81}), closed).error, 1);
    EXPECT_EQ(clock.NowMicros(), before);
}

TEST_F(ExchangeTest, WriteRefusedFails) {
    backend.line.failing = {"WriteByte"};
    EXPECT_EQ(Run(0x10, MakeRequest({0x81})).error, 1);
}

TEST_F(ExchangeTest, MissingEchoFailsAfterOneTimeOut) {
    backend.line.echo = false;
    const int64_t before = clock.NowMicros();
    EXPECT_EQ(Run(0x10, MakeRequest({0x81})).error, 1);
    EXPECT_EQ(clock.NowMicros() - before, 110'000);
}

struct BadAnswer {
    const char* name;
    Bytes frame;
};

class RefusedAnswers : public ExchangeTest, public testing::WithParamInterface<BadAnswer> {};

TEST_P(RefusedAnswers, SetTheErrorFlag) {
    backend.line.answers.push_back(GetParam().frame);
    EXPECT_EQ(Run(0x10, MakeRequest({0x21, 0x01})).error, 1);
}

Bytes WithChecksum(Bytes frame) {
    uint8_t sum = 0;
    for (uint8_t b : frame) sum += b;
    frame.push_back(sum);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Exchange, RefusedAnswers,
    testing::Values(BadAnswer{"NoAnswer", {}},
                    BadAnswer{"FormatWithoutAddress", WithChecksum({0x02, 0xF1, 0x10, 0x61, 0x01})},
                    BadAnswer{"FormatCarbMode", WithChecksum({0xC2, 0xF1, 0x10, 0x61, 0x01})},
                    BadAnswer{"WrongTarget", WithChecksum({0x82, 0xF0, 0x10, 0x61, 0x01})},
                    BadAnswer{"WrongSource", WithChecksum({0x82, 0xF1, 0x11, 0x61, 0x01})},
                    BadAnswer{"NegativeAnswer", WithChecksum({0x83, 0xF1, 0x10, 0x7F, 0x21, 0x12})},
                    BadAnswer{"WrongSid", WithChecksum({0x82, 0xF1, 0x10, 0x62, 0x01})},
                    BadAnswer{"MissingDataByte", {0x83, 0xF1, 0x10, 0x61, 0x01}},
                    BadAnswer{"MissingChecksum", {0x82, 0xF1, 0x10, 0x61, 0x01}},
                    BadAnswer{"WrongChecksum", {0x82, 0xF1, 0x10, 0x61, 0x01, 0x00}},
                    BadAnswer{"LengthByteThenSilence", {0x80, 0xF1, 0x10}}),
    [](const auto& info) { return std::string(info.param.name); });

// Any bytes from the line give an answer or an error, never a read outside the record.
TEST_F(ExchangeTest, RandomLineBytesNeverBreakTheRecord) {
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        Bytes noise;
        const int size = static_cast<int>((seed = seed * 1103515245 + 12345) >> 24);
        for (int i = 0; i < size; ++i)
            noise.push_back(static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16));
        if (!noise.empty() && round % 2)
            noise[0] = 0x80 | (noise[0] & 0x3F);
        if (noise.size() > 2 && round % 4 == 1)
            noise[1] = 0xF1, noise[2] = 0x10;
        backend.line.answers.push_back(noise);
        KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
        if (response.error == 0) {
            EXPECT_EQ(response.data[0], 0x61);
        }
    }
}

}  // namespace
