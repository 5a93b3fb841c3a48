// The diagnostics window offscreen inside an MDI frame, with the connecting dialog, the CO
// trim dialog and the poller's thread, over a fake K-line on the virtual clock. Message boxes
// from the poller's thread are handed to the window's thread and wait there, as real ones do.
#include "diag/ui/diag_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <atomic>
#include <functional>
#include <mutex>

#include "diag/catalogue.h"
#include "diag/ui/horizontal_up_down.h"
#include "diag/ui/reader_dat.h"
#include "diag/ui/recording_control.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "tests/diag/fake_ecu.h"
#include "tests/support/connecting.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"
#include "widgets/graph.h"
#include "widgets/value_panel.h"

namespace {

using diag_test::Bytes;
using diag_test::LiveRecord;
using testing_support::HandOverSink;

constexpr int kWait = 5000;  // ms of real time before a wait gives up

// The ECU: starts and stops on request, answers live data with the record in force.
struct EcuModel {
    std::atomic<bool> liveSilent{false};
    std::atomic<bool> stopSilent{false};
    std::mutex mutex;
    Bytes record = LiveRecord({});

    void SetRecord(Bytes bytes) {
        std::lock_guard lock(mutex);
        record = std::move(bytes);
    }
    std::optional<Bytes> Answer(const Bytes& request) {
        switch (request[0]) {
            case 0x81:
                return Bytes{0xC1, 0xEF, 0x8F};
            case 0x82:
                return stopSilent ? std::nullopt : std::optional<Bytes>(Bytes{0xC2});
            case 0x21: {
                if (liveSilent)
                    return std::nullopt;
                std::lock_guard lock(mutex);
                return record;
            }
        }
        return std::nullopt;
    }
};

class DiagFormTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::PrepareStation(station, line);
        line.SetResponder([this](const Bytes& request) { return ecu.Answer(request); });
        waiter = testing_support::MakeWaiter(station);
        coTrim = std::make_unique<services::TCorrCO>(station, *waiter);
        main.resize(800, 600);
        area = new QMdiArea;
        main.setCentralWidget(area);
        main.show();
    }
    void TearDown() override {
        sink.onShow = nullptr;
        if (form) {
            if (!closed)
                form->close();
            delete form;
        }
        coTrim.reset();
        waiter.reset();
    }

    void Group(int group, const std::vector<uint8_t>& params, int type = 1) {
        for (size_t slot = 0; slot < params.size(); ++slot)
            station.settings.groupLists[type][group][slot] = params[slot];
        station.settings.groupCounts[type][group] = static_cast<uint8_t>(params.size());
    }
    // What the main window does for a child: into the frame, shown maximised.
    void Open() {
        form = new diag::TDiag_form(
            station, *waiter, [this] { coTrim->exec(); }, &main);
        area->addSubWindow(form);
        QObject::connect(form, &kline::ChildWindow::closed, [this] { closed = true; });
        form->showMaximized();
    }
    // Waits until StartPanels has written the names of the shown parameters.
    bool PanelsStarted() {
        return QTest::qWaitFor(
            [this] {
                const auto& panels = form->Panels();
                for (size_t p = 0; p < panels.size(); ++p)
                    if (panels[p]->NameLabel->text() != Name(p))
                        return false;
                return !panels.empty();
            },
            kWait);
    }
    bool ValuesShown() {
        return QTest::qWaitFor(
            [this] {
                return !form->Panels().empty() &&
                       form->Panels()[0]->ValueLabel->text() != QStringLiteral("-10000");
            },
            kWait);
    }
    // Once the poller has sent its third live data request, `action` is queued for the
    // window's thread: it runs while the poller goes on with its attempts.
    void DuringTheThirdLiveRequest(std::function<void()> action) {
        auto count = std::make_shared<std::atomic<int>>(0);
        line.SetResponder([this, count, action](const Bytes& request) {
            if (request[0] == 0x21 && ++*count == 3)
                QMetaObject::invokeMethod(form.data(), action, Qt::QueuedConnection);
            return ecu.Answer(request);
        });
    }
    QString Name(size_t p) const {
        const int k = station.settings.groupLists[1][form->ShownGroup()][p];
        return QString::fromStdString(diag::ParamName(station.Protocol(), k));
    }

    testing_support::ScopedVirtualClock clock;
    diag_test::FakeEcuBackend line;
    EcuModel ecu;
    kline::Station station;
    HandOverSink sink;
    std::unique_ptr<kline::TWaiter> waiter;
    std::unique_ptr<services::TCorrCO> coTrim;
    QMainWindow main;
    QMdiArea* area = nullptr;
    QPointer<diag::TDiag_form> form;
    bool closed = false;
};

