// The diagnostics window against the simulated adapter and ECU of each family, in-process on
// the virtual clock: what the ECU's live data says reaches the panels, the poll keeps the
// pace of the request delay, the CO trim is stored in the ECU, and command 23 of the main
// window opens the window and gives the frame its size back afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include "app/main_form.h"
#include "diag/catalogue.h"
#include "diag/ui/diag_form.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "sim/line_timing.h"
#include "sim/simulated_backend.h"
#include "tests/support/connecting.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/main_window.h"
#include "tests/support/serve_events.h"
#include "tests/support/sim_trace.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"
#include "widgets/value_panel.h"

namespace {

constexpr int kWait = 10000;  // ms of real time before a wait gives up

// The ECU's answer frames on the line, in order.
std::vector<std::vector<uint8_t>> EcuFrames(const std::vector<sim::LineEvent>& log) {
    std::vector<std::vector<uint8_t>> frames;
    bool inAnswer = false;
    for (const sim::LineEvent& e : log) {
        if (e.kind != sim::LineEventKind::EcuByte) {
            inAnswer = false;
            continue;
        }
        if (!inAnswer)
            frames.emplace_back();
        inAnswer = true;
        frames.back().push_back(e.byte);
    }
    return frames;
}

using testing_support::RecordOf;

class DiagSimTest : public testing::TestWithParam<int>,
                    protected testing_support::StationOn<sim::SimulatedBackend> {
  protected:
    DiagSimTest() : StationOn(GetParam()) {}
    void TearDown() override {
        if (form) {
            form->close();
            delete form;
        }
    }
    int Type() const { return GetParam(); }
    // Group 1 shows the first 16 rows of the family's catalogue.
    void SixteenParameters() { testing_support::ShowFirstParams(station.settings, Type(), 16); }
    void Open() { form = rig.OpenDiagnostics(); }
    bool AllValuesShown() {
        return QTest::qWaitFor([this] { return testing_support::AllValuesShown(form); }, kWait);
    }
    std::vector<sim::RequestFrame> LiveRequests() {
        std::vector<sim::RequestFrame> live;
        for (const auto& r : backend.Requests())
            if (!r.data.empty() && r.data[0] == 0x21)
                live.push_back(r);
        return live;
    }

    testing_support::HandOverSink sink;
    testing_support::DiagWindowRig rig{station};
    services::TCorrCO* coTrim = rig.coTrim.get();
    QPointer<diag::TDiag_form> form;
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, DiagSimTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(DiagSimTest, SixteenParametersShowTheEcusLiveData) {
    SixteenParameters();
    Open();
    ASSERT_TRUE(AllValuesShown());
    // The ECU falls silent: the poller ends after its message, the panels keep the last answer.
    backend.SetFault(0x21, sim::Fault{sim::FaultKind::Silent});
    ASSERT_TRUE(QTest::qWaitFor([this] { return !sink.reports.empty(); }, kWait));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{diag::kPollingStopped});

    const auto frames = EcuFrames(backend.Log());
    auto last = std::find_if(frames.rbegin(), frames.rend(), [](const auto& f) {
        return f.size() > 4 && f[(f[0] & 0x3F) ? 3 : 4] == 0x61;
    });
    ASSERT_NE(last, frames.rend());
    const kline::KwpMessage record = RecordOf(*last);
    for (int p = 0; p < 16; ++p) {
        const widgets::stPanel* panel = form->Panels()[p];
        EXPECT_EQ(panel->ValueLabel->text().toStdString(),
                  diag::ParamText(station.Protocol(), record, p))
            << "row " << p;
        EXPECT_EQ(panel->NameLabel->text().toStdString(), diag::ParamName(station.Protocol(), p));
    }
}

TEST_P(DiagSimTest, EachRequestFollowsTheLastAnswerAfterTheDelay) {
    for (int delay : {50, 250}) {
        station.settings.requestDelay = delay;
        testing_support::ShowFirstParams(station.settings, Type(), 1);
        Open();
        ASSERT_TRUE(QTest::qWaitFor([this] { return LiveRequests().size() >= 6; }, kWait));
        form->close();
        delete form;

        const auto live = LiveRequests();
        const auto frames = EcuFrames(backend.Log());
        int64_t answerBytes = 0;
        for (const auto& f : frames)
            if (f.size() > 4 && f[3] == 0x61)
                answerBytes = static_cast<int64_t>(f.size());
        ASSERT_GT(answerBytes, 0);
        // One exchange on the line: 6 request bytes, the ECU's pause, the answer.
        const int64_t lineMicros = (6 + answerBytes) * sim::kByteMicros + sim::kDefaultP2Micros;
        for (size_t i = 1; i < 6; ++i) {
            const int64_t period = live[i].startMicros - live[i - 1].startMicros;
            EXPECT_NEAR(period, delay * 1000 + lineMicros, 50) << "delay " << delay << ", " << i;
        }
        backend.ClearLog();
    }
}

TEST_P(DiagSimTest, CoTrimFromTheWindowIsStoredInTheEcu) {
    SixteenParameters();
    Open();
    ASSERT_TRUE(AllValuesShown());
    QPointer<widgets::stPanel> before = form->Panels()[0];
    testing_support::WhenReady(
        form, [&] { return testing_support::WaitsForTheUser(coTrim, coTrim->Timer1); },
        [&] {
            coTrim->UpDown1->setValue(-128);
            coTrim->BitBtn1Click();
        });
    emit form->ComboBox1->activated(0);
    // Only the second family keeps a trim; the first says so and the dialog closes.
    EXPECT_EQ(backend.CoTrim(), Type() == 1 ? -128 : 0);
    EXPECT_EQ(sink.Texts(), Type() == 1 ? std::vector<std::string>{}
                                        : std::vector<std::string>{services::kNoCoTrim});
    EXPECT_TRUE(testing_support::Replaced(before));
    EXPECT_EQ(station.connected, 1);
    EXPECT_TRUE(AllValuesShown());  // polling again, with fresh panels
    if (Type() == 1) {
        EXPECT_EQ(form->Panels()[1]->ValueLabel->text(), QStringLiteral("-0.5"));  // -128 / 256
    }
}

// Command 23 of the main window, over the simulated ECU.
class MainWindowDiagTest : public testing::Test, protected testing_support::MainWindowOnSim {
  protected:
    MainWindowDiagTest() : MainWindowOnSim(1) {}
};

TEST_F(MainWindowDiagTest, Command23OpensTheWindowAndTheFrameGetsItsSizeBack) {
    main.station.settings.groupLists[1][1][0] = 3;
    main.station.settings.groupCounts[1][1] = 1;
    main.show();
    const QSize before = main.size();

    main.RunMenuCommand(23);
    ASSERT_NE(diag::Diag_form, nullptr);
    EXPECT_TRUE(main.BorderFixed());
    EXPECT_EQ(main.minimumSize(), main.maximumSize());
    EXPECT_GE(main.width(), 700);
    EXPECT_EQ(main.station.settings.savedWidth, before.width());
    EXPECT_EQ(main.station.settings.savedHeight, before.height());
    EXPECT_EQ(diag::Diag_form->ShownGroup(), 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
            return !diag::Diag_form->Panels().empty() &&
                   diag::Diag_form->Panels()[0]->ValueLabel->text() != QStringLiteral("-10000");
        },
        kWait));
    // Shown maximised at its minimum size, the window stands whole inside the frame's area.
    EXPECT_LE(diag::Diag_form->height(), diag::Diag_form->mdiArea()->viewport()->height());

    diag::Diag_form->close();
    EXPECT_TRUE(QTest::qWaitFor([] { return diag::Diag_form == nullptr; }, kWait));
    EXPECT_FALSE(main.BorderFixed());
    EXPECT_EQ(main.size(), before);
    EXPECT_EQ(main.station.connected, 0);
    EXPECT_FALSE(backend.SessionActive());
    EXPECT_TRUE(sink.reports.empty());
}

