// Live-data recording: the CSV's fields and rows as Calc and Excel under Russian settings
// read them, a recording of real exchanges read back (columns, and the trace replayed), and
// a disk or folder that cannot be written.
#include "diag/recording.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "link/port.h"
#include "sim/replay.h"
#include "sim/simulated_backend.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace {

namespace fs = std::filesystem;

struct FieldCase {
    const char* name;
    const char* value;
    const char* field;
};

class CsvFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, IsWhatCalcReadsInOneColumn) {
    EXPECT_EQ(diag::CsvField(GetParam().value), GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CsvFieldTest,
    testing::Values(FieldCase{"PointBecomesComma", "143.25", "143,25"},
                    FieldCase{"NegativeFraction", "-0.00390625", "-0,00390625"},
                    FieldCase{"CommaStays", "0,75", "0,75"},
                    FieldCase{"WholeNumber", "6000", "6000"}, FieldCase{"Flag", "Да", "Да"},
                    FieldCase{"DashIsText", "-", "-"}, FieldCase{"Empty", "", ""},
                    FieldCase{"SemicolonQuoted", "a;b", "\"a;b\""},
                    FieldCase{"QuoteDoubled", "6\" wheel", "\"6\"\" wheel\""},
                    FieldCase{"LineBreakQuoted", "a\nb", "\"a\nb\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Csv, HeaderAndRowsHaveTheTimeColumnsFirst) {
    EXPECT_EQ(diag::CsvHeader({{"UACC", "В"}, {"FAN", ""}}), "Время, мс;Время;UACC, В;FAN\r\n");
    EXPECT_EQ(diag::CsvRow(1250, "10:15:02,123", {"14.2", "Да"}), "1250;10:15:02,123;14,2;Да\r\n");
    EXPECT_EQ(diag::CsvRow(0, "10:15:02,123", {}), "0;10:15:02,123\r\n");
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (size_t next; (next = text.find(separator, at)) != std::string::npos;
         at = next + separator.size())
        parts.push_back(text.substr(at, next - at));
    parts.push_back(text.substr(at));
    return parts;
}

class RecordingTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = fs::path(testing::TempDir()) /
                 ("recording_" +
                  std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        testing_support::PrepareStation(station, backend, 1, 50);
    }
    void TearDown() override { fs::remove_all(folder); }

    testing_support::ScopedVirtualClock clock;
    testing_support::RecordingSink sink;
    sim::SimulatedBackend backend{clock};
    kline::Station station;
    fs::path folder;
};

// Begun and ended while the poller may be on the line: the trace holds whole exchanges only,
// each with its row.
TEST_F(RecordingTest, WritesRowsInColumnsAndEveryExchangeOfTheRows) {
    ASSERT_TRUE(kline::OpenPort(station.lineTap, "pts/1", 10400, station.port));
    ASSERT_TRUE(station.Protocol().StartCommunication(station.port));
    diag::LiveRecording recording;
    recording.Start(folder / u8"Записи", "stem", {{"UACC", "В"}, {"TWAT", "°C"}}, "тип ЭБУ 1",
                    platform::NowMicros(), false);
    station.lineTap.SetTap(&recording);
    kline::KwpMessage live;
    for (int row = -1; row < 4; ++row) {
        ASSERT_TRUE(station.Protocol().ReadLiveData(station.port, live));
        if (row < 3)  // the first began before the recording; the last is ended in flight
            recording.AddValues({"14." + std::to_string(row), "Да"}, platform::NowMicros());
    }
    station.lineTap.SetTap(nullptr);
    recording.End(false);
    kline::ClosePort(station.port);
    ASSERT_TRUE(recording.WaitClosed(std::chrono::seconds(10)));
    EXPECT_EQ(recording.Fault(), diag::RecordingFault::None);
    EXPECT_EQ(recording.Rows(), 3);
    EXPECT_EQ(recording.CsvPath().parent_path(), folder / u8"Записи");
    EXPECT_EQ(recording.TracePath().stem(), recording.CsvPath().stem());

    const std::string csv = ReadFile(recording.CsvPath());
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with its byte order mark";
    std::vector<std::string> lines = Split(csv.substr(3), "\r\n");
    ASSERT_EQ(lines.size(), 5u);  // header, three rows, nothing after the last line end
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(Split(lines[0], ";"),
              (std::vector<std::string>{"Время, мс", "Время", "UACC, В", "TWAT, °C"}));
    int64_t previousMs = -1;
    for (int row = 1; row <= 3; ++row) {
        const std::vector<std::string> cells = Split(lines[row], ";");
        ASSERT_EQ(cells.size(), 4u) << lines[row];
        const int64_t ms = std::stoll(cells[0]);
        EXPECT_GT(ms, previousMs) << "the poll's time since the start, in order";
        previousMs = ms;
        EXPECT_EQ(cells[2], "14," + std::to_string(row - 1));
        EXPECT_EQ(cells[3], "Да");
    }

    // The trace holds each request, its echo and the answer, and plays back as the ECU.
    std::ifstream traceFile(recording.TracePath());
    std::vector<platform::TraceLine> trace;
    platform::TraceError error;
    ASSERT_TRUE(platform::ReadTrace(traceFile, trace, error)) << error.line << ": " << error.what;
    ASSERT_EQ(trace.size(), 9u) << "three exchanges";
    EXPECT_EQ(trace[0].kind, platform::TraceKind::Tester);
    EXPECT_EQ(trace[0].bytes, (std::vector<uint8_t>{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}));
    EXPECT_EQ(trace[1].kind, platform::TraceKind::Echo);
    EXPECT_EQ(trace[1].bytes, trace[0].bytes);
    EXPECT_EQ(trace[2].kind, platform::TraceKind::Ecu);
    EXPECT_EQ(trace[2].bytes[3], 0x61);
    sim::TraceReplay replay;
    ASSERT_TRUE(replay.Load(trace, error)) << error.what;
    EXPECT_TRUE(replay.Warnings().empty());
    EXPECT_EQ(replay.AnswerCount(0x21), 3u);
    EXPECT_EQ(replay.EcuAddress(), 0x10);
}

TEST_F(RecordingTest, RecordingsOfOneSecondGetNamesOfTheirOwn) {
    diag::LiveRecording first;
    diag::LiveRecording second;
    first.Start(folder, "stem", {}, "", 0, true);
    second.Start(folder, "stem", {}, "", 0, true);
    for (diag::LiveRecording* recording : {&first, &second}) {
        recording->End(true);
        ASSERT_TRUE(recording->WaitClosed(std::chrono::seconds(10)));
    }
    EXPECT_NE(first.CsvPath(), second.CsvPath());
    EXPECT_NE(first.TracePath(), second.TracePath());
}

TEST_F(RecordingTest, AFullDiskEndsTheRecordingNotTheCaller) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no device that is always full here";
    diag::LiveRecording recording;
    recording.StartFiles("/dev/full", folder.string() + ".trace", {{"A", ""}}, "", 0, true);
    recording.OnLine({500, platform::TraceKind::Tester, 0x82});
    recording.AddValues({"1"}, 1000);
    recording.End(true);
    ASSERT_TRUE(recording.WaitClosed(std::chrono::seconds(10)));
    EXPECT_EQ(recording.Fault(), diag::RecordingFault::WriteFailed);
    fs::remove(folder.string() + ".trace");
}

TEST_F(RecordingTest, AFolderThatCannotBeMadeLeavesNothingOpen) {
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "in the way";
    diag::LiveRecording recording;
    recording.Start(folder / "file" / u8"Записи", "stem", {}, "", 0, true);
    ASSERT_TRUE(recording.WaitClosed(std::chrono::seconds(10)));
    EXPECT_EQ(recording.Fault(), diag::RecordingFault::NotCreated);
    recording.AddValues({"1"}, 0);  // ignored
    EXPECT_EQ(recording.Rows(), 0);
}

}  // namespace
