// The KWP2000 exchange: the frames it sends, and every answer it must refuse with its reason.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/frames.h"
#include "tests/support/row_names.h"
#include "tests/support/scripted_port.h"

namespace {

using kline::FailureReason;
using kline::KwpMessage;
using kline::MakeRequest;
using testing_support::AnswerFrame;
using testing_support::Bytes;
using testing_support::Hex;

Bytes Frame(uint8_t address, const KwpMessage& request) {
    uint8_t frame[256];
    int size = kline::BuildFrame(address, request, frame);
    return Bytes(frame, frame + size);
}

// Any bytes, shaped or not like a frame, with the sum of them appended.
Bytes WithChecksum(Bytes frame) {
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
    testing_support::RowName);

TEST(RequestFrame, SixtyFourDataBytesGetTheLengthByte) {
    KwpMessage request;
    request.length = 64;
    for (int i = 0; i < 64; ++i) request.data[i] = static_cast<uint8_t>(i + 1);
    Bytes frame = Frame(0x11, request);
    ASSERT_EQ(frame.size(), 4u + 64u + 1u);
    EXPECT_EQ(Hex(Bytes(frame.begin(), frame.begin() + 5)), "80 11 F1 40 01");
}

class ExchangeTest : public testing::Test, protected testing_support::PortOnScriptedLine {
  protected:
    KwpMessage Run(uint8_t address, const KwpMessage& request) {
        return kline::Exchange(address, request, port);
    }
};

TEST_F(ExchangeTest, GoodAnswerFillsDataAndChecksum) {
    Answers(0x10, {0x61, 0x01, 0x22, 0x33});
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.reason, FailureReason::None);
    EXPECT_EQ(response.length, 4);
    EXPECT_EQ(Hex(Bytes(response.data.begin(), response.data.begin() + 5)), "61 01 22 33 3C");
    EXPECT_EQ(Hex(line.written), "82 10 F1 21 01 A5");
}

TEST_F(ExchangeTest, LengthByteFormatTakesTheFourthByte) {
    // Format 0x80 alone: the length follows the addresses.
    line.answers.push_back(WithChecksum({0x80, 0xF1, 0x11, 0x03, 0xC1, 0xEF, 0x8F}));
    KwpMessage response = Run(0x11, MakeRequest({0x81}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 3);
}

TEST_F(ExchangeTest, LongAnswersUseTheLengthByte) {
    Bytes data(95, 0x20);
    data[0] = 0x5A;
    data[1] = 0x80;
    Answers(0x10, data);
    KwpMessage response = Run(0x10, MakeRequest({0x1A, 0x80}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 95);
}

TEST_F(ExchangeTest, AnswerOf255BytesIsCheckedWithItsChecksumOutsideData) {
    Bytes data(255, 0x01);
    data[0] = 0x61;
    Answers(0x10, data);
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 0);
    EXPECT_EQ(response.length, 255);
    EXPECT_EQ(response.data[254], 0x01);

    Bytes bad = AnswerFrame(0x10, data);
    bad.back() ^= 0xFF;
    line.answers.push_back(bad);
    response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, FailureReason::BadChecksum);
}

TEST_F(ExchangeTest, StaleInputIsDiscarded) {
    line.incoming = {0x83, 0xF1, 0x10, 0x7F, 0x21, 0x11, 0x00};
    Answers(0x10, {0x61, 0x01});
    EXPECT_EQ(Run(0x10, MakeRequest({0x21, 0x01})).error, 0);
}

// The echo is not compared on its own: a differing one fails an exchange only when the answer
// fails too, and then it is the reason (the ECU heard what the adapter heard).
struct EchoCase {
    const char* name;
    Bytes echo;    // what comes back in place of the request's six bytes
    Bytes answer;  // then the ECU's answer
    FailureReason reason;
};

class Echoes : public ExchangeTest, public testing::WithParamInterface<EchoCase> {};