TEST_F(DiagFormTest, HasItsBar) {
    diag::TDiag_form window(station, *waiter, nullptr, nullptr);
    EXPECT_EQ(window.objectName(), "Diag_form");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Диагностика ЭБУ"));
    EXPECT_EQ(window.minimumSize(), QSize(700, 500));
    EXPECT_EQ(window.Group_num->pos(), QPoint(6, 4));
    EXPECT_EQ(window.Group_num->width(), 83);
    ASSERT_EQ(window.Group_num->count(), 5);
    EXPECT_EQ(window.Group_num->itemText(0), QStringLiteral("1 группа"));
    EXPECT_EQ(window.Group_num->itemText(4), QStringLiteral("5 группа"));
    EXPECT_EQ(window.Label1->text(), QStringLiteral("Шире/Уже"));
    EXPECT_EQ(window.Label1->pos(), QPoint(104, 8));
    EXPECT_EQ(window.Bar->height(), 30);
    EXPECT_EQ(window.Bar->pos(), QPoint(0, 0));
    EXPECT_EQ(window.UpDown1->geometry(), QRect(160, 5, 49, 19));
    EXPECT_EQ(window.UpDown1->orientation(), Qt::Horizontal);
    EXPECT_EQ(window.UpDown1->DownButton()->arrowType(), Qt::LeftArrow);
    EXPECT_EQ(window.UpDown1->UpButton()->arrowType(), Qt::RightArrow);
    EXPECT_EQ(window.UpDown1->minimum(), 5);
    EXPECT_EQ(window.UpDown1->maximum(), 255);
    EXPECT_EQ(window.UpDown1->value(), 10);
    EXPECT_EQ(window.Label2->text(), QStringLiteral("Управление"));
    EXPECT_EQ(window.Label2->pos(), QPoint(232, 8));
    EXPECT_EQ(window.ComboBox1->pos(), QPoint(297, 4));
    EXPECT_EQ(window.ComboBox1->width(), 128);
    EXPECT_EQ(window.ComboBox1->currentText(), QStringLiteral("Регулировка СО"));
    // "Регулировка СО", then the recording command that applies.
    ASSERT_EQ(window.ComboBox1->count(), 2);
    EXPECT_EQ(window.ComboBox1->itemText(1), QStringLiteral("Начать запись"));
    EXPECT_FALSE(window.Recording->Note->isVisibleTo(&window));
    EXPECT_EQ(window.Timer1->interval(), 1);
    EXPECT_EQ(window.Timer2->interval(), 1);
    EXPECT_FALSE(window.Timer1->isActive() || window.Timer2->isActive());
    EXPECT_EQ(diag::Diag_form, &window);
}

// The width control: two arrow buttons side by side that step the position within its range.
TEST(HorizontalUpDown, ArrowsSideBySideStepWithinTheRange) {
    diag::HorizontalUpDown spinner;
    spinner.setRange(5, 7);
    spinner.setGeometry(0, 0, 49, 19);
    spinner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&spinner));
    EXPECT_EQ(spinner.DownButton()->geometry(), QRect(0, 0, 24, 19));
    EXPECT_EQ(spinner.UpButton()->geometry(), QRect(24, 0, 25, 19));
    std::vector<int> seen;
    QObject::connect(&spinner, &diag::HorizontalUpDown::valueChanged,
                     [&](int value) { seen.push_back(value); });
    for (int i = 0; i < 3; ++i) QTest::mouseClick(spinner.UpButton(), Qt::LeftButton);
    QTest::keyClick(&spinner, Qt::Key_Left);
    QTest::keyClick(&spinner, Qt::Key_Down);
    QTest::keyClick(&spinner, Qt::Key_Down);  // no wrap-around at either end
    QTest::keyClick(&spinner, Qt::Key_Right);
    EXPECT_EQ(seen, (std::vector<int>{6, 7, 6, 5, 6}));
}

