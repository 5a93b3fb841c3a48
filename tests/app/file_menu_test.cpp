// "Файл" → "Открыть запись...", "Закрыть запись" and "Демонстрация": the station on its own
// in-process line, the recorded values in the recorded order, no writing to a recording, the
// demonstration's windows for both families, and the user's settings kept throughout.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <fstream>

#include "app/comm_prop.h"
#include "app/main_form.h"
#include "diag/catalogue.h"
#include "link/ui/commands.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/ecu_warnings.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "sim/in_process_line.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/serve_events.h"

namespace {

using testing_support::ServeEventsUntil;
using testing_support::WhenReady;
constexpr int kShown = 4;  // parameters of the first group

// The panels' texts at each hand-over of the poller: when one comes, the panels still show
// what the one before it wrote. So every set of values shown is seen, in order.
class ShownRows final : public QObject {
  public:
    ShownRows() { qApp->installEventFilter(this); }
    std::vector<std::string> rows;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MetaCall || watched != diag::Diag_form ||
            !testing_support::AllValuesShown(diag::Diag_form))
            return false;
        QStringList row;
        for (const widgets::stPanel* panel : diag::Diag_form->Panels())
            row << panel->ValueLabel->text();
        rows.push_back(row.join("; ").toStdString());
        return false;
    }
};

// The panels' texts for each live-data answer of the recording, in recorded order.
std::vector<std::string> RecordedRows() {
    sim::TraceReplay replay;
    std::ifstream in(TAVRO_TRACE_FIXTURE);
    std::string error;
    EXPECT_TRUE(sim::LoadReplay(in, replay, error)) << error;
    const sim::RequestFrame request{0, 0, 0x82, true, 0x11, 0xF1, {0x21, 0x01}, true};
    const kline::EcuProtocol protocol(0);
    std::vector<std::string> rows;
    for (size_t i = 0; i < replay.AnswerCount(0x21); ++i) {
        const std::vector<uint8_t> frame = replay.OnRequest(request, false)->frame;
        kline::KwpMessage record;
        record.length = frame[0] & 0x3F;
        std::copy_n(frame.begin() + 3, record.length, record.data.begin());
        QStringList row;
        for (int p = 0; p < kShown; ++p)
            row << QString::fromStdString(diag::ParamText(protocol, record, p));
        rows.push_back(row.join("; ").toStdString());
    }
    return rows;
}

class FileMenu : public testing::Test {
  protected:
    void SetUp() override {
        settings::ApplyDefaults(record);
        record.ecuType = 1;
        settings::SetPortName(record, "ttyUSB0");
        for (int family : {0, 1}) testing_support::ShowFirstParams(record, family, kShown);
        ASSERT_TRUE(settings::SaveSettings(record, path));
        main = std::make_unique<TMainForm>(path, &port);
        main->ConnectingDialog().Timer1->setInterval(5);
        main->show();
    }
    // "Открыть запись..." with `file` chosen in its dialog.
    void OpenRecording(const QString& file) {
        WhenReady(
            main.get(), [] { return qobject_cast<QFileDialog*>(qApp->activeModalWidget()); },
            [file] {
                auto* dialog = qobject_cast<QFileDialog*>(qApp->activeModalWidget());
                dialog->selectFile(file);
                static_cast<QDialog*>(dialog)->accept();
            });
        main->OpenRecordingItem->trigger();
    }
    // Runs `code` and waits until its work window is gone again once `seen` held.
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
    OpenRecording(TAVRO_TRACE_FIXTURE);
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H - запись live-type0.trace");
    EXPECT_EQ(main->station.Protocol().EcuType(), 0);  // the recorded family, not the settings'
    ShownRows shown;
    const std::vector<std::string> recorded = RecordedRows();
    Watch<diag::TDiag_form>(23, diag::Diag_form, [&](auto&) {
        return shown.rows.size() > recorded.size() + 2;  // round the loop
    });
    for (size_t i = 0; i < shown.rows.size(); ++i)
        ASSERT_EQ(shown.rows[i], recorded[i % recorded.size()]) << "shown row " << i;

    main->CloseRecordingItem->trigger();
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H");
    EXPECT_EQ(main->station.backend, &port);
    EXPECT_EQ(main->station.Protocol().EcuType(), 1);
    // Opened again, the connection dialog meanwhile shows and keeps the user's port; the
    // station ends with the recording open and writes the user's settings.
    OpenRecording(TAVRO_TRACE_FIXTURE);
    WhenReady(
        main.get(), [] { return Comm_Prop && qApp->activeModalWidget() == Comm_Prop; },
        [] { Comm_Prop->accept(); });
    main->RunMenuCommand(12);
    main.reset();
    ASSERT_TRUE(settings::LoadSettings(record, path));
    EXPECT_EQ(settings::PortName(record), "ttyUSB0");
    EXPECT_EQ(record.ecuType, 1);
    EXPECT_EQ(record.requestDelay, 250);
    EXPECT_TRUE(sink.reports.empty()) << testing::PrintToString(sink.Texts());
}

TEST_F(FileMenu, ARecordingRefusesWritesAndAnswersOnlyWhatItRecorded) {
    OpenRecording(TAVRO_TRACE_FIXTURE);
    main->RunMenuCommand(25);  // "Сброс контроллера"
    main->RunMenuCommand(26);  // "Сброс ошибок"
    main->CoTrimDialog().BitBtn1Click();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(3, kline::kRecordingUnchangeable));
    EXPECT_TRUE(main->Line()->Backend().Requests().empty());  // not even a connection
    // The trace holds live data only: the passport and the fault list get no answer.
    sink.reports.clear();
    main->RunMenuCommand(22);
    main->RunMenuCommand(24);
    ASSERT_TRUE(ServeEventsUntil([] { return services::Errors_form == nullptr; }));
    EXPECT_EQ(sink.Texts(),
              (std::vector<std::string>{"Блок не отвечает на запрос!", services::kNoAnswer}));
}

class Demonstration : public FileMenu, public testing::WithParamInterface<int> {};

TEST_P(Demonstration, ShowsPassportFaultsAndLiveData) {
    record.ecuType = static_cast<int8_t>(GetParam());
    main->station.settings.ecuType = record.ecuType;
    main->station.BuildProtocol();
    main->DemonstrationItem->trigger();
    EXPECT_TRUE(main->DemonstrationItem->isChecked());
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H - демонстрация");
    QString model;
    WhenReady(
        main.get(),
        [] { return services::Passport && !services::Passport->Auto_type->text().isEmpty(); },
        [&] {
            model = services::Passport->Auto_type->text();
            services::Passport->reject();
        });
    main->RunMenuCommand(22);
    EXPECT_FALSE(model.isEmpty());
    Watch<services::TErrors_form>(24, services::Errors_form, [](auto& w) {
        return w.Cell(0, 1) == "P0340" && w.Cell(0, 2) == "P0505";
    });
    Watch<diag::TDiag_form>(23, diag::Diag_form,
                            [](auto& w) { return testing_support::AllValuesShown(&w); });
    main->DemonstrationItem->trigger();
    EXPECT_FALSE(main->DemonstrationItem->isChecked());
    EXPECT_EQ(main->windowTitle(), "Tavro KX4.2H");
    EXPECT_EQ(main->station.backend, &port);
    EXPECT_TRUE(sink.reports.empty()) << testing::PrintToString(sink.Texts());
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, Demonstration, testing::Values(0, 1),
                         testing_support::FamilyName);

}  // namespace