TEST_P(Echoes, DecideTheReason) {
    line.echo = false;
    Bytes heard = GetParam().echo;
    heard.insert(heard.end(), GetParam().answer.begin(), GetParam().answer.end());
    line.answers.push_back(heard);
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.reason, GetParam().reason);
    EXPECT_EQ(response.error, GetParam().reason == FailureReason::None ? 0 : 1);
}

const Bytes kGarbledEcho(6, 0x00);
const Bytes kTrueEcho{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};

INSTANTIATE_TEST_SUITE_P(
    Exchange, Echoes,
    testing::Values(
        EchoCase{"DiffersThenGoodAnswer_None", kGarbledEcho, AnswerFrame(0x10, {0x61, 0x01}),
                 FailureReason::None},
        EchoCase{"DiffersThenSilence_EchoDiffers", kGarbledEcho, {}, FailureReason::EchoDiffers},
        EchoCase{"DiffersThenBadChecksum_EchoDiffers",
                 kGarbledEcho,
                 {0x82, 0xF1, 0x10, 0x61, 0x01, 0x00},
                 FailureReason::EchoDiffers},
        EchoCase{"DiffersThenNegativeAnswer_NegativeAnswer", kGarbledEcho,
                 AnswerFrame(0x10, {0x7F, 0x21, 0x22}), FailureReason::NegativeAnswer},
        EchoCase{"HalfAnEcho_NoEcho",
                 Bytes(kTrueEcho.begin(), kTrueEcho.begin() + 3),
                 {},
                 FailureReason::NoEcho},
        EchoCase{"NoEchoAtAll_NoEcho", {}, {}, FailureReason::NoEcho}),
    testing_support::RowName);

TEST_F(ExchangeTest, PortNotOpenFailsAtOnce) {
    kline::Port closed;
    const int64_t before = clock.NowMicros();
    KwpMessage response = kline::Exchange(0x10, MakeRequest({0x81}), closed);
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, FailureReason::PortClosed);
    EXPECT_EQ(clock.NowMicros(), before);
}

TEST_F(ExchangeTest, WriteRefusedFails) {
    line.failing = {"WriteByte"};
    KwpMessage response = Run(0x10, MakeRequest({0x81}));
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, FailureReason::WriteFailed);
}

TEST_F(ExchangeTest, MissingEchoFailsAfterOneTimeOut) {
    line.echo = false;
    const int64_t before = clock.NowMicros();
    KwpMessage response = Run(0x10, MakeRequest({0x81}));
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, FailureReason::NoEcho);
    EXPECT_EQ(clock.NowMicros() - before, 110'000);
}

TEST_F(ExchangeTest, NegativeAnswerKeepsTheEcusCode) {
    Answers(0x10, {0x7F, 0x14, 0x22});
    KwpMessage response = Run(0x10, MakeRequest({0x14, 0xFF, 0x00}));
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, FailureReason::NegativeAnswer);
    EXPECT_EQ(Hex(Bytes(response.data.begin(), response.data.begin() + 3)), "7F 14 22");
}

struct BadAnswer {
    const char* name;
    Bytes frame;
    FailureReason reason;
};

class RefusedAnswers : public ExchangeTest, public testing::WithParamInterface<BadAnswer> {};

TEST_P(RefusedAnswers, SetTheErrorFlagAndTheReason) {
    line.answers.push_back(GetParam().frame);
    KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
    EXPECT_EQ(response.error, 1);
    EXPECT_EQ(response.reason, GetParam().reason);
}