TEST_F(DiagFormTest, CreationSavesTheMainWindowsSizeAndWidensItsFixedBorder) {
    main.setFixedSize(600, 400);  // the main window fixes its border before command 23
    diag::TDiag_form window(station, *waiter, nullptr, &main);
    EXPECT_EQ(station.settings.savedWidth, 600);
    EXPECT_EQ(station.settings.savedHeight, 400);
    EXPECT_EQ(main.size(), QSize(700, 400));
}

TEST_F(DiagFormTest, OneParameterStandsAtTheLeftWithTheGraphToTheRightEdge) {
    Group(0, {0});
    Open();
    ASSERT_TRUE(PanelsStarted());
    widgets::stPanel* panel = form->Panels().at(0);
    widgets::TGraph* graph = form->Graphs().at(0);
    EXPECT_EQ(panel->geometry(), QRect(5, 30, 130, 84));
    EXPECT_EQ(graph->geometry(), QRect(135, 29, form->width() - 160, 84));
    EXPECT_EQ(panel->UnitLabel->x(), 75);
    EXPECT_EQ(panel->UnitLabel->width(), 50);
    EXPECT_EQ(panel->ShortNameLabel->text(), QStringLiteral("TWAT"));
    EXPECT_EQ(panel->UnitLabel->text(), QStringLiteral("Гр. Ц"));
    EXPECT_EQ(graph->MaxValue(), 160);
    EXPECT_EQ(graph->MinValue(), -40);
    EXPECT_EQ(graph->PointPerScr(), 10);
    EXPECT_TRUE(form->isMaximized());
    EXPECT_EQ(station.connected, 1);
}

TEST_F(DiagFormTest, TwoParametersInA1000PixelWindowShareTheFirstRow) {
    Group(0, {0, 2});
    Open();
    ASSERT_TRUE(PanelsStarted());
    form->resize(1000, 600);
    EXPECT_EQ(form->Graphs()[0]->geometry(), QRect(135, 29, 355, 84));
    EXPECT_EQ(form->Graphs()[1]->geometry(), QRect(625, 29, 355, 84));
    EXPECT_EQ(form->Panels()[0]->pos(), QPoint(5, 30));
    EXPECT_EQ(form->Panels()[1]->pos(), QPoint(495, 30));
}

TEST_F(DiagFormTest, SixteenParametersMakeEightRowsAndTheWindowAtLeast765High) {
    Group(0, std::vector<uint8_t>(16, 3));
    Open();
    ASSERT_TRUE(PanelsStarted());
    ASSERT_EQ(form->Panels().size(), 16u);
    EXPECT_GE(form->height(), 765);
    const int gw = (form->width() - 290) / 2;
    EXPECT_EQ(form->Panels()[15]->pos(), QPoint(gw + 140, 7 * 85 + 30));
    EXPECT_EQ(form->Graphs()[14]->pos(), QPoint(135, 7 * 85 + 29));
}

TEST_F(DiagFormTest, CorruptCountBuildsNoMoreThanSixteenPanels) {
    Group(0, std::vector<uint8_t>(16, 3));
    station.settings.groupCounts[1][0] = 200;
    Open();
    ASSERT_TRUE(PanelsStarted());
    EXPECT_EQ(form->Panels().size(), 16u);
    EXPECT_EQ(form->Graphs().size(), 16u);
}

TEST_F(DiagFormTest, OpensOnTheFirstGroupWithParameters) {
    Group(2, {0});
    Group(4, {1});
    Open();
    EXPECT_EQ(form->ShownGroup(), 2);
    EXPECT_EQ(form->Group_num->currentText(), QStringLiteral("3 группа"));
    EXPECT_EQ(form->Group_num->currentIndex(), 2);
    EXPECT_TRUE(PanelsStarted());
}

TEST_F(DiagFormTest, AllGroupsEmptyWarnAndCloseWithoutConnecting) {
    Group(0, {0}, 0);  // the other family's groups do not count
    Open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return closed; }, kWait));
    EXPECT_EQ(sink.reports, (std::vector<platform::Report>{
                                {diag::kNoParamsChosen, "Внимание!", platform::Icon::Warning}}));
    EXPECT_EQ(line.Opens(), 0);
    EXPECT_TRUE(form->Panels().empty());
}

