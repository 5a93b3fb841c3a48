// The equipment list on a scripted line: the one read of the flags, the lines of the set
// bits, and the failures (the window stays open when only the read fails).
#include "services/ui/equipment_window.h"

#include <QListWidget>
#include <QTimer>
#include <QtTest/QTest>

#include "tests/support/connecting.h"
#include "tests/support/serve_events.h"
#include "tests/support/work_window.h"

namespace {

using services::TComplect;
using testing_support::Bytes;
using testing_support::OpenChild;
using testing_support::Warning;

// A live data record with the two flag bytes.
Bytes LiveData(uint8_t byte2, uint8_t byte3) {
    Bytes data(34, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    data[2] = byte2;
    data[3] = byte3;
    return data;
}

std::vector<std::string> Lines(const TComplect& window) {
    std::vector<std::string> lines;
    for (int i = 0; i < window.List_Compl->count(); ++i)
        lines.push_back(window.List_Compl->item(i)->text().toStdString());
    return lines;
}

// The equipment flags exist in the second family only.
class EquipmentTest : public testing_support::FamilyOnScriptedLine {};
INSTANTIATE_TEST_SUITE_P(SecondFamily, EquipmentTest, testing::Values(1),
                         testing_support::FamilyName);

TEST_P(EquipmentTest, HasItsList) {
    TComplect window(station, *waiter);
    testing_support::ExpectNameAndTitle(window, "Complect", "Комплектация");
    EXPECT_EQ(window.widget(), window.List_Compl);
    EXPECT_EQ(window.List_Compl->font().family(), "Arial");
    EXPECT_EQ(window.List_Compl->font().pixelSize(), 16);
    EXPECT_EQ(window.Timer1->interval(), 1);
    EXPECT_FALSE(window.Timer1->isActive());
}

struct FlagCase {
    const char* name;
    uint8_t byte2;
    uint8_t byte3;
    std::vector<std::string> lines;
};

TEST_P(EquipmentTest, SetBitsGiveTheirLinesInEntryOrder) {
    const std::vector<FlagCase> cases = {
        {"none", 0x00, 0x00, {}},
        {"some",
         0x05,
         0x30,
         {"Датчик кислорода", "Клапан рециркуляции", "Датчик скорости автомобиля",
          "Одновременный впрыск"}},
        {"unused bits", 0xC0, 0xC0, {}},
        {"all",
         0x3F,
         0x3F,
         {"Датчик кислорода", "Адсорбер", "Клапан рециркуляции", "Датчик детонации",
          "Датчик температуры воздуха", "Датчик фазы", "Потенциометр корректировки СО",
          "Aдаптация нуля дросселя", "Асинхронная подача топлива при пуске",
          "Постоянное хранение ошибок", "Датчик скорости автомобиля", "Одновременный впрыск"}},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartAnswered();
        EcuAnswers({LiveData(c.byte2, c.byte3)});
        StopAnswered();
        OpenChild opened(new TComplect(station, *waiter));
        auto& window = static_cast<TComplect&>(*opened.window);
        EXPECT_EQ(Lines(window), c.lines);
        EXPECT_TRUE(sink.Reports().empty());
        EXPECT_EQ(station.connected, 0);
        EXPECT_FALSE(station.port.IsOpen());
        EXPECT_EQ(opened.closes, 0);
    }
    EXPECT_EQ(Requests(0x21), cases.size());  // one read per showing, no retry
}

TEST_P(EquipmentTest, LinesAreEighteenPixelsHigh) {
    StartAnswered();
    EcuAnswers({LiveData(0x3F, 0x00)});
    StopAnswered();
    OpenChild opened(new TComplect(station, *waiter));
    auto& window = static_cast<TComplect&>(*opened.window);
    ASSERT_EQ(window.List_Compl->count(), 6);
    EXPECT_TRUE(testing_support::ServeEventsUntil(
        [&] { return window.geometry() == opened.area.viewport()->rect(); }));
    const QListWidget& list = *window.List_Compl;
    EXPECT_EQ(list.visualItemRect(list.item(0)).height(), 18);
    EXPECT_EQ(list.visualItemRect(list.item(5)).top() - list.visualItemRect(list.item(0)).top(),
              5 * 18);
}

TEST_P(EquipmentTest, ReadComesOneDelayAfterTheConnection) {
    LeftOpen();
    const int64_t shown = clock.NowMicros();
    EcuAnswers({LiveData(0x01, 0x00)});
    StopAnswered();
    OpenChild opened(new TComplect(station, *waiter));
    ASSERT_EQ(RequestTimes(0x21).size(), 1u);
    EXPECT_EQ(RequestTimes(0x21).front(), shown + 100'000);
}

TEST_P(EquipmentTest, FailedReadSaysNoAnswerAndTheWindowStaysOpen) {
    StartAnswered();
    Silence(1);
    StopAnswered();
    OpenChild opened(new TComplect(station, *waiter));
    auto& window = static_cast<TComplect&>(*opened.window);
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{Warning("Блок не отвечает!")});
    EXPECT_TRUE(Lines(window).empty());
    EXPECT_EQ(Requests(0x21), 1u);
    EXPECT_EQ(Requests(0x82), 1u);  // the connection is still ended
    EXPECT_EQ(station.connected, 0);
    QTest::qWait(20);
    EXPECT_EQ(opened.closes, 0);
    EXPECT_TRUE(window.isVisible());
}

TEST_P(EquipmentTest, FailedStopsAreReportedAfterTheList) {
    StartAnswered();
    EcuAnswers({LiveData(0x01, 0x00)});
    TComplect* window = new TComplect(station, *waiter);
    sink.note = [&](const platform::Report&) {
        return std::to_string(window->List_Compl->count());
    };
    OpenChild opened(window);
    EXPECT_EQ(sink.Reports(),
              std::vector<platform::Report>{Warning("Связь завершена не корректно!")});
    EXPECT_EQ(sink.Notes(), std::vector<std::string>{"1"});
    EXPECT_EQ(Requests(0x82), 10u);
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(EquipmentTest, FailedConnectionSaysNotInitialisedOnceShownAndCloses) {
    backend.refuseOpen = true;
    testing_support::ExpectNotInitialisedOnceShown(new TComplect(station, *waiter), sink);
    EXPECT_EQ(Requests(0x21), 0u);
}

class NoEcuTypeTest : public testing_support::FamilyOnScriptedLine {};
INSTANTIATE_TEST_SUITE_P(InvalidType, NoEcuTypeTest, testing::Values(5),
                         testing_support::FamilyName);

TEST_P(NoEcuTypeTest, EquipmentWithoutAValidTypeSaysNotChosenThenNoAnswer) {
    LeftOpen();
    OpenChild opened(new TComplect(station, *waiter));
    auto& window = static_cast<TComplect&>(*opened.window);
    const auto texts = sink.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Блок не выбран!");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Блок не отвечает!"), texts.end());
    EXPECT_TRUE(Lines(window).empty());
    EXPECT_EQ(backend.line.written, Bytes{0xAA});  // nothing to the ECU, the adapter byte at close
}

}  // namespace
