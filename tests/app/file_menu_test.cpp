// "Файл": a recording shows its values in the recorded order and refuses writes, the
// demonstration shows the windows of both families, and the settings stay the user's.
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <fstream>

#include "diag/catalogue.h"
#include "link/line_commands.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "sim/in_process_line.h"
#include "tests/app/app_fixture.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/serve_events.h"

namespace {

using testing_support::ServeEventsUntil;

// The third parameter at each hand-over of the poller, which finds the panels as the one
// before it left them: every value shown, in order.
struct ShownRows final : QObject {
    ShownRows() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MetaCall && watched == diag::Diag_form &&
            testing_support::AllValuesShown(diag::Diag_form))
            rows << diag::Diag_form->Panels()[2]->ValueLabel->text();
        return false;
    }
    QStringList rows;
};

// The third parameter of each live-data answer of the recording, in recorded order.
QStringList RecordedRows() {
    sim::TraceReplay replay;
    std::ifstream in(TAVRO_TRACE_FIXTURE);
    std::string error;
    EXPECT_TRUE(sim::LoadReplay(in, replay, error)) << error;
    QStringList rows;
    for (size_t i = 0; i < replay.AnswerCount(0x21); ++i) {
        const auto frame = replay.OnRequest({0, 0, 0x82, true, 0x11, 0xF1, {0x21, 0x01}, true}, 0);
        kline::KwpMessage record;
        record.length = frame->frame[0] & 0x3F;
        std::copy_n(frame->frame.begin() + 3, record.length, record.data.begin());
        rows << QString::fromStdString(diag::ParamText(kline::EcuProtocol(0), record, 2));
    }
    return rows;
}

class FileMenu : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        // Qt's own file dialog, which the test can fill in: on Windows the station shows the
        // system's.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        settings::ApplyDefaults(record);
        record.ecuType = 1;
        settings::SetPortName(record, "ttyUSB0");
        for (int family : {0, 1}) testing_support::ShowFirstParams(record, family, 4);
        ASSERT_TRUE(settings::SaveSettings(record, path));
        main = std::make_unique<TMainForm>(path, &port);
        main->ConnectingDialog().Timer1->setInterval(5);
        main->show();
    }
    // "Открыть запись..." with the recording chosen in its dialog, from a folder of the
    // system's own (on Windows the source tree's path names no drive).
    void OpenRecording() {
        const QString trace = dir.filePath(QStringLiteral("live-type0.trace"));
        QFile::copy(QStringLiteral(TAVRO_TRACE_FIXTURE), trace);
        const auto dialog = [] { return qobject_cast<QFileDialog*>(qApp->activeModalWidget()); };
        testing_support::WhenReady(main.get(), dialog, [dialog, trace] {
            dialog()->selectFile(trace);
            static_cast<QDialog*>(dialog())->accept();
        });
        main->OpenRecordingItem->trigger();
    }
    // Runs `code` and closes its work window once `seen` holds.
    template <class Window>
    void Watch(uint8_t code, Window*& window, const std::function<bool(Window&)>& seen) {
        main->RunMenuCommand(code);
        ASSERT_TRUE(ServeEventsUntil([&] { return window && seen(*window); }));
        window->close();
        ASSERT_TRUE(ServeEventsUntil([&] { return window == nullptr; }));
    }

    testing_support::ScopedVirtualClock clock;
    testing_support::HandOverSink sink;
    QTemporaryDir dir;
    std::string path = dir.filePath("auto.ini").toStdString();
    settings::SettingsRecord record;
    testing_support::ScriptedBackend port;  // the port of the settings: nothing answers there
    std::unique_ptr<TMainForm> main;
};

TEST_F(FileMenu, ARecordingShowsItsValuesInOrderAndLeavesTheSettingsAsTheyWere) {
    // The CSV of a recording stopped before the first answer: its trace has nothing to show.
    std::ofstream(dir.filePath("short.trace").toStdString())
        << "0.000000 tester 82 11 F1 1A 80 1E\n0.030000 ecu 82 F1 11 5A 80 5E\n";
    EXPECT_FALSE(main->OpenRecording(dir.filePath("short.csv")));  // the one message below
    OpenRecording();
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H - запись live-type0.trace");
    EXPECT_EQ(main->station.Protocol().EcuType(), 0);  // the recorded family, not the settings'
    // Recorded with 50 ms between requests: each came 50 to 52 ms after the answer before it.
    EXPECT_EQ(main->station.RequestDelay(), 50);
    ShownRows shown;
    const QStringList recorded = RecordedRows();
    Watch<diag::TDiag_form>(23, diag::Diag_form,
                            [&](auto&) { return shown.rows.size() > recorded.size() + 2; });
    for (qsizetype i = 0; i < shown.rows.size(); ++i)
        ASSERT_EQ(shown.rows[i], recorded[i % recorded.size()]) << "shown row " << i;
    main->CloseRecordingItem->trigger();
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H");
    EXPECT_EQ(main->station.backend, &port);
    EXPECT_EQ(main->station.Protocol().EcuType(), 1);
    OpenRecording();  // and the station ends with it open: auto.ini gets the user's settings
    main.reset();
    settings::SettingsRecord written;
    ASSERT_TRUE(settings::LoadSettings(written, path));
    EXPECT_EQ(settings::PortName(written) + " " + std::to_string(written.ecuType), "ttyUSB0 1");
    EXPECT_EQ(written.requestDelay, 250);
    EXPECT_EQ(sink.reports.size(), 1u) << testing::PrintToString(sink.Texts());
}

TEST_F(FileMenu, CommandsThatWouldWriteRefuseOnARecording) {
    OpenRecording();
    main->RunMenuCommand(25);  // "Сброс контроллера"
    main->RunMenuCommand(26);  // "Сброс ошибок"
    main->CoTrimDialog().BitBtn1Click();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(3, kline::kRecordingUnchangeable));
    EXPECT_TRUE(main->Line()->Backend().Requests().empty());  // not even a connection
}

TEST_P(FileMenu, TheDemonstrationShowsPassportFaultsAndLiveData) {
    main->station.settings.ecuType = static_cast<int8_t>(GetParam());
    main->station.BuildProtocol();
    main->DemonstrationItem->trigger();
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H - демонстрация");
    services::TPassport passport(main->station, main->ConnectingStep(), main.get());
    passport.show();  // reads the ECU's passport
    EXPECT_FALSE(passport.Auto_type->text().isEmpty());
    Watch<services::TErrors_form>(24, services::Errors_form, [](auto& w) {
        return w.Cell(0, 1) == "P0340" && w.Cell(0, 2) == "P0505";
    });
    Watch<diag::TDiag_form>(23, diag::Diag_form,
                            [](auto& w) { return testing_support::AllValuesShown(&w); });
    main->DemonstrationItem->trigger();
    EXPECT_EQ(main->station.backend, &port);
    EXPECT_TRUE(sink.reports.empty()) << testing::PrintToString(sink.Texts());
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, FileMenu, testing::Values(0, 1),
                         testing_support::FamilyName);

}  // namespace
