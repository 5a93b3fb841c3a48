// The adapter pulled out under the station: kline-sim ends while the station connects, polls
// the live data, reads the fault codes or writes the CO trim, so that the pseudo-terminal
// goes away under the open port. The station shows its messages, hangs nowhere and keeps no
// descriptor of the dead port; the mechanic plugs the adapter back in (a new kline-sim on a
// new pseudo-terminal), types its name into "Настройка соединения", and the next command works.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "app/comm_prop.h"
#include "diag/ui/diag_form.h"
#include "diag/ui/reader_dat.h"
#include "link/port.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/fault_codes_window.h"
#include "tests/e2e/station_fixture.h"
#include "tests/reliability/process_figures.h"
#include "tests/support/diag_window.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"
#include "widgets/value_panel.h"

namespace {

using testing_support::ServeEventsUntil;

const std::string kNotInitialised = "Блок не инициализирован!";
const std::string kNoAnswer = "Блок не отвечает!";

// Ends the simulator from a thread of its own once `when` holds, so that the pull can fall
// inside an exchange that blocks the user-interface thread.
class Puller {
  public:
    Puller(testing_support::SimProcess& sim, std::function<bool()> when)
        : thread_([this, &sim, when] {
              const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(15);
              while (!when() && std::chrono::steady_clock::now() < give_up)
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              sim.Stop();
              pulled_ = true;
          }) {}
    ~Puller() { thread_.join(); }
    bool Pulled() const { return pulled_; }

  private:
    std::atomic<bool> pulled_{false};
    std::thread thread_;
};

class PullAdapterTest : public e2e::StationTest {
  protected:
    // The second family with sixteen parameters in its first group.
    void PrepareSettings(settings::SettingsRecord& record) override {
        testing_support::ShowFirstParams(record, 1, 16);
    }

    void StartStation(std::vector<std::string> options = {}) {
        Start(1, std::move(options));
        waiter->Timer1->setInterval(20);
        coTrim = &form->CoTrimDialog();
        terminals = reliability::OpenTerminals();
    }

    // The adapter back in: a new simulator on a new pseudo-terminal, its name typed into the
    // connection dialog and confirmed.
    void PlugBackIn() {
        sim.reset();
        sim = std::make_unique<testing_support::SimProcess>(
            KLINE_SIM_PATH, std::vector<std::string>{"--ecu", "1", "--state-file", stateFile});
        ASSERT_EQ(sim->portName.rfind("pts/", 0), 0u) << "kline-sim did not start";
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TComm_Prop*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            user.stop();
            dialog->ComboBox1->setEditText(QString::fromStdString(sim->portName));
            dialog->BitBtn1->click();
        });
        user.start(5);
        form->RunMenuCommand(12);  // "Настройки" / "Соединение"
        ASSERT_EQ(form->station.PortName(), sim->portName);
    }

    int Requests() const {
        std::istringstream lines(SimState());
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("requests ", 0) == 0)
                return std::stoi(line.substr(9));
        return 0;
    }

    bool ChildrenGone() const { return form->MdiArea->subWindowList().isEmpty(); }

    // After a pull: no connection, no port held.
    void ExpectNoConnectionLeft() {
        EXPECT_EQ(form->station.connected, 0);
        EXPECT_FALSE(form->station.port.IsOpen());
        EXPECT_EQ(PortsHeld(), 0);
    }

    // With the adapter back: the diagnostics window polls again, without a message so far.
    void PollAgain() {
        sink.Clear();
        RunEcuEntry(3);
        ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    }

    // With the adapter back: the fault list reads its three rows without a message, and
    // closing it leaves no port open.
    void ReadFaultsAgain() {
        sink.Clear();
        RunEcuEntry(4);
        ASSERT_TRUE(ServeEventsUntil(
            [&] { return services::Errors_form && services::Errors_form->RowCount() == 3; }));
        EXPECT_EQ(services::Errors_form->Cell(0, 1), "P0340");
        EXPECT_TRUE(sink.Reports().empty());
        services::Errors_form->close();
        ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
        EXPECT_EQ(PortsHeld(), 0);
    }

    // "Регулировка СО" from the diagnostics window; in the dialog, once it has read the trim,
    // `value` and "Ok" (`beforeOk` runs right before the click).
    void TrimFromTheDiagnostics(int value, const std::function<void()>& beforeOk = {}) {
        testing_support::WhenReady(
            form.get(), [this] { return testing_support::WaitsForTheUser(coTrim, coTrim->Timer1); },
            [this, value, beforeOk] {
                coTrim->UpDown1->setValue(value);
                if (beforeOk)
                    beforeOk();
                coTrim->Button1->click();
            });
        emit diag::Diag_form->ComboBox1->activated(0);
    }

    bool ValuesShown() const { return testing_support::AllValuesShown(diag::Diag_form); }

    // The serial ports the station holds open.
    int PortsHeld() const { return reliability::OpenTerminals() - terminals; }

    services::TCorrCO* coTrim = nullptr;  // the main window's CO trim dialog
    int terminals = 0;  // before the station opened any port (a test run from a terminal has some)
};

