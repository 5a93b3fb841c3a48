// Recording from the diagnostics window over the simulated ECU: the command in "Управление",
// a file per shown group while the user records, and none after "Остановить запись".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <filesystem>
#include <fstream>

#include "diag/ui/diag_form.h"
#include "diag/ui/recording_control.h"
#include "sim/simulated_backend.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/serve_events.h"
#include "tests/support/slow_disk.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ServeEventsUntil;

class RecordingWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        clock.Advance(1'000'000);
        testing_support::PrepareStation(station, backend, 1, 50);
        testing_support::ShowFirstParams(station.settings, 1, 2, 0);
        testing_support::ShowFirstParams(station.settings, 1, 3, 1);
        fs::remove_all(folder);
    }
    void TearDown() override {
        if (form) {
            form->close();
            delete form;
        }
        fs::remove_all(folder);
    }
    // The header of each CSV in the folder, by the files' names (their order in time).
    std::vector<std::string> Headers() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".csv")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::vector<std::string> headers;
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::string header;
            std::getline(in, header);
            headers.push_back(header.substr(3, header.size() - 4));  // no BOM, no CR
        }
        return headers;
    }

    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend{clock};
    kline::Station station;
    testing_support::HandOverSink sink;
    testing_support::DiagWindowRig rig{station};
    QPointer<diag::TDiag_form> form;
    const fs::path folder = fs::path(testing::TempDir()) / "recording_window";
};

TEST_F(RecordingWindowTest, AGroupChangeStartsAFileOfItsOwnUntilTheUserStops) {
    form = rig.OpenDiagnostics();
    form->Recording->folder = folder;
    ASSERT_TRUE(ServeEventsUntil([&] { return testing_support::AllValuesShown(form); }));
    form->RecordingCommand();
    EXPECT_EQ(form->ComboBox1->itemText(1), QStringLiteral("Остановить запись"));
    EXPECT_EQ(form->ComboBox1->currentText(), QStringLiteral("Регулировка СО"));
    ASSERT_TRUE(ServeEventsUntil([&] {
        return form->Recording->Current().Rows() >= 2 &&
               !form->Recording->Current().CsvPath().empty();
    }));
    EXPECT_TRUE(form->Recording->Note->isVisible());

    const fs::path first = form->Recording->Current().CsvPath();
    form->Group_num->setCurrentIndex(1);
    form->Group_numChange();
    ASSERT_TRUE(ServeEventsUntil([&] {
        return form->Recording->Current().CsvPath() != first &&
               form->Recording->Current().Rows() >= 2;
    }));
    form->RecordingCommand();  // "Остановить запись"
    EXPECT_EQ(form->ComboBox1->itemText(1), QStringLiteral("Начать запись"));
    EXPECT_FALSE(form->Recording->Note->isVisible());
    form->Group_num->setCurrentIndex(0);
    form->Group_numChange();
    ASSERT_TRUE(ServeEventsUntil([&] { return form->Panels().size() == 2; }));

    delete form;  // its ended recordings finish their files alone
    ASSERT_TRUE(diag::LiveRecording::WaitAllClosed(std::chrono::seconds(10)));
    const std::vector<std::string> headers = Headers();
    ASSERT_EQ(headers.size(), 2u) << "one file per recorded group, none after the stop";
    EXPECT_EQ(std::count(headers[0].begin(), headers[0].end(), ';'), 3);
    EXPECT_EQ(std::count(headers[1].begin(), headers[1].end(), ';'), 4);
    EXPECT_TRUE(sink.Texts().empty());
}

TEST_F(RecordingWindowTest, AFolderThatCannotBeWrittenEndsTheRecordingNotThePoll) {
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "in the way";
    form = rig.OpenDiagnostics();
    form->Recording->folder = folder / "file" / "Записи";
    ASSERT_TRUE(ServeEventsUntil([&] { return testing_support::AllValuesShown(form); }));
    form->RecordingCommand();
    ASSERT_TRUE(ServeEventsUntil([&] { return !sink.Texts().empty(); }));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{diag::kRecordStartFailed});
    EXPECT_EQ(form->ComboBox1->itemText(1), QStringLiteral("Начать запись"));
    form->RecordingCommand();
    form->RecordingCommand();  // stopped before its thread found out
    ASSERT_TRUE(ServeEventsUntil([&] { return sink.Texts().size() == 2; }));
    const size_t requests = backend.Requests().size();
    EXPECT_TRUE(ServeEventsUntil([&] { return backend.Requests().size() > requests + 2; }))
        << "the poll goes on";
}

// A disk that holds the recording's first call (a hung network share): the poll, the values
// and the rows go on, and "Остановить запись" answers at once.
TEST_F(RecordingWindowTest, AHeldDiskHoldsUpNeitherThePollNorTheWindow) {
    testing_support::SlowDisk disk(std::chrono::minutes(5));
    form = rig.OpenDiagnostics();
    form->Recording->folder = folder;
    form->Recording->disk = &disk;
    ASSERT_TRUE(ServeEventsUntil([&] { return testing_support::AllValuesShown(form); }));
    form->RecordingCommand();
    ASSERT_TRUE(ServeEventsUntil([&] { return form->Recording->Current().Rows() >= 20; }));
    const int rows = form->Recording->Current().Rows();
    form->RecordingCommand();
    EXPECT_EQ(form->ComboBox1->itemText(1), QStringLiteral("Начать запись"));
    const size_t requests = backend.Requests().size();
    EXPECT_TRUE(ServeEventsUntil([&] { return backend.Requests().size() > requests + 2; }));
    EXPECT_EQ(disk.calls, 1) << "all the while the disk held its first call";

    disk.Release();
    delete form;
    ASSERT_TRUE(diag::LiveRecording::WaitAllClosed(std::chrono::seconds(10)));
    EXPECT_EQ(Headers().size(), 1u);
    for (const auto& file : fs::directory_iterator(folder)) {
        std::ifstream in(file.path());  // every row, written once the disk let go
        const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
        EXPECT_TRUE(file.path().extension() != ".csv" || lines == rows + 1) << lines;
    }
}

}  // namespace
