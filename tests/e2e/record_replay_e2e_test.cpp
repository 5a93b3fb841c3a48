// Record and replay: the diagnostics window records sixteen parameters from kline-sim (CSV
// and line trace), then kline-sim --replay plays that trace and the station shows the same
// values in the same order, looping; and a trace kline-sim cannot read is refused by line.
#include <sys/wait.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <fstream>
#include <sstream>

#include "diag/ui/diag_form.h"
#include "diag/ui/recording_control.h"
#include "tests/e2e/station_fixture.h"
#include "tests/support/serve_events.h"
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

class RecordReplay : public e2e::StationTest {
  protected:
    void PrepareSettings(settings::SettingsRecord& record) override {
        for (int slot = 0; slot < 16; ++slot)
            record.groupLists[0][0][slot] = static_cast<uint8_t>(slot);
        record.groupCounts[0][0] = 16;
    }

    // Opens the diagnostics window, records `rows` answers into `folder`, closes the window.
    void Record(const fs::path& folder, int rows) {
        form->RunMenuCommand(23);
        QPointer<diag::TDiag_form> window = diag::Diag_form;
        ASSERT_TRUE(window);
        window->Recording->folder = folder;
        // Straight away, before the first values: the file starts with the panels.
        ASSERT_TRUE(ServeEventsUntil([&] { return window->Polling(); }));
        EXPECT_EQ(window->ComboBox1->itemText(1), QStringLiteral("Начать запись"));
        window->RecordingCommand();
        EXPECT_EQ(window->ComboBox1->itemText(1), QStringLiteral("Остановить запись"));
        EXPECT_EQ(window->ComboBox1->currentText(), QStringLiteral("Регулировка СО"));
        ASSERT_TRUE(ServeEventsUntil([&] { return window->Recording->Current().Rows() >= rows; }));
        ASSERT_TRUE(ServeEventsUntil([&] { return window->Recording->Note->isVisible(); }));
        EXPECT_TRUE(window->Recording->Note->text().contains(QStringLiteral("строк")))
            << window->Recording->Note->text().toStdString();
        window->close();  // ends the recording after the connection
        ASSERT_TRUE(ServeEventsUntil([&] { return window.isNull(); }));
        EXPECT_TRUE(sink.Reports().empty()) << testing::PrintToString(sink.Texts());
    }

    // A new station and simulator, as the fixture makes them (the test's folder goes too).
    void Restart(std::vector<std::string> options) {
        TearDown();
        Start(0, std::move(options));
    }
};

TEST_F(RecordReplay, TheReplayShowsTheRecordedValuesInTheRecordedOrder) {
    Start(0);
    Record(dir / u8"Записи", 10);
    const fs::path trace = fs::temp_directory_path() / ("replayed-" + std::to_string(::getpid()));
    fs::copy_file(OnlyFile(dir / u8"Записи", ".trace"), trace);
    const std::vector<Row> recorded = ValueRows(OnlyFile(dir / u8"Записи", ".csv"));
    ASSERT_GE(recorded.size(), 10u);
    if (const char* keep = std::getenv("TAVRO_KEEP_RECORDING"))  // for the shipped trace
        for (const fs::path& file :
             {OnlyFile(dir / u8"Записи", ".trace"), OnlyFile(dir / u8"Записи", ".csv")})
            fs::copy_file(file, fs::path(keep) / file.filename(),
                          fs::copy_options::overwrite_existing);

    Restart({"--replay", trace.string()});
    Record(dir / "replayed", static_cast<int>(recorded.size()) + 6);
    const std::vector<Row> replayed = ValueRows(OnlyFile(dir / "replayed", ".csv"));
    fs::remove(trace);
    ASSERT_GT(replayed.size(), recorded.size()) << "the replay has gone round";
    // The second recording began somewhere in the loop; from there each row is the next
    // recorded one. On a loaded machine the station may miss an answer (a byte later than its
    // 110 ms) and retry: the ECU has moved on, so one or two recorded rows may be skipped.
    const auto start = std::find(recorded.begin(), recorded.end(), replayed[0]);
    ASSERT_NE(start, recorded.end()) << "a value set that was never recorded";
    size_t at = static_cast<size_t>(start - recorded.begin());
    size_t skipped = 0;
    for (size_t i = 1; i < replayed.size(); ++i) {
        size_t step = 1;
        while (step <= 3 && replayed[i] != recorded[(at + step) % recorded.size()]) ++step;
        ASSERT_LE(step, 3u) << "row " << i << " of " << replayed.size()
                            << " is none of the next recorded ones after row " << at;
        skipped += step - 1;
        at = (at + step) % recorded.size();
    }
    EXPECT_LE(skipped, 2u) << "answers missed in the replay";
}

struct Refused {
    const char* name;
    const char* text;
    const char* message;  // after "kline-sim: FILE:"
};

class KlineSimRefuses : public testing::TestWithParam<Refused> {};

TEST_P(KlineSimRefuses, ATraceItCannotReadNamingTheLine) {
    const fs::path base = fs::temp_directory_path() / ("refused-" + std::to_string(::getpid()));
    const std::string trace = base.string() + ".trace";
    const std::string err = base.string() + ".err";
    std::ofstream(trace, std::ios::binary) << GetParam().text;
    const std::string command =
        std::string(KLINE_SIM_PATH) + " --replay " + trace + " >/dev/null 2>" + err;
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
    testing::Values(Refused{"Truncated", "0.000000 tester 82 11 F1 21 01 A6\n0.030000 ecu 83 F1",
                            "2: the ECU's answer is cut short: 2 of 7 bytes"},
                    Refused{"NotATrace", "%PDF-1.4\n",
                            "1: bad time \"%PDF-1.4\" (seconds with six decimals)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
