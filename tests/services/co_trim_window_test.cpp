// The CO trim dialog offscreen, over a scripted K-line on the virtual clock: what a showing
// reads and shows, what "Ok" sends, and the messages of each failure.
#include "services/ui/co_trim_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionSpinBox>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "tests/support/connecting.h"
#include "tests/support/serve_events.h"

namespace {

std::vector<uint8_t> LiveData(uint8_t byte11) {
    return testing_support::LiveRecord({{11, byte11}}, 30);
}

class CoTrimWindowTest : public testing::Test, protected testing_support::ConnectingStation {
  protected:
    CoTrimWindowTest() : ConnectingStation(1, 250) {}

    // "Ok" answered: a new connection and both write steps of the trim.
    void TrimWriteAnswered() {
        StartAnswered();
        EcuAnswers({{0x70, 0x61, 0x08}, {0x70, 0x61, 0x00}});
    }
    // A connection, one live data answer and a stop, as a good showing needs them.
    void GoodShowing(uint8_t byte11) {
        StartAnswered();
        EcuAnswers({LiveData(byte11)});
        StopAnswered();
    }
    // Shows the dialog modally; once its showing is over and it waits for the user,
    // `user` runs (and should end the dialog).
    int Show(std::function<void()> user = [] {}) {
        testing_support::WhenReady(
            dialog.get(),
            [this] { return testing_support::WaitsForTheUser(dialog.get(), dialog->Timer1); },
            std::move(user));
        return dialog->exec();
    }
    std::string Written() const { return backend.line.Written(); }

    std::unique_ptr<services::TCorrCO> dialog =
        std::make_unique<services::TCorrCO>(station, *waiter);
};

TEST_F(CoTrimWindowTest, HasItsLayout) {
    EXPECT_EQ(dialog->objectName(), "CorrCO");
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Корректировка СО"));
    EXPECT_EQ(dialog->size(), QSize(247, 160));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->Label1->text(), QStringLiteral("Текущая коррекция СО"));
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(dialog->Label2->text(), QStringLiteral("Новое значение коррекции"));
    EXPECT_TRUE(dialog->Label2->wordWrap());
    EXPECT_TRUE(dialog->CO->isReadOnly());
    EXPECT_EQ(dialog->UpDown1->minimum(), -128);
    EXPECT_EQ(dialog->UpDown1->maximum(), 127);
    EXPECT_EQ(dialog->UpDown1->value(), 0);
    EXPECT_FALSE(dialog->UpDown1->wrapping());
    EXPECT_EQ(dialog->Button1->text(), QStringLiteral("Ok"));
    EXPECT_EQ(dialog->Timer1->interval(), 1);
    EXPECT_FALSE(dialog->Timer1->isActive());
}

struct ReadCase {
    uint8_t byte11;
    int position;
    const char* text;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << "byte 11 = " << int{c.byte11};
}

class CoTrimReadTest : public CoTrimWindowTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(CoTrimReadTest, ShowingReadsByte11IntoSpinnerAndBothTexts) {
    GoodShowing(GetParam().byte11);
    QString curCo, co;
    int position = 0;
    Show([&] {
        curCo = dialog->CurCo->text();
        co = dialog->CO->text();
        position = dialog->UpDown1->value();
        dialog->done(0);
    });
    EXPECT_EQ(curCo, QString::fromUtf8(GetParam().text));
    EXPECT_EQ(co, QString::fromUtf8(GetParam().text));
    EXPECT_EQ(position, GetParam().position);
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Trims, CoTrimReadTest,
                         testing::Values(ReadCase{0xF6, -10, "-0.0392"},
                                         ReadCase{0x7F, 127, "0.49803"},
                                         ReadCase{0x80, -128, "-0.5019"}, ReadCase{0x00, 0, "0"}));

TEST_F(CoTrimWindowTest, ReadAttemptsHaveNoPauseBeforeThem) {
    StartAnswered();
    EcuAnswers({{0x7F, 0x21, 0x12}, LiveData(0x01)});  // refused once, then answered
    StopAnswered();
    Show([&] { dialog->done(0); });
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("0.00392"));
    // Connection: delay, wake-up of 50 ms; both reads at once; the stop after one delay.
    const std::vector<int64_t>& times = backend.line.writeTimes;
    ASSERT_EQ(times.size(), 5u + 6u + 6u + 5u + 1u);  // and the adapter byte at closing
    EXPECT_EQ(times[5] / 1000, 300);
    EXPECT_EQ(times[11] / 1000, 300);
    EXPECT_EQ(times[17] / 1000, 550);
}

