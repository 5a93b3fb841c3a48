// Record and replay: however a recording of sixteen parameters ends, its trace plays whole,
// every recorded answer shown again in order, looping. Twenty-one recordings in-process on the
// virtual clock, one of each ending against kline-sim; traces kline-sim cannot play refused.
#include <sys/wait.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <fstream>
#include <sstream>

#include "diag/ui/diag_form.h"
#include "diag/ui/recording_control.h"
#include "sim/replay.h"
#include "sim/simulated_backend.h"
#include "tests/e2e/station_fixture.h"
#include "tests/support/serve_events.h"
#include "tests/support/virtual_clock.h"
#include "widgets/value_panel.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ServeEventsUntil;

using Row = std::vector<std::string>;  // the values of one answer, as the panels showed them

// The value columns of a recording's rows (the two time columns dropped).
std::vector<Row> ValueRows(const fs::path& csv) {
    std::ifstream in(csv, std::ios::binary);
    std::string line;
    std::getline(in, line);  // the header
    std::vector<Row> rows;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Row cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ';');) cells.push_back(cell);
        EXPECT_EQ(cells.size(), 18u) << line;
        rows.emplace_back(cells.begin() + 2, cells.end());
    }
    return rows;
}

fs::path OnlyFile(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == extension)
            found.push_back(entry.path());
    EXPECT_EQ(found.size(), 1u) << folder;
    return found.empty() ? fs::path() : found[0];
}

enum class Ending { StopCommand, GroupChange, CloseWindow };

// The rows of the recording in `folder`; its trace loaded into `replay`, which plays it whole:
// an answer for every row and no other, nothing left out.
std::vector<Row> Recorded(const fs::path& folder, sim::TraceReplay& replay) {
    std::ifstream trace(OnlyFile(folder, ".trace"), std::ios::binary);
    std::string error;
    EXPECT_TRUE(sim::LoadReplay(trace, replay, error)) << error;
    for (const platform::TraceError& warning : replay.Warnings())
        ADD_FAILURE() << warning.line << ": " << warning.what;
    const std::vector<Row> rows = ValueRows(OnlyFile(folder, ".csv"));
    EXPECT_EQ(replay.AnswerCount(0x21), rows.size());
    return rows;
}

// From where the replay's recording began, each row is the recorded one after the one
// before, round the loop: none skipped, none out of order.
void ExpectPlayedInOrder(const std::vector<Row>& recorded, const std::vector<Row>& replayed) {
    ASSERT_GT(replayed.size(), recorded.size()) << "the replay has gone round";
    std::vector<Row> loop;
    while (loop.size() < replayed.size() + recorded.size())
        loop.insert(loop.end(), recorded.begin(), recorded.end());
    EXPECT_NE(std::search(loop.begin(), loop.end(), replayed.begin(), replayed.end()), loop.end());
}

class RecordReplay : public e2e::StationTest {
  protected:
    void PrepareSettings(settings::SettingsRecord& record) override {
        for (int slot = 0; slot < 16; ++slot)
            record.groupLists[0][0][slot] = static_cast<uint8_t>(slot);
        record.groupCounts[0][0] = 16;
        record.groupCounts[0][1] = 1;
    }

    // Opens the diagnostics window, records `rows` answers into `folder`, ends the recording
    // by `ending` `waitMs` after a hand-over, closes the window and waits for the files.
    void Record(const fs::path& folder, int rows, Ending ending, int waitMs = 0) {
        form->RunMenuCommand(23);
        QPointer<diag::TDiag_form> window = diag::Diag_form;
        ASSERT_TRUE(window);
        window->Recording->folder = folder;
        // Straight away, before the first values: the file starts with the panels.
        ASSERT_TRUE(ServeEventsUntil([&] { return window->Polling(); }));
        window->RecordingCommand();
        ASSERT_TRUE(ServeEventsUntil([&] { return window->Recording->Current().Rows() >= rows; }));
        testing_support::ServeEvents(waitMs);
        if (ending == Ending::GroupChange) {
            window->Group_num->setCurrentIndex(1);
            window->Group_numChange();  // ends the file; the next group's has not begun
        }
        if (ending != Ending::CloseWindow)
            window->RecordingCommand();  // "Остановить запись"
        window->close();
        ASSERT_TRUE(ServeEventsUntil([&] { return window.isNull(); }));
        ASSERT_TRUE(diag::LiveRecording::WaitAllClosed(std::chrono::seconds(10)));
    }

    // A new station and simulator, as the fixture makes them (the test's folder goes too).
    void Restart(std::vector<std::string> options) {
        TearDown();
        Start(0, std::move(options));
    }
};