TEST_F(DiagFormTest, NoConnectionWarnsAndClosesWithoutPanels) {
    testing_support::ScriptedBackend refusing;
    refusing.refuseOpen = true;
    station.backend = &refusing;
    Group(0, {0});
    Open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return closed; }, kWait));
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{kline::kPortBusy, diag::kNotConnected}));
    EXPECT_TRUE(form->Panels().empty());
    EXPECT_EQ(form->Reader(), nullptr);
}

TEST_F(DiagFormTest, ValuesGoToThePanelsAndWholeNumbersToTheGraphs) {
    // Engine-stopped flag set, idle flag clear, CO coefficient 64 / 256.
    ecu.SetRecord(LiveRecord({{4, 0x01}, {11, 0x40}}));
    Group(0, {17, 18, 1});
    Open();
    ASSERT_TRUE(ValuesShown());
    const auto& panels = form->Panels();
    const auto& graphs = form->Graphs();
    EXPECT_EQ(panels[0]->ValueLabel->text(), QStringLiteral("Да"));
    EXPECT_EQ(panels[1]->ValueLabel->text(), QStringLiteral("Нет"));
    EXPECT_EQ(panels[2]->ValueLabel->text(), QStringLiteral("0.25"));
    // Graph rows of 84-pixel graphs: 1 of 0..1 is the top row, 0 the bottom one; 0.25 is drawn
    // as 0, the middle row of -1..1.
    EXPECT_EQ(graphs[0]->Points()[0], 0);
    EXPECT_EQ(graphs[1]->Points()[0], 84);
    EXPECT_EQ(graphs[2]->Points()[0], 42);
    EXPECT_TRUE(sink.reports.empty());
}

TEST_F(DiagFormTest, ChoosingAGroupRebuildsItWithTheSpinnersPointsPerScreen) {
    Group(0, {0});
    Group(1, {2, 3});
    Open();
    ASSERT_TRUE(PanelsStarted());
    QPointer<widgets::stPanel> oldPanel = form->Panels()[0];
    QPointer<diag::TReader_dat> oldReader = form->Reader();
    form->UpDown1->setValue(20);
    form->Group_num->setCurrentIndex(1);
    emit form->Group_num->activated(1);
    EXPECT_TRUE(testing_support::Replaced(oldPanel));
    EXPECT_TRUE(oldReader.isNull());
    EXPECT_EQ(form->ShownGroup(), 1);
    ASSERT_EQ(form->Graphs().size(), 2u);
    for (widgets::TGraph* graph : form->Graphs()) EXPECT_EQ(graph->PointPerScr(), 20);
    EXPECT_TRUE(PanelsStarted());
    EXPECT_EQ(form->Panels()[1]->pos(), QPoint((form->width() - 290) / 2 + 140, 30));
}

TEST_F(DiagFormTest, TypedTextThatNamesNoGroupLeavesTheShownGroup) {
    Group(0, {0});
    Group(1, {2});
    Open();
    ASSERT_TRUE(PanelsStarted());
    QPointer<widgets::stPanel> panel = form->Panels()[0];
    QPointer<diag::TReader_dat> reader = form->Reader();
    form->Group_num->lineEdit()->selectAll();
    form->Group_num->lineEdit()->insert(QStringLiteral("7 группа"));  // as typed
    QTest::keyClick(form->Group_num->lineEdit(), Qt::Key_Return);
    form->Group_numChange();
    EXPECT_EQ(form->ShownGroup(), 0);
    EXPECT_FALSE(panel.isNull());
    EXPECT_EQ(form->Reader(), reader.data());
    EXPECT_EQ(form->Group_num->count(), 5);  // typed text never becomes an item
    EXPECT_EQ(form->Group_num->currentText(), QStringLiteral("1 группа"));

    form->Group_num->lineEdit()->end(false);
    form->Group_num->lineEdit()->insert(QStringLiteral(" "));  // a blank typed behind the name
    emit form->Group_num->lineEdit()->editingFinished();       // as when the focus leaves
    EXPECT_EQ(form->Group_num->currentText(), QStringLiteral("1 группа"));

    form->Group_num->lineEdit()->selectAll();
    form->Group_num->lineEdit()->insert(QStringLiteral("2 группа"));
    QTest::keyClick(form->Group_num->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(form->ShownGroup(), 1);
    EXPECT_TRUE(testing_support::Replaced(panel));
}

TEST_F(DiagFormTest, ChoosingTheShownGroupAfterThePollEndedStartsItAnew) {
    ecu.liveSilent = true;
    Group(0, {0});
    Open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->Reader()->isRunning(); }, kWait));
    ASSERT_EQ(sink.Texts(), std::vector<std::string>{diag::kPollingStopped});
    QPointer<diag::TReader_dat> ended = form->Reader();
    ecu.liveSilent = false;
    emit form->Group_num->activated(0);
    EXPECT_TRUE(ended.isNull());
    EXPECT_TRUE(ValuesShown());
}

