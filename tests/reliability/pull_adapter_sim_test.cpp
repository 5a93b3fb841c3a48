// The adapter pulled at an exact byte, in-process on the virtual clock: at the first byte of
// a chosen request the line goes dead. Two ways of losing it: the cable pulled from a serial
// port that stays (bytes go out, nothing comes back, the port still opens), and a USB adapter
// pulled out (writes fail, the port cannot be opened again) — the second as the pseudo-
// terminal shows it too, the first only here. Every time the station shows its messages,
// closes the port it held, and works again once the adapter is back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "diag/ui/diag_form.h"
#include "diag/ui/reader_dat.h"
#include "link/port.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/fault_codes_window.h"
#include "sim/simulated_backend.h"
#include "tests/support/connecting.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"
#include "widgets/value_panel.h"

namespace {

using testing_support::ServeEventsUntil;

const std::string kNoAnswer = "Блок не отвечает!";

// The simulated adapter, pulled by the test at the first byte of a request for a chosen
// service (the byte after the header of a short frame, ISO 14230-2 4.1).
class PullingBackend final : public platform::SerialBackend {
  public:
    explicit PullingBackend(sim::SimulatedBackend& inner) : inner_(inner) {}

    void PullAt(uint8_t sid, bool portGoesToo) {
        sid_ = sid;
        portGoesToo_ = portGoesToo;
        armed_ = true;
    }
    bool Pulled() const { return pulled_; }
    void PlugBackIn() {
        pulled_ = false;
        inner_.SetAdapter(sim::AdapterMode::Normal);
        inner_.FailCall(sim::PortCall::WriteByte, false);
        inner_.FailCall(sim::PortCall::Open, false);
    }

    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override {
        std::unique_ptr<platform::SerialPort> port = inner_.Open(name);
        if (!port)
            return nullptr;
        return std::make_unique<Port>(*this, std::move(port));
    }

  private:
    class Port final : public platform::SerialPort {
      public:
        Port(PullingBackend& owner, std::unique_ptr<platform::SerialPort> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        bool GetState(platform::LineSettings& s) override { return inner_->GetState(s); }
        bool SetState(const platform::LineSettings& s) override { return inner_->SetState(s); }
        bool ClearDtr() override { return inner_->ClearDtr(); }
        bool ClearRts() override { return inner_->ClearRts(); }
        bool GetTimeouts(platform::CommTimeouts& t) override { return inner_->GetTimeouts(t); }
        bool SetTimeouts(const platform::CommTimeouts& t) override {
            return inner_->SetTimeouts(t);
        }
        bool PurgeReceive() override {
            frame_.clear();  // every exchange begins here
            return inner_->PurgeReceive();
        }
        int ReadByte(uint8_t& byte) override { return inner_->ReadByte(byte); }
        int WriteByte(uint8_t byte) override {
            frame_.push_back(byte);
            if (frame_.size() == 4 && (frame_[0] & 0x3F) != 0 && frame_[3] == owner_.sid_)
                owner_.PullIfArmed();
            return inner_->WriteByte(byte);
        }
        bool SetBreak() override { return inner_->SetBreak(); }
        bool ClearBreak() override { return inner_->ClearBreak(); }
        bool Close() override { return inner_->Close(); }

      private:
        PullingBackend& owner_;
        std::unique_ptr<platform::SerialPort> inner_;
        std::vector<uint8_t> frame_;
    };

    void PullIfArmed() {
        if (!armed_)
            return;
        armed_ = false;
        pulled_ = true;
        inner_.SetAdapter(sim::AdapterMode::Absent);
        if (portGoesToo_) {
            inner_.FailCall(sim::PortCall::WriteByte);
            inner_.FailCall(sim::PortCall::Open);
        }
    }

    sim::SimulatedBackend& inner_;
    uint8_t sid_ = 0;
    bool portGoesToo_ = false;
    std::atomic<bool> armed_{false};
    std::atomic<bool> pulled_{false};
};

struct PullCase {
    bool portGoesToo;
    const char* name;
};

void PrintTo(const PullCase& c, std::ostream* os) {
    *os << c.name;
}

class PullAdapterSimTest : public testing::TestWithParam<PullCase> {
  protected:
    void SetUp() override { testing_support::PrepareSixteenParams(clock, station, pulling); }
    void TearDown() override {
        CloseWindow();
        kline::ClosePort(station.port);
    }

    bool PortGoesToo() const { return GetParam().portGoesToo; }

