// The built station against kline-sim on a pseudo-terminal: the main window offscreen with
// the real POSIX backend and the system clock, the simulator as its own process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "link/ui/waiter.h"
#include "services/ui/passport_window.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sim_process.h"

namespace e2e {

class StationTest : public testing::Test {
  protected:
    void TearDown() override {
        waiter = nullptr;
        form.reset();  // saves auto.ini and closes what is open
        sim.reset();
        std::filesystem::remove_all(dir);
    }

    // Starts kline-sim with `options` and the station on its port, for ECU type `ecuType`.
    void Start(int ecuType, std::vector<std::string> options = {}) {
        dir = std::filesystem::temp_directory_path() /
              ("tavro-e2e-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        stateFile = (dir / "sim-state.txt").string();
        options.insert(options.end(),
                       {"--ecu", std::to_string(ecuType), "--state-file", stateFile});
        sim = std::make_unique<testing_support::SimProcess>(KLINE_SIM_PATH, options,
                                                            (dir / "sim-errors.txt").string());
        ASSERT_EQ(sim->portName.rfind("pts/", 0), 0u) << "kline-sim did not start";

        settings::SettingsRecord record;
        settings::ApplyDefaults(record);
        settings::SetPortName(record, sim->portName);
        record.requestDelay = 50;
        record.ecuType = static_cast<int8_t>(ecuType);
        PrepareSettings(record);
        const std::string path = (dir / "auto.ini").string();
        ASSERT_TRUE(settings::SaveSettings(record, path));
        form = std::make_unique<TMainForm>(path, &platform::SystemSerialBackend());
        waiter = &form->ConnectingDialog();
        form->show();
    }

    // Lets a test fill the groups or change the record before the station reads it.
    virtual void PrepareSettings(settings::SettingsRecord&) {}

    // Runs entry `position` (1-based) of the section "Работа с ЭБУ" from the command list.
    void RunEcuEntry(int position) {
        form->Label2Click();
        form->ListBox1->setCurrentRow(position - 1);
    }

    // Runs "Паспорт ЭБУ"; the dialog is modal: `read` gets it once its fields are filled,
    // then "Закрыть" ends it.
    void ReadPassport(const std::function<void(services::TPassport&)>& read) {
        QTimer reader;
        QObject::connect(&reader, &QTimer::timeout, [&] {
            auto* passport = qobject_cast<services::TPassport*>(QApplication::activeModalWidget());
            if (!passport || passport->Auto_type->text().isEmpty())
                return;
            reader.stop();
            read(*passport);
            passport->SpeedButton1->click();
        });
        reader.start(10);
        RunEcuEntry(2);
    }

    std::string SimState() const { return testing_support::ReadTextFile(stateFile); }

    testing_support::RecordingSink sink;
    std::unique_ptr<testing_support::SimProcess> sim;
    std::unique_ptr<TMainForm> form;
    kline::TWaiter* waiter = nullptr;  // the main window's connecting dialog
    std::filesystem::path dir;
    std::string stateFile;
};

// Waits at the line's real pace, serving events, until `done` holds or `ms` have passed.
template <class Done>
bool WaitFor(Done done, int ms = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace e2e
