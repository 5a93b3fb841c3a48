// The connecting dialog and its worker, offscreen: closing by the timer, "Остановить",
// the close box, and message boxes the worker shows from its own thread.
#include "link/ui/waiter.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "tests/support/hand_over_sink.h"
#include "tests/support/recording_sink.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"

namespace {

using testing_support::HandOverSink;

class WaiterTest : public testing::Test, protected testing_support::ScriptedStation {
  protected:
    void SetUp() override { waiter = std::make_unique<kline::TWaiter>(station); }
    void TearDown() override { waiter.reset(); }
    // Presses "Остановить" once the worker has opened the port `opens` times.
    void StopAfterOpens(int opens) {
        WhenOpened(opens, [this] { QTest::mouseClick(waiter->BitBtn1, Qt::LeftButton); });
    }
    void WhenOpened(int opens, std::function<void()> act) {
        testing_support::WhenReady(
            waiter.get(), [this, opens] { return backend.opens >= opens; }, std::move(act));
    }

    std::unique_ptr<kline::TWaiter> waiter;
};

TEST_F(WaiterTest, HasItsLayout) {
    EXPECT_EQ(waiter->windowTitle(), QStringLiteral("Связь с ЭБУ..."));
    EXPECT_EQ(waiter->size(), QSize(336, 131));
    EXPECT_EQ(waiter->BitBtn1->text(), QStringLiteral("Остановить"));
    EXPECT_EQ(waiter->BitBtn1->geometry(), QRect(8, 96, 97, 25));
    EXPECT_EQ(waiter->Timer1->interval(), 500);
}

TEST_F(WaiterTest, AlreadyConnectedClosesAtTheFirstTickAndSendsNothing) {
    testing_support::RecordingSink sink;
    station.connected = 1;
    QElapsedTimer timer;
    timer.start();
    waiter->ShowWaiter();
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_GE(timer.elapsed(), 450);
    EXPECT_EQ(backend.opens, 0);
    EXPECT_EQ(station.connected, 1);
}

TEST_F(WaiterTest, ConnectDoesNotShowTheDialogWhenConnected) {
    station.connected = 1;
    QElapsedTimer timer;
    timer.start();
    kline::Connect(station, *waiter);
    EXPECT_LT(timer.elapsed(), 100);
}

TEST_F(WaiterTest, AnsweringEcuConnectsAndTheDialogCloses) {
    testing_support::RecordingSink sink;
    StartAnswered();
    kline::Connect(station, *waiter);
    EXPECT_EQ(station.connected, 1);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_TRUE(station.port.IsOpen());
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(WaiterTest, SilentEcuRepeatsUntilStopped) {
    testing_support::RecordingSink sink;
    StopAfterOpens(3);
    kline::Connect(station, *waiter);
    EXPECT_GE(backend.opens, 3);
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_FALSE(station.port.IsOpen());
    EXPECT_FALSE(waiter->isVisible());
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(WaiterTest, CloseBoxStopsTheWorkerLikeTheButton) {
    testing_support::RecordingSink sink;
    WhenOpened(2, [&] { waiter->close(); });
    kline::Connect(station, *waiter);
    EXPECT_FALSE(waiter->isVisible());
    EXPECT_EQ(station.connecting, 0);
    EXPECT_FALSE(station.port.IsOpen());
    const int opens = backend.opens;
    QTest::qWait(20);
    EXPECT_EQ(backend.opens, opens);  // nothing runs on after the dialog has gone
}

TEST_F(WaiterTest, PortThatCannotBeOpenedShowsOneMessage) {
    HandOverSink sink;
    backend.refuseOpen = true;
    QElapsedTimer timer;
    timer.start();
    kline::Connect(station, *waiter);
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{
                                "Данный порт уже занят другим приложением или не поддерживается!"});
    EXPECT_EQ(station.connected, 0);
}

TEST_F(WaiterTest, StopWhileTheWorkerWaitsForAMessageBoxDoesNotDeadlock) {
    HandOverSink sink;
    // The port disappears after two openings: the worker reports it from its thread
    // while the user presses "Остановить".
    WhenOpened(2, [&] {
        backend.refuseOpen = true;
        waiter->BitBtn1Click();
    });
    kline::Connect(station, *waiter);
    EXPECT_EQ(station.connecting, 0);
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

}  // namespace