    void OpenDiagnostics() { diag = rig.OpenDiagnostics(); }
    void OpenFaultList() {
        faults = new services::TErrors_form(station, *waiter);
        rig.area.addSubWindow(faults);
        faults->showMaximized();
    }
    // A window that closed itself is hidden; the main window would destroy it now.
    void CloseWindow() {
        for (QPointer<kline::ChildWindow> window :
             {QPointer<kline::ChildWindow>(diag), QPointer<kline::ChildWindow>(faults)}) {
            if (!window)
                continue;
            if (window->isVisible())
                window->close();
            delete window;
        }
    }
    bool ValuesShown() const { return testing_support::AllValuesShown(diag); }
    // The station holds no port, and closed each one it opened.
    void ExpectNoPortHeld() {
        const sim::PortSnapshot port = backend.Port();
        EXPECT_FALSE(port.open);
        EXPECT_EQ(port.opens, port.closes);
        EXPECT_FALSE(station.port.IsOpen());
    }
    // With the adapter back, the diagnostics window shows values again and closes quietly.
    void DiagnosticsWorkAgain() {
        pulling.PlugBackIn();
        sink.reports.clear();
        OpenDiagnostics();
        EXPECT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
        CloseWindow();
        EXPECT_TRUE(sink.reports.empty());
        ExpectNoPortHeld();
    }

    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend{clock, sim::EcuOptions{}};
    PullingBackend pulling{backend};
    kline::Station station;
    testing_support::HandOverSink sink;
    testing_support::DiagWindowRig rig{station};
    kline::TWaiter* waiter = rig.waiter.get();
    services::TCorrCO* coTrim = rig.coTrim.get();
    QPointer<diag::TDiag_form> diag;
    QPointer<services::TErrors_form> faults;
};

INSTANTIATE_TEST_SUITE_P(CableOrUsb, PullAdapterSimTest,
                         testing::Values(PullCase{false, "CablePulled"},
                                         PullCase{true, "UsbAdapterPulled"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PullAdapterSimTest, WhilePolling) {
    OpenDiagnostics();
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    pulling.PullAt(0x21, PortGoesToo());
    ASSERT_TRUE(ServeEventsUntil([&] { return !sink.reports.empty(); }));
    ASSERT_TRUE(ServeEventsUntil([&] { return diag->Reader()->isFinished(); }));
    CloseWindow();
    EXPECT_TRUE(pulling.Pulled());
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{diag::kPollingStopped, diag::kLinkNotEnded}));
    ExpectNoPortHeld();
    DiagnosticsWorkAgain();
}

TEST_P(PullAdapterSimTest, WhileConnecting) {
    pulling.PullAt(0x81, PortGoesToo());
    // Behind a serial port that still opens the worker wakes the ECU up again and again, until
    // the mechanic presses "Остановить".
    QTimer mechanic;
    QObject::connect(&mechanic, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() == waiter && backend.Port().opens >= 4)
            waiter->BitBtn1->click();
    });
    mechanic.start(1);
    OpenDiagnostics();
    ASSERT_TRUE(ServeEventsUntil([&] { return diag && !diag->isVisible(); }));
    mechanic.stop();
    const std::vector<std::string> expected =
        PortGoesToo() ? std::vector<std::string>{kline::kPortBusy, diag::kNotConnected}
                      : std::vector<std::string>{diag::kNotConnected};
    EXPECT_EQ(sink.Texts(), expected);
    if (PortGoesToo()) {
        EXPECT_EQ(backend.Port().opens, 1);  // the second opening found no port
    } else {
        EXPECT_GE(backend.Port().opens, 4);
    }
    EXPECT_EQ(station.connecting, 0);
    ExpectNoPortHeld();
    DiagnosticsWorkAgain();
}

TEST_P(PullAdapterSimTest, WhileReadingFaults) {
    pulling.PullAt(0x18, PortGoesToo());
    OpenFaultList();
    ASSERT_TRUE(ServeEventsUntil([&] { return !faults->isVisible(); }));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{kNoAnswer});
    // The window leaves the connection open for the next read.
    EXPECT_EQ(station.connected, 1);
    EXPECT_TRUE(backend.Port().open);
    CloseWindow();

    // With the adapter back the next read goes over that connection and lists the codes.
    // (A handle of a USB adapter that went stays dead on a real system; there only a new port
    // name, which ends the connection, helps: the pseudo-terminal test shows that road.)
    pulling.PlugBackIn();
    sink.reports.clear();
    OpenFaultList();
    EXPECT_EQ(faults->RowCount(), 3);
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(station.connected, 0);
    ExpectNoPortHeld();
}

TEST_P(PullAdapterSimTest, WhileWritingTheCoTrim) {
    OpenDiagnostics();
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    QTimer mechanic;  // in the CO trim dialog: a new value, then "Ok"
    int trim = 40;
    QObject::connect(&mechanic, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != coTrim || coTrim->Timer1->isActive())
            return;
        mechanic.stop();
        coTrim->UpDown1->setValue(trim);
        coTrim->Button1->click();
    });
    mechanic.start(1);
    pulling.PullAt(0x30, PortGoesToo());
    // Behind a port that stays, the diagnostics window's new connection would wake the ECU
    // up for ever: the mechanic presses "Остановить" there.
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() == waiter && pulling.Pulled() &&
            backend.Port().opens >= 5)
            waiter->BitBtn1->click();
    });
    stopper.start(1);
    emit diag->ComboBox1->activated(0);  // "Регулировка СО"
    ASSERT_TRUE(ServeEventsUntil([&] { return !diag->isVisible(); }));
    stopper.stop();
    EXPECT_TRUE(pulling.Pulled());
    std::vector<std::string> expected{services::kTrimNotStored, services::kExchangeNotEnded};
    if (PortGoesToo())
        expected.push_back(kline::kPortBusy);
    expected.push_back(diag::kNotConnected);
    EXPECT_EQ(sink.Texts(), expected);
    EXPECT_EQ(backend.CoTrim(), 0);
    CloseWindow();
    ExpectNoPortHeld();

    pulling.PlugBackIn();
    sink.reports.clear();
    OpenDiagnostics();
    ASSERT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    trim = -40;
    mechanic.start(1);
    emit diag->ComboBox1->activated(0);
    EXPECT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }));
    EXPECT_EQ(backend.CoTrim(), -40);
    CloseWindow();
    EXPECT_TRUE(sink.reports.empty());
    ExpectNoPortHeld();
}

}  // namespace