TEST_F(RecordReplay, TwentyOneRecordingsInProcessPlayWhole) {
    Start(0);
    testing_support::ScopedVirtualClock clock;
    clock.Advance(1'000'000);
    sim::SimulatedBackend backend(clock, sim::EcuOptions{.type = 0});
    form->station.backend = &backend;
    waiter->Timer1->setInterval(5);  // sees the connection at once
    for (int i = 0; i < 21; ++i) {
        const fs::path folder = dir / std::to_string(i);
        Record(folder, 3 + i, static_cast<Ending>(i % 3));
        sim::TraceReplay replay;
        const std::vector<Row> recorded = Recorded(folder, replay);
        backend.SetAnswerSource(&replay);
        Record(folder / "replayed", static_cast<int>(recorded.size()) + 3, Ending::StopCommand);
        backend.SetAnswerSource(nullptr);
        ExpectPlayedInOrder(recorded, ValueRows(OnlyFile(folder / "replayed", ".csv")));
    }
    form.reset();
    EXPECT_TRUE(sink.Reports().empty()) << testing::PrintToString(sink.Texts());
}

class RecordReplayEnding : public RecordReplay, public testing::WithParamInterface<Ending> {};

TEST_P(RecordReplayEnding, TheReplayShowsTheRecordedValuesInTheRecordedOrder) {
    Start(0);
    // 50 ms after a hand-over a request goes out, and its answer of 39 bytes is on the line
    // from 81 to 119 ms: the recording ends in its middle.
    Record(dir / u8"Записи", 8, GetParam(), 100);
    const fs::path trace = fs::temp_directory_path() / ("replayed-" + std::to_string(::getpid()));
    fs::copy_file(OnlyFile(dir / u8"Записи", ".trace"), trace);
    sim::TraceReplay replay;
    const std::vector<Row> recorded = Recorded(dir / u8"Записи", replay);
    if (const char* keep = std::getenv("TAVRO_KEEP_RECORDING"))  // for the shipped trace
        for (const fs::path& file :
             {OnlyFile(dir / u8"Записи", ".trace"), OnlyFile(dir / u8"Записи", ".csv")})
            fs::copy_file(file, fs::path(keep) / file.filename(),
                          fs::copy_options::overwrite_existing);

    Restart({"--replay", trace.string()});
    EXPECT_NE(testing_support::ReadTextFile((dir / "sim-errors.txt").string())
                  .find("playing ECU type 0 at address 0x11; answers by service: 21 x" +
                        std::to_string(recorded.size())),
              std::string::npos);
    Record(dir / "replayed", static_cast<int>(recorded.size()) + 3, Ending::StopCommand);
    const std::vector<Row> replayed = ValueRows(OnlyFile(dir / "replayed", ".csv"));
    fs::remove(trace);
    ExpectPlayedInOrder(recorded, replayed);
    EXPECT_TRUE(sink.Reports().empty()) << testing::PrintToString(sink.Texts());
}

INSTANTIATE_TEST_SUITE_P(Endings, RecordReplayEnding,
                         testing::Values(Ending::StopCommand, Ending::GroupChange,
                                         Ending::CloseWindow));

struct Refused {
    const char* name;
    std::string text;
    const char* options;
    std::string message;  // after "kline-sim: FILE:"
};

class KlineSimRefuses : public testing::TestWithParam<Refused> {};

TEST_P(KlineSimRefuses, ATraceItCannotPlaySayingWhy) {
    const fs::path base = fs::temp_directory_path() / ("refused-" + std::to_string(::getpid()));
    const std::string trace = base.string() + ".trace";
    const std::string err = base.string() + ".err";
    std::ofstream(trace, std::ios::binary) << GetParam().text;
    const std::string command = std::string(KLINE_SIM_PATH) + " --replay " + trace +
                                GetParam().options + " >/dev/null 2>" + err;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string said = testing_support::ReadTextFile(err);
    EXPECT_EQ(said, "kline-sim: " + trace + ":" + GetParam().message + "\n");
    fs::remove(trace);
    fs::remove(err);
}

INSTANTIATE_TEST_SUITE_P(
    Traces, KlineSimRefuses,
    testing::Values(
        Refused{"NoLiveData",
                "0.000000 tester 82 11 F1 1A 80 20\n0.030000 ecu 83 F1 11 5A 80 01 00", "",
                "0: no live-data answer (service 21) to replay"},
        Refused{"OtherFamily", "0.000000 tester 82 11 F1 21 01 A6\n0.030000 ecu 81 F1 11 61 D4",
                " --ecu 1", " the trace is of ECU type 0 (address 0x11), not --ecu 1"},
        Refused{"NotATrace", "%PDF-1.4\n", "",
                "1: bad time \"%PDF-1.4\" (seconds with six decimals)"},
        Refused{"LongBinaryLine", std::string(1'000'000, '\x01'), "",
                "1: bad time \"" + std::string(60, '?') + "...\" (seconds with six decimals)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
