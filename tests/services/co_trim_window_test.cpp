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

#include "link/ui/waiter.h"
#include "tests/services/ecu_line.h"
#include "tests/support/connecting.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"

namespace {

using services_test::AnswerFrame;

constexpr uint8_t kEcu1 = 0x10;

std::vector<uint8_t> LiveData(uint8_t byte11) {
    std::vector<uint8_t> data(30, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    data[11] = byte11;
    return data;
}

class CoTrimWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::PrepareStation(station, backend);
        waiter = testing_support::MakeWaiter(station);
        dialog = std::make_unique<services::TCorrCO>(station, *waiter);
    }
    void TearDown() override {
        dialog.reset();
        waiter.reset();
    }

    void Answers(const std::vector<uint8_t>& data) {
        backend.line.answers.push_back(AnswerFrame(kEcu1, data));
    }
    void Silent(int requests) {
        for (int i = 0; i < requests; ++i) backend.line.answers.push_back({});
    }
    // "Ok" answered: a new connection and both write steps of the trim.
    void TrimWriteAnswered() {
        Answers({0xC1, 0xEF, 0x8F});
        Answers({0x70, 0x61, 0x08});
        Answers({0x70, 0x61, 0x00});
    }
    // A connection, one live data answer and a stop, as a good showing needs them.
    void GoodShowing(uint8_t byte11) {
        Answers({0xC1, 0xEF, 0x8F});
        Answers(LiveData(byte11));
        Answers({0xC2});
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
    std::string Written() const { return services_test::Hex(backend.line.written); }

    testing_support::ScopedVirtualClock clock;
    testing_support::ScriptedBackend backend;
    testing_support::RecordingSink sink;
    kline::Station station;
    std::unique_ptr<kline::TWaiter> waiter;
    std::unique_ptr<services::TCorrCO> dialog;
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
    Answers({0xC1, 0xEF, 0x8F});
    Answers({0x7F, 0x21, 0x12});  // refused once, then answered
    Answers(LiveData(0x01));
    Answers({0xC2});
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
    Answers({0xC2});
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
    Answers({0xC2});
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
    Answers({0xC1, 0xEF, 0x8F});
    Answers({0x7F, 0x30, 0x31});  // refused
    Answers({0xC2});
    Show([&] { dialog->BitBtn1Click(); });
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kTrimNotStored});
    EXPECT_EQ(Written().find("83 10 F1 30 61 00"), std::string::npos) << Written();
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, FailedStopAfterWritingSaysTheExchangeDidNotEnd) {
    GoodShowing(0x00);
    TrimWriteAnswered();
    Silent(10);
    const int result = Show([&] { dialog->BitBtn1Click(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kExchangeNotEnded});
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, FailedStopAfterAGoodReadClosesAndKeepsTheShownValues) {
    Answers({0xC1, 0xEF, 0x8F});
    Answers(LiveData(0xF6));
    Silent(10);
    const int result = dialog->exec();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sink.Reports(), (std::vector<platform::Report>{
                                  {"Блок не отвечает!", "Внимание!", platform::Icon::Warning}}));
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(dialog->CO->text(), QString());
    EXPECT_EQ(dialog->UpDown1->value(), 0);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_F(CoTrimWindowTest, ValuesOfTheLastGoodShowingStayWhenTheNextReadFails) {
    GoodShowing(0xF6);
    Show([&] { dialog->done(0); });
    Answers({0xC1, 0xEF, 0x8F});
    Silent(10);  // ten unanswered reads
    Answers({0xC2});
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
    station.settings.ecuType = 0;
    station.BuildProtocol();
    EXPECT_EQ(dialog->exec(), 1);  // says so and closes, the supply voltage never shown
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(sink.Reports(), (std::vector<platform::Report>{{services::kNoCoTrim, "Внимание!",
                                                              platform::Icon::Information}}));
    EXPECT_TRUE(backend.line.written.empty());
    // "Ok" reached all the same stores nothing and says so rather than succeeding silently.
    sink.Clear();
    backend.line.answers.push_back(AnswerFrame(0x11, {0xC1, 0xEF, 0x8F}));
    backend.line.answers.push_back(AnswerFrame(0x11, {0xC2}));
    dialog->BitBtn1Click();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kTrimNotStored});
    EXPECT_EQ(Written().find("30 61"), std::string::npos) << Written();
}

TEST_F(CoTrimWindowTest, AnswerTooShortForTheTrimIsNoAnswer) {
    Answers({0xC1, 0xEF, 0x8F});
    for (int i = 0; i < 10; ++i) Answers({0x61, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x12});
    Answers({0xC2});
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{services::kEcuSilent});
    EXPECT_EQ(dialog->CurCo->text(), QStringLiteral("CurCo"));
    EXPECT_EQ(dialog->CO->text(), QString());
}

}  // namespace
