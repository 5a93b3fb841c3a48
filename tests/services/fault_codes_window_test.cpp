// The fault list on a scripted line: its grid, the ten reads, the connection the window
// leaves open when the ECU does not answer, and the rows of both ECU families.
#include "services/ui/fault_codes_window.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTimer>

#include "tests/support/connecting.h"
#include "tests/support/serve_events.h"
#include "tests/support/work_window.h"

namespace {

using services::TErrors_form;
using testing_support::Bytes;
using testing_support::OpenChild;
using testing_support::Warning;

// A fault-code answer: SID 0x58, the count, then code bytes and status of each entry.
Bytes CodesAnswer(std::initializer_list<std::array<uint8_t, 3>> entries) {
    Bytes data{0x58, static_cast<uint8_t>(entries.size())};
    for (const auto& entry : entries) data.insert(data.end(), entry.begin(), entry.end());
    return data;
}

using Row = std::array<std::string, 4>;

class FaultListTest : public testing_support::FamilyOnScriptedLine {
  protected:
    Row RowOf(const TErrors_form& form, int row) const {
        Row cells;
        for (int column = 0; column < 4; ++column)
            cells[column] = form.Cell(column, row).toStdString();
        return cells;
    }
    std::vector<Row> Rows(const TErrors_form& form) const {
        std::vector<Row> rows;
        for (int row = 1; row < form.RowCount(); ++row) rows.push_back(RowOf(form, row));
        return rows;
    }
    // Reads the codes of `answer` over a fresh connection that ends properly.
    void Read(const Bytes& answer) {
        StartAnswered();
        EcuAnswers({answer});
        StopAnswered();
    }
    const Row header{"Код ошибки", "Описание ошибки", "Текущая", "Сохраненная"};
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, FaultListTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(FaultListTest, HasItsGrid) {
    TErrors_form form(station, *waiter);
    testing_support::ExpectNameAndTitle(form, "Errors_form", "Ошибки ЭБУ");
    EXPECT_EQ(form.widget(), form.Grid);
    QTableWidget* grid = form.Grid;
    EXPECT_EQ(grid->columnCount(), 4);
    EXPECT_EQ(form.RowCount(), 2);
    const int widths[] = {77, 385, 82, 86};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(grid->columnWidth(column), widths[column]);
    EXPECT_TRUE(grid->horizontalHeader()->isVisibleTo(grid));
    EXPECT_FALSE(grid->verticalHeader()->isVisibleTo(grid));  // no fixed column
    EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
    EXPECT_TRUE(grid->showGrid());
    for (QTimer* timer : {form.Timer1, form.Timer2}) {
        EXPECT_EQ(timer->interval(), 1);
        EXPECT_FALSE(timer->isActive());
    }
}

TEST_P(FaultListTest, NoCodesGiveTheHeaderAndOneEmptyRow) {
    Read(CodesAnswer({}));
    OpenChild opened(new TErrors_form(station, *waiter));
    auto& form = static_cast<TErrors_form&>(*opened.window);
    EXPECT_TRUE(form.isMaximized());
    EXPECT_TRUE(testing_support::ServeEventsUntil(
        [&] { return form.geometry() == opened.area.viewport()->rect(); }));
    EXPECT_EQ(form.RowCount(), 2);
    EXPECT_EQ(RowOf(form, 0), header);
    EXPECT_EQ(RowOf(form, 1), (Row{"", "", "", ""}));
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(FaultListTest, RowsShowCodeDescriptionAndBothStatusBits) {
    const bool first = GetParam() == 0;
    Read(CodesAnswer({{0x01, 0x30, 0x60},
                      {0x01, 0x30, 0x40},
                      {0x01, 0x30, 0x20},
                      {0x01, 0x30, 0x9F},
                      {0x16, 0x03, 0x00},
                      {0x16, 0x22, 0x00},
                      {0x01, 0xA2, 0x00}}));
    OpenChild opened(new TErrors_form(station, *waiter));
    auto& form = static_cast<TErrors_form&>(*opened.window);
    const std::string oxygen =
        first ? "Неверный сигнал датчика кислорода" : "Неизвестный код ошибки";
    const std::vector<Row> expected = {
        {"P0130", oxygen, "Да", "Да"},
        {"P0130", oxygen, "Да", "Нет"},
        {"P0130", oxygen, "Нет", "Да"},
        {"P0130", oxygen, "Нет", "Нет"},
        {"P1603", first ? "Ошибка EEPROM" : "Неизвестный код ошибки", "Нет", "Нет"},
        {"P1622", "Ошибка EEPROM", "Нет", "Нет"},
        {"P01A2", "Неизвестный код ошибки", "Нет", "Нет"},
    };
    EXPECT_EQ(Rows(form), expected);
    EXPECT_EQ(RowOf(form, 0), header);
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_P(FaultListTest, CellsCanBeSelectedButNotEdited) {
    Read(CodesAnswer({{0x01, 0x02, 0x60}}));
    OpenChild opened(new TErrors_form(station, *waiter));
    auto& form = static_cast<TErrors_form&>(*opened.window);
    const QTableWidgetItem* cell = form.Grid->item(0, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_FALSE(cell->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(cell->flags() & Qt::ItemIsSelectable);
}

TEST_P(FaultListTest, CountAboveWhatTheRecordHoldsListsEightyFourRows) {
    Bytes answer(255, 0);
    answer[0] = 0x58;
    answer[1] = 200;
    for (int i = 0; i < 84; ++i) {
        answer[2 + 3 * i] = 0x01;
        answer[3 + 3 * i] = 0x02;
        answer[4 + 3 * i] = 0x40;
    }
    Read(answer);
    OpenChild opened(new TErrors_form(station, *waiter));
    auto& form = static_cast<TErrors_form&>(*opened.window);
    EXPECT_EQ(form.RowCount(), 85);
    EXPECT_EQ(RowOf(form, 84)[0], "P0102");
    EXPECT_EQ(RowOf(form, 84)[2], "Да");
}

TEST_P(FaultListTest, FailedConnectionSaysNotInitialisedOnceShownAndCloses) {
    backend.refuseOpen = true;
    testing_support::ExpectNotInitialisedOnceShown(new TErrors_form(station, *waiter), sink);
    EXPECT_EQ(Requests(0x18), 0u);
}

TEST_P(FaultListTest, TenFailedReadsLeaveTheConnectionOpen) {
    StartAnswered();
    OpenChild opened(new TErrors_form(station, *waiter));
    ASSERT_TRUE(testing_support::ServeEventsUntil([&] { return opened.closes == 1; }));
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{Warning("Блок не отвечает!")});
    const auto times = RequestTimes(0x18);
    ASSERT_EQ(times.size(), 10u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 100'000);
    EXPECT_EQ(Requests(0x82), 0u);
    EXPECT_EQ(station.connected, 1);
    EXPECT_TRUE(station.port.IsOpen());
}

TEST_P(FaultListTest, NextFaultReadUsesTheConnectionLeftOpenAtOnce) {
    StartAnswered();
    {
        OpenChild opened(new TErrors_form(station, *waiter));
        ASSERT_TRUE(testing_support::ServeEventsUntil([&] { return opened.closes == 1; }));
    }
    ASSERT_EQ(station.connected, 1);
    const size_t written = backend.line.written.size();
    const int opens = backend.opens;
    const int64_t shown = clock.NowMicros();
    EcuAnswers({CodesAnswer({{0x03, 0x40, 0x60}})});
    StopAnswered();
    OpenChild opened(new TErrors_form(station, *waiter));
    auto& form = static_cast<TErrors_form&>(*opened.window);
    EXPECT_EQ(backend.opens, opens);  // no connecting dialog, no new port
    EXPECT_EQ(Requests(0x81), 1u);    // only the first window's wake-up
    // The first frame of the second window is the fault-code request, one delay later.
    ASSERT_GT(backend.line.written.size(), written + 3);
    EXPECT_EQ(backend.line.written[written + 3], 0x18);
    EXPECT_EQ(backend.line.writeTimes[written], shown + 100'000);
    EXPECT_EQ(RowOf(form, 1)[0], "P0340");
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(FaultListTest, FailedStopsAreReportedBeforeTheCodesAreListed) {
    StartAnswered();
    EcuAnswers({CodesAnswer({{0x03, 0x40, 0x60}})});
    TErrors_form* form = new TErrors_form(station, *waiter);
    sink.note = [&](const platform::Report&) { return form->Cell(0, 1).toStdString(); };
    OpenChild opened(form);
    EXPECT_EQ(sink.Reports(),
              std::vector<platform::Report>{Warning("Связь завершена не корректно!")});
    EXPECT_EQ(sink.Notes(), std::vector<std::string>{""});  // the grid was still empty
    EXPECT_EQ(form->Cell(0, 1), "P0340");
    EXPECT_EQ(Requests(0x82), 10u);
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
    EXPECT_EQ(opened.closes, 0);
}

TEST_P(FaultListTest, ReadsOnceEvenWhenShownAgain) {
    Read(CodesAnswer({{0x03, 0x40, 0x60}}));
    OpenChild opened(new TErrors_form(station, *waiter));
    opened.window->hide();
    opened.window->show();
    EXPECT_EQ(Requests(0x81), 1u);
    EXPECT_EQ(Requests(0x18), 1u);
    EXPECT_EQ(static_cast<TErrors_form&>(*opened.window).Cell(0, 1), "P0340");
}

}  // namespace