TEST_F(CoTrimWindowTest, OneStepUpShowsTheNewValueAndOkSendsTrimByte1) {
    GoodShowing(0x00);
    TrimWriteAnswered();
    StopAnswered();
    QString co;
    const int result = Show([&] {
        // A click on the spinner's upper arrow.
        QStyleOptionSpinBox option;
        option.initFrom(dialog->UpDown1);
        option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
        const QRect up = dialog->UpDown1->style()->subControlRect(
            QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, dialog->UpDown1);
        QTest::mouseClick(dialog->UpDown1, Qt::LeftButton, {}, up.center());
        co = dialog->CO->text();
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    });
    EXPECT_EQ(co, QStringLiteral("0.00392"));
    EXPECT_EQ(dialog->UpDown1->value(), 1);
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("0"));  // the value read at showing
    EXPECT_EQ(result, 1);
    EXPECT_NE(Written().find("84 10 F1 30 61 08 01 1F 83 10 F1 30 61 00 15"), std::string::npos)
        << Written();
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, LowestPositionSendsTrimByte80) {
    GoodShowing(0x00);
    TrimWriteAnswered();
    StopAnswered();
    Show([&] {
        dialog->UpDown1->setValue(-128);
        dialog->BitBtn1Click();
    });
    EXPECT_EQ(dialog->CO->text(), QStringLiteral("-0.5019"));
    EXPECT_NE(Written().find("84 10 F1 30 61 08 80 9E"), std::string::npos) << Written();
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(CoTrimWindowTest, FailedFirstWriteStepSkipsTheSecondAndSaysSo) {
    GoodShowing(0x00);
    StartAnswered();
    EcuAnswers({{0x7F, 0x30, 0x31}});  // refused
    StopAnswered();
    Show([&] { dialog->BitBtn1Click(); });
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kTrimNotStored});
    EXPECT_EQ(Written().find("83 10 F1 30 61 00"), std::string::npos) << Written();
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, FailedStopAfterWritingSaysTheExchangeDidNotEnd) {
    GoodShowing(0x00);
    TrimWriteAnswered();
    Silence(10);
    const int result = Show([&] { dialog->BitBtn1Click(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kExchangeNotEnded});
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, FailedStopAfterAGoodReadClosesAndKeepsTheShownValues) {
    StartAnswered();
    EcuAnswers({LiveData(0xF6)});
    Silence(10);
    const int result = dialog->exec();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sink.Reports(),
              (std::vector<platform::Report>{testing_support::Warning("Блок не отвечает!")}));
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(dialog->CO->text(), QString());
    EXPECT_EQ(dialog->UpDown1->value(), 0);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, ValuesOfTheLastGoodShowingStayWhenTheNextReadFails) {
    GoodShowing(0xF6);
    Show([&] { dialog->done(0); });
    StartAnswered();
    Silence(10);  // ten unanswered reads
    StopAnswered();
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kEcuSilent});
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("-0.0392"));
    EXPECT_EQ(dialog->UpDown1->value(), -10);
}

TEST_F(CoTrimWindowTest, NoConnectionAtShowingSaysTheEcuIsSilent) {
    backend.refuseOpen = true;
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{kline::kPortBusy, services::kEcuSilent}));
    EXPECT_TRUE(backend.line.written.empty());
}

TEST_F(CoTrimWindowTest, NoConnectionAtOkWritesNothing) {
    GoodShowing(0x00);
    const int result = Show([&] {
        backend.refuseOpen = true;
        dialog->BitBtn1Click();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{kline::kPortBusy, services::kEcuSilent}));
    EXPECT_EQ(Written().find("30 61"), std::string::npos) << Written();
}

TEST_F(CoTrimWindowTest, FirstFamilyHasNoTrimToShowOrStore) {
    testing_support::UseFamily(station, 0);
    EXPECT_EQ(dialog->exec(), 1);  // says so and closes, the supply voltage never shown
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(sink.Reports(),
              (std::vector<platform::Report>{testing_support::Information(services::kNoCoTrim)}));
    EXPECT_TRUE(backend.line.written.empty());
    // "Ok" reached all the same stores nothing and says so rather than succeeding silently.
    sink.Clear();
    StartAnswered();
    StopAnswered();
    dialog->BitBtn1Click();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kTrimNotStored});
    EXPECT_EQ(Written().find("30 61"), std::string::npos) << Written();
}

TEST_F(CoTrimWindowTest, AnswerTooShortForTheTrimIsNoAnswer) {
    StartAnswered();
    for (int i = 0; i < 10; ++i) EcuAnswers({{0x61, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x12}});
    StopAnswered();
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kEcuSilent});
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(dialog->CO->text(), QString());
}

}  // namespace
