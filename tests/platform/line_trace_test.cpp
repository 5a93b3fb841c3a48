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

TEST(TraceWriter, GroupsBurstsBySideAndGap) {
    platform::TraceWriter writer(1'000'000);
    std::vector<std::string> lines;
    for (const platform::TraceByte& b : std::vector<platform::TraceByte>{
             {1'000'000, TraceKind::Tester, 0x81},
             {1'000'010, TraceKind::Tester, 0x11},  // written back to back
             {1'000'962, TraceKind::Echo, 0x81},    // the side changes
             {1'001'924, TraceKind::Echo, 0x11},
             {1'030'000, TraceKind::Ecu, 0x83},
             {1'040'000, TraceKind::Ecu, 0xF1}}) {  // a pause of more than three bytes
        for (std::string& line : writer.Add(b)) lines.push_back(std::move(line));
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"   0.000000  tester  81 11", "   0.000962  echo    81 11",
                                        "   0.030000  ecu     83"}));
    EXPECT_TRUE(writer.Flush(1'041'000).empty());
    EXPECT_EQ(writer.Flush(1'041'000, true), std::vector<std::string>{"   0.040000  ecu     F1"});
}

}  // namespace