// Closed by the user before its deferred message, the window says nothing more and goes.
TEST_F(MainWindowDiagTest, ClosedBeforeItsMessageTheWindowGoesQuietly) {
    main.show();  // no group has a parameter
    main.RunMenuCommand(23);
    ASSERT_NE(diag::Diag_form, nullptr);
    diag::Diag_form->close();
    EXPECT_TRUE(QTest::qWaitFor([] { return diag::Diag_form == nullptr; }, kWait));
    EXPECT_TRUE(sink.reports.empty());
}

// Closed while one of its own messages is still up (here from inside that message's loop, as
// a second deferred message of the window closes it), the window outlives the message: the
// handler that showed it closes it again afterwards, and only then does it go.
TEST_F(MainWindowDiagTest, ClosedDuringItsOwnMessageTheWindowOutlivesTheMessage) {
    main.show();  // no group has a parameter: a deferred message, then close
    bool outlived = false;
    sink.onShow = [&](const platform::Report&) {
        QMessageBox box;  // modal, as the station's own message boxes
        QTimer::singleShot(0, [] { diag::Diag_form->close(); });
        QTimer::singleShot(100, &box, &QDialog::accept);  // longer than the main window's 25 ms
        box.exec();
        outlived = diag::Diag_form != nullptr;
        sink.onShow = nullptr;
    };
    main.RunMenuCommand(23);
    EXPECT_TRUE(QTest::qWaitFor([] { return diag::Diag_form == nullptr; }, kWait));
    EXPECT_TRUE(outlived);
}

}  // namespace