TEST_F(DiagFormTest, TheGraphsFollowTheWidthControlWithoutLag) {
    Group(0, {0, 2});
    Open();
    ASSERT_TRUE(PanelsStarted());
    form->UpDown1->UpButton()->click();
    EXPECT_EQ(form->UpDown1->value(), 11);
    for (widgets::TGraph* graph : form->Graphs()) EXPECT_EQ(graph->PointPerScr(), 11);
    form->UpDown1->DownButton()->click();
    QTest::keyClick(form->UpDown1, Qt::Key_Left);
    for (widgets::TGraph* graph : form->Graphs()) EXPECT_EQ(graph->PointPerScr(), 9);
    form->UpDown1->setValue(255);  // beyond what a graph takes: they keep their count
    for (widgets::TGraph* graph : form->Graphs()) EXPECT_EQ(graph->PointPerScr(), 9);
}

TEST_F(DiagFormTest, CoTrimCommandResumesTheSameGroupWithFreshPanelsAndClearedGraphs) {
    ecu.SetRecord(LiveRecord({{10, 100}, {11, 0xF6}}));
    Group(1, {0, 1});
    Open();
    ASSERT_TRUE(ValuesShown());
    form->UpDown1->setValue(30);
    QPointer<widgets::stPanel> oldPanel = form->Panels()[0];
    QPointer<widgets::TGraph> oldGraph = form->Graphs()[0];
    QString trimShown;
    // The user reads the trim and closes the dialog; the ECU says nothing more after it.
    testing_support::WhenReady(
        form, [&] { return testing_support::WaitsForTheUser(coTrim.get(), coTrim->Timer1); },
        [&] {
            trimShown = coTrim->CurCo->text();
            ecu.liveSilent = true;
            coTrim->done(0);
        });
    emit form->ComboBox1->activated(0);

    EXPECT_EQ(trimShown, QStringLiteral("-0.0392"));
    EXPECT_TRUE(testing_support::Replaced(oldPanel));
    EXPECT_TRUE(testing_support::Replaced(oldGraph));
    EXPECT_EQ(form->ShownGroup(), 1);
    EXPECT_EQ(form->Group_num->currentText(), QStringLiteral("2 группа"));
    EXPECT_EQ(station.connected, 1);
    EXPECT_EQ(line.Requests(0x81).size(), 2u);  // the window's connection, then a new one
    EXPECT_EQ(line.Requests(0x82).size(), 1u);  // the CO trim dialog ended the first
    ASSERT_TRUE(PanelsStarted());
    for (widgets::TGraph* graph : form->Graphs()) {
        EXPECT_EQ(graph->PointPerScr(), 30);
        for (int row : graph->Points()) ASSERT_EQ(row, graph->ZeroLine());
    }
    EXPECT_EQ(form->Panels()[0]->ValueLabel->text(), QStringLiteral("-10000"));
}

TEST_F(DiagFormTest, ClosingDuringUnansweredAttemptsShowsTheMessageOnceAndFinishes) {
    ecu.liveSilent = true;
    Group(0, {0});
    DuringTheThirdLiveRequest([this] { form->close(); });
    Open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return closed; }, kWait));
    EXPECT_EQ(sink.reports, (std::vector<platform::Report>{
                                {diag::kPollingStopped, "Ошибка!", platform::Icon::Warning}}));
    EXPECT_EQ(line.Requests(0x21).size(), 10u);
    EXPECT_EQ(line.Requests(0x82).size(), 1u);
    EXPECT_EQ(station.connected, 0);
}

}  // namespace