TEST_F(PullAdapterTest, WhileConnecting) {
    // The adapter echoes, but no ECU answers: the worker wakes it up again and again.
    StartStation({"--fault", "no-ecu"});
    QTimer::singleShot(400, [&] { sim->Stop(); });
    RunEcuEntry(4);  // "Список ошибок"
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    // The worker could not open the port again and gave up; the window then had no connection.
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{kline::kPortBusy, kNotInitialised}));
    EXPECT_EQ(form->station.connected, 0);
    EXPECT_EQ(form->station.connecting, 0);
    EXPECT_FALSE(form->station.port.IsOpen());
    EXPECT_EQ(PortsHeld(), 0);
    const int handles = reliability::OpenHandles();

    PlugBackIn();
    ReadFaultsAgain();
    EXPECT_EQ(reliability::OpenHandles(), handles);  // nothing more than after the pull
}

TEST_F(PullAdapterTest, WhilePolling) {
    StartStation();
    RunEcuEntry(3);  // "Диагностика"
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    sim->Stop();
    ASSERT_TRUE(ServeEventsUntil([&] { return !sink.Reports().empty(); }));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{diag::kPollingStopped});
    ASSERT_TRUE(ServeEventsUntil([&] { return diag::Diag_form->Reader()->isFinished(); }));
    // Closing the window ends a connection nobody answers any more.
    diag::Diag_form->close();
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{diag::kPollingStopped, diag::kLinkNotEnded}));
    ExpectNoConnectionLeft();
    const int handles = reliability::OpenHandles();

    PlugBackIn();
    PollAgain();
    diag::Diag_form->close();
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(PortsHeld(), 0);
    EXPECT_EQ(reliability::OpenHandles(), handles);
}

TEST_F(PullAdapterTest, WhileReadingFaults) {
    // The first fault requests go unanswered, so that the pull falls among the read's attempts.
    StartStation({"--fault", "fail-first=20@18"});
    Puller puller(*sim, [&] { return Requests() >= 3; });  // StartCommunication, two reads
    RunEcuEntry(4);
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    ASSERT_TRUE(puller.Pulled());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{kNoAnswer});
    // After an unanswered read the window leaves its connection open for the next read: the
    // port of the pulled adapter is still held.
    EXPECT_EQ(form->station.connected, 1);
    EXPECT_EQ(PortsHeld(), 1);
    const int handles = reliability::OpenHandles();

    // A new port name in the connection dialog ends that connection first, and with it the
    // dead port; the next read goes over the new one.
    PlugBackIn();
    EXPECT_EQ(form->station.connected, 0);
    EXPECT_EQ(PortsHeld(), 0);
    ReadFaultsAgain();
    EXPECT_EQ(reliability::OpenHandles(), handles - 1);  // the dead port's descriptor is gone
}

TEST_F(PullAdapterTest, WhileWritingTheCoTrim) {
    // The ECU takes 100 ms over its answers to the trim requests: the pull falls inside one.
    StartStation({"--fault", "delay=100@30"});
    RunEcuEntry(3);
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));

    std::unique_ptr<Puller> puller;
    TrimFromTheDiagnostics(40, [&] {
        // "Ok" connects anew (StartCommunication), then sends the new value.
        const int before = Requests();
        puller = std::make_unique<Puller>(*sim, [&, before] { return Requests() >= before + 2; });
    });
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    ASSERT_TRUE(puller && puller->Pulled());
    // The value was not stored, the exchange could not be ended; back in the diagnostics
    // window the port could not be opened again, so the window had no connection and closed.
    EXPECT_EQ(sink.Texts(),
              (std::vector<std::string>{services::kTrimNotStored, services::kExchangeNotEnded,
                                        kline::kPortBusy, diag::kNotConnected}));
    ExpectNoConnectionLeft();
    const int handles = reliability::OpenHandles();

    PlugBackIn();
    PollAgain();
    TrimFromTheDiagnostics(40);
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    EXPECT_NE(SimState().find("co_trim 40"), std::string::npos) << SimState();
    diag::Diag_form->close();
    ASSERT_TRUE(ServeEventsUntil([&] { return ChildrenGone(); }));
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(PortsHeld(), 0);
    EXPECT_EQ(reliability::OpenHandles(), handles);
}

}  // namespace
