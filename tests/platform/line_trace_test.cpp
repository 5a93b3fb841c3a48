// The line trace's text: lines read and written, a whole trace with the number of its first
// wrong line, and the grouping of bytes into bursts.
#include "platform/line_trace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/row_names.h"

namespace {

using platform::TraceKind;
using platform::TraceLine;

struct GoodLine {
    const char* name;
    const char* text;
    TraceLine line;
};

class ParseGoodLine : public testing::TestWithParam<GoodLine> {};

TEST_P(ParseGoodLine, ReadsAndWritesBack) {
    TraceLine line;
    std::string error;
    ASSERT_TRUE(platform::ParseTraceLine(GetParam().text, line, error)) << error;
    EXPECT_EQ(line, GetParam().line);
    TraceLine again;
    ASSERT_TRUE(platform::ParseTraceLine(platform::FormatTraceLine(line), again, error));
    EXPECT_EQ(again, line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseGoodLine,
    testing::Values(
        GoodLine{"Tester",
                 "   0.012345  tester  82 11 F1 21 01 A6",
                 {12'345, TraceKind::Tester, {0x82, 0x11, 0xF1, 0x21, 0x01, 0xA6}, 0}},
        GoodLine{
            "EchoLowerCase", "1.000000 echo 0a ff", {1'000'000, TraceKind::Echo, {0x0A, 0xFF}, 0}},
        GoodLine{"Ecu", "  12.500000  ecu     83", {12'500'000, TraceKind::Ecu, {0x83}, 0}},
        GoodLine{"BreakSet", "   0.000000  break set", {0, TraceKind::BreakSet, {}, 0}},
        GoodLine{
            "BreakClearCrLf", "   0.025000  break clear\r", {25'000, TraceKind::BreakClear, {}, 0}},
        GoodLine{"LongRun",
                 "123456789.999999  ecu  00",
                 {123'456'789'999'999, TraceKind::Ecu, {0x00}, 0}}),
    testing_support::RowName);

struct BadLine {
    const char* name;
    const char* text;
    const char* why;  // the start of the reason given
};

class ParseBadLine : public testing::TestWithParam<BadLine> {};

TEST_P(ParseBadLine, SaysWhy) {
    TraceLine line;
    std::string error;
    EXPECT_FALSE(platform::ParseTraceLine(GetParam().text, line, error));
    EXPECT_EQ(error.rfind(GetParam().why, 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseBadLine,
    testing::Values(BadLine{"NoTime", "tester 82", "bad time"},
                    BadLine{"FiveDecimals", "0.01234 tester 82", "bad time"},
                    BadLine{"NegativeTime", "-0.012345 tester 82", "bad time"},
                    BadLine{"UnknownSide", "0.000000 station 82", "unknown side"},
                    BadLine{"HalfABreak", "0.000000 break", "unknown side"},
                    BadLine{"BytesAfterBreak", "0.000000 break set 00", "text after a break"},
                    BadLine{"OneDigitByte", "0.000000 ecu 83 F", "bad byte"},
                    BadLine{"NotHex", "0.000000 ecu 8G", "bad byte"},
                    BadLine{"NoBytes", "0.000000 ecu", "no bytes"},
                    BadLine{"Binary", "\x89PNG\r", "bad time"}),
    testing_support::RowName);

TEST(ReadTrace, SkipsCommentsAndNamesTheFirstWrongLine) {
    std::istringstream good("# station\n\n   0.000000  tester  81\n   0.030000  ecu     C1\n");
    std::vector<TraceLine> lines;
    platform::TraceError error;
    ASSERT_TRUE(platform::ReadTrace(good, lines, error));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].number, 4u);

    std::istringstream bad("# station\n0.000000 tester 81\n0.030000 ecu C1 0\n0.1 x\n");
    EXPECT_FALSE(platform::ReadTrace(bad, lines, error));
    EXPECT_EQ(error.line, 3u);
    std::istringstream backwards("1.000000 tester 81\n0.500000 ecu C1\n");
    EXPECT_FALSE(platform::ReadTrace(backwards, lines, error));
    EXPECT_EQ(error.line, 2u);
    EXPECT_EQ(error.what, "time goes back");
}

TEST(TraceWriter, WritesOneFramePerLineWhateverThePauses) {
    const int64_t t = 1'000'000;
    platform::TraceWriter writer(t);
    std::vector<std::string> lines;
    for (const platform::TraceByte& b : std::vector<platform::TraceByte>{
             {t, TraceKind::Tester, 0x81},
             {t + 50'000, TraceKind::Tester, 0x11},  // the station's thread held 50 ms
             {t + 50'010, TraceKind::Tester, 0xF1},
             {t + 50'020, TraceKind::Tester, 0x81},
             {t + 50'025, TraceKind::Tester, 0x04},  // the frame's 5 bytes: its line ends
             {t + 50'030, TraceKind::Tester, 0xAA},  // no whole frame: ends with the side
             {t + 51'000, TraceKind::Echo, 0xAA},
             {t + 60'000, TraceKind::Ecu, 0x80},  // a length byte after the header
             {t + 60'010, TraceKind::Ecu, 0xF1},
             {t + 60'020, TraceKind::Ecu, 0x11},
             {t + 60'030, TraceKind::Ecu, 0x00},
             {t + 60'040, TraceKind::Ecu, 0x71},
             {t + 70'000, TraceKind::Ecu, 0x83}}) {
        for (std::string& line : writer.Add(b)) lines.push_back(std::move(line));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"   0.000000  tester  81 11 F1 81 04",
                                               "   0.050030  tester  AA", "   0.051000  echo    AA",
                                               "   0.060000  ecu     80 F1 11 00 71"}));
    EXPECT_TRUE(writer.Flush(100'000'000).empty()) << "no pause ends the station's frame";
    EXPECT_EQ(writer.Flush(0, true), std::vector<std::string>{"   0.070000  ecu     83"});
}

}  // namespace