using R = FailureReason;
INSTANTIATE_TEST_SUITE_P(
    Exchange, RefusedAnswers,
    testing::Values(
        BadAnswer{"NoAnswer_Silent", {}, R::Silent},
        BadAnswer{"FormatWithoutAddress_NotForTester", WithChecksum({0x02, 0xF1, 0x10, 0x61, 0x01}),
                  R::NotForTester},
        BadAnswer{"FormatCarbMode_NotForTester", WithChecksum({0xC2, 0xF1, 0x10, 0x61, 0x01}),
                  R::NotForTester},
        BadAnswer{"WrongTarget_NotForTester", WithChecksum({0x82, 0xF0, 0x10, 0x61, 0x01}),
                  R::NotForTester},
        BadAnswer{"WrongSource_WrongSource", WithChecksum({0x82, 0xF1, 0x11, 0x61, 0x01}),
                  R::WrongSource},
        BadAnswer{"NegativeAnswer_NegativeAnswer",
                  WithChecksum({0x83, 0xF1, 0x10, 0x7F, 0x21, 0x12}), R::NegativeAnswer},
        BadAnswer{"WrongSid_UnexpectedService", WithChecksum({0x82, 0xF1, 0x10, 0x62, 0x01}),
                  R::UnexpectedService},
        BadAnswer{"FormatThenSilence_Truncated", {0x82}, R::Truncated},
        BadAnswer{"TargetThenSilence_Truncated", {0x82, 0xF1}, R::Truncated},
        BadAnswer{"LengthByteThenSilence_Truncated", {0x80, 0xF1, 0x10}, R::Truncated},
        BadAnswer{"MissingDataByte_Truncated", {0x83, 0xF1, 0x10, 0x61, 0x01}, R::Truncated},
        BadAnswer{"MissingChecksum_Truncated", {0x82, 0xF1, 0x10, 0x61, 0x01}, R::Truncated},
        BadAnswer{
            "NegativeAnswerWithoutCode_Truncated", {0x83, 0xF1, 0x10, 0x7F, 0x21}, R::Truncated},
        BadAnswer{
            "WrongChecksum_BadChecksum", {0x82, 0xF1, 0x10, 0x61, 0x01, 0x00}, R::BadChecksum},
        BadAnswer{"NegativeAnswerWrongChecksum_BadChecksum",
                  {0x83, 0xF1, 0x10, 0x7F, 0x21, 0x12, 0x00},
                  R::BadChecksum}),
    testing_support::RowName);

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
        line.answers.push_back(noise);
        KwpMessage response = Run(0x10, MakeRequest({0x21, 0x01}));
        EXPECT_EQ(response.error == 0, response.reason == FailureReason::None);
        if (response.error == 0) {
            EXPECT_EQ(response.data[0], 0x61);
        }
    }
}

// The user's detailed text of each reason: the likely cause, and the ECU's code in words.
struct TextCase {
    const char* name;
    FailureReason reason;
    uint8_t code;
    const char* contains;
};

class FailureTexts : public testing::TestWithParam<TextCase> {};

TEST_P(FailureTexts, TellTheCause) {
    EXPECT_NE(kline::FailureText(GetParam().reason, GetParam().code).find(GetParam().contains),
              std::string::npos)
        << kline::FailureText(GetParam().reason, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Exchange, FailureTexts,
                         testing::Values(TextCase{"NoEcho", R::NoEcho, 0, "нет питания"},
                                         TextCase{"EchoDiffers", R::EchoDiffers, 0,
                                                  "скорость порта не та или на линии помехи"},
                                         TextCase{"Silent", R::Silent, 0, "ЭБУ не отвечает"},
                                         TextCase{"WrongSource", R::WrongSource, 0, "тип ЭБУ"},
                                         TextCase{"KnownCode", R::NegativeAnswer, 0x22,
                                                  "код 22: условия не позволяют выполнить запрос"},
                                         TextCase{"UnknownCode", R::NegativeAnswer, 0x99,
                                                  "код 99: код не описан"}),
                         testing_support::RowName);

TEST(FailureTexts, EveryReasonHasItsOwn) {
    std::vector<std::string> texts;
    for (int r = 0; r <= static_cast<int>(R::BadChecksum); ++r) {
        const std::string text = kline::FailureText(static_cast<R>(r));
        EXPECT_FALSE(text.empty()) << kline::FailureName(static_cast<R>(r));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 0) << text;
        texts.push_back(text);
    }
}

}  // namespace
