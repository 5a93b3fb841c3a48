// The group editor window, offscreen inside an MDI area as the main window shows it: filling
// the lists, editing by double-clicks, "Очистить" and Esc, switching groups, a corrupt
// auto.ini, no ECU type, and the record written at exit.
#include "diag/ui/diag_prop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <fstream>
#include <iterator>
#include <vector>

#include "diag/catalogue.h"
#include "diag/groups.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace {

using diag::TDiag_prop;
using settings::Encode;

constexpr uint8_t kEmpty = 255;

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
    return texts;
}

class DiagPropTest : public testing::Test,
                     protected testing_support::StationOn<testing_support::ScriptedBackend> {
  protected:
    void SetUp() override { area.resize(900, 700); }
    // Opens the editor for `ecuType` as the main window does: a child of the MDI area that
    // shows itself maximised.
    void Open(int ecuType) {
        testing_support::UseFamily(station, ecuType);
        window = new TDiag_prop(station);
        area.addSubWindow(window);
        area.show();
        window->show();
        area.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
    }
    void TearDown() override { delete window; }

    // A user's double-click: the first click (press and release), then the double-click
    // event and its release.
    static void DoubleClickAt(QWidget* viewport, QPoint at) {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }
    void DoubleClick(QListWidget* list, int row) {
        ASSERT_LT(row, list->count());
        DoubleClickAt(list->viewport(), list->visualItemRect(list->item(row)).center());
    }
    // A double-click in the list's empty part below its last entry.
    void DoubleClickBelowEntries(QListWidget* list) {
        const int below =
            list->count() ? list->visualItemRect(list->item(list->count() - 1)).bottom() + 10 : 10;
        ASSERT_LT(below, list->viewport()->height());
        DoubleClickAt(list->viewport(), QPoint(20, below));
    }
    // A click on the item's round indicator (a radio button takes clicks on its indicator and
    // text only, not on the empty width the layout gives it).
    void ChooseGroup(int g) {
        QAbstractButton* item = window->GroupButtons->button(g);
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
    }
    // The names `List` shows for the stored entries of a group of the current ECU type.
    QStringList StoredNames(int t, int g) const {
        QStringList names;
        for (int index : diag::GroupEntries(station.settings, t, g))
            names << QString::fromStdString(diag::ParamName(station.Protocol(), index));
        return names;
    }
    void FillAllGroups() {
        for (int t = 0; t < 2; ++t)
            for (int g = 0; g < 5; ++g)
                for (int i = 0; i < 3; ++i) diag::AddToGroup(station.settings, t, g, 3 * g + i + t);
    }

    testing_support::RecordingSink sink;
    QMdiArea area;
    TDiag_prop* window = nullptr;
};

TEST_F(DiagPropTest, OpensMaximisedWithTheCatalogueAndTheFirstGroup) {
    diag::AddToGroup(station.settings, 0, 0, 12);
    diag::AddToGroup(station.settings, 0, 0, 3);
    Open(0);
    EXPECT_EQ(window->objectName(), "Diag_prop");
    EXPECT_EQ(window->windowTitle(), "Настройка диагностики");
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(diag::Diag_prop, window);
    ASSERT_EQ(window->List->count(), 29);
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(window->List->item(i)->text().toStdString(),
                  diag::ParamName(station.Protocol(), i));
    EXPECT_EQ(window->GroupButtons->checkedId(), 0);
    EXPECT_EQ(Texts(window->Active),
              (QStringList{"Угол опережения зажигания",
                           "Желаемая частота вращения коленвала на холостом ходу"}));
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(DiagPropTest, ControlsKeepTheirPlacesAndEdgesWhenMaximised) {
    Open(1);
    EXPECT_EQ(window->Group->title(), "Выберите группу:");
    EXPECT_EQ(window->Group->geometry(), QRect(8, 24, 209, 201));
    for (int g = 0; g < 5; ++g)
        EXPECT_EQ(window->GroupButtons->button(g)->text(), QString("%1 группа").arg(g + 1));
    EXPECT_EQ(window->Label1->text(), "Отображаемые датчики");
    EXPECT_EQ(window->Label1->pos(), QPoint(224, 2));
    EXPECT_EQ(window->Label2->text(), "Доступные датчики");
    EXPECT_EQ(window->Label2->pos(), QPoint(8, 232));
    for (const QLabel* label : {window->Label1, window->Label2}) {
        EXPECT_EQ(label->font().family(), "Arial");
        EXPECT_EQ(label->font().pixelSize(), 19);
    }
    EXPECT_EQ(window->BitBtn2->text(), "Очистить");
    EXPECT_EQ(window->BitBtn1->text(), "Выход");

    // The design client area is 554 x 466; stretched controls keep their distance to the edges.
    const QSize client = window->widget()->size();
    ASSERT_GT(client.width(), 554);
    ASSERT_GT(client.height(), 466);
    const QRect active = window->Active->geometry(), list = window->List->geometry();
    EXPECT_EQ(active.topLeft(), QPoint(219, 29));
    EXPECT_EQ(active.height(), 196);
    EXPECT_EQ(client.width() - (active.x() + active.width()), 554 - 547);
    EXPECT_EQ(list.topLeft(), QPoint(8, 258));
    EXPECT_EQ(client.width() - (list.x() + list.width()), 554 - 459);
    EXPECT_EQ(client.height() - (list.y() + list.height()), 466 - 460);
    EXPECT_EQ(window->BitBtn2->geometry(), QRect(client.width() - 82, 231, 75, 25));
    EXPECT_EQ(window->BitBtn1->geometry(),
              QRect(client.width() - 82, client.height() - 31, 75, 25));
    EXPECT_EQ(window->List->viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(window->Active->viewport()->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(DiagPropTest, TheSameParameterTwiceGivesTwoEntriesTwoSlotsAndACountOfTwo) {
    Open(0);
    DoubleClick(window->List, 5);
    DoubleClick(window->List, 5);
    const QString name = "Количество шагов регулятора холостого хода";
    EXPECT_EQ(Texts(window->Active), (QStringList{name, name}));
    const auto& slot_bytes = station.settings.groupLists[0][0];
    EXPECT_EQ(slot_bytes[0], 5);
    EXPECT_EQ(slot_bytes[1], 5);
    EXPECT_EQ(slot_bytes[2], kEmpty);
    EXPECT_EQ(station.settings.groupCounts[0][0], 2);
}

TEST_F(DiagPropTest, RemovingTheMiddleOfThreeKeepsTheOrderAndLeaves255InSlot2) {
    Open(1);
    ChooseGroup(1);
    for (int row : {0, 13, 33}) DoubleClick(window->List, row);
    DoubleClick(window->Active, 1);
    EXPECT_EQ(Texts(window->Active),
              (QStringList{"Температура охлаждающей жидкости", "Контрольная сумма ПЗУ"}));
    EXPECT_EQ(diag::GroupEntries(station.settings, 1, 1), (std::vector<int>{0, 33}));
    EXPECT_EQ(station.settings.groupLists[1][1][2], kEmpty);
    EXPECT_EQ(station.settings.groupCounts[1][1], 2);
}

TEST_F(DiagPropTest, ClearEmptiesOnlyTheEditedGroupOfTheCurrentEcuType) {
    FillAllGroups();
    Open(0);
    ChooseGroup(2);
    settings::SettingsRecord expected = station.settings;
    diag::ClearGroup(expected, 0, 2);
    QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(Encode(station.settings), Encode(expected));
    EXPECT_EQ(window->Active->count(), 0);
}

TEST_F(DiagPropTest, EscDoesWhatClearDoes) {
    FillAllGroups();
    Open(1);
    ChooseGroup(3);
    ASSERT_EQ(window->Active->count(), 3);
    settings::SettingsRecord expected = station.settings;
    diag::ClearGroup(expected, 1, 3);
    window->List->setFocus();
    QTest::keyClick(window->List, Qt::Key_Escape);
    EXPECT_EQ(Encode(station.settings), Encode(expected));
    EXPECT_EQ(window->Active->count(), 0);
}

TEST_F(DiagPropTest, TheSeventeenthAdditionIsIgnoredAndSlots16To28Stay255) {
    Open(0);
    ChooseGroup(4);
    for (int i = 0; i < 17; ++i) DoubleClick(window->List, i);
    EXPECT_EQ(window->Active->count(), 16);
    EXPECT_EQ(station.settings.groupCounts[0][4], 16);
    const auto& slot_bytes = station.settings.groupLists[0][4];
    for (int slot = 0; slot < 16; ++slot) EXPECT_EQ(slot_bytes[slot], slot);
    for (int slot = 16; slot < 29; ++slot) EXPECT_EQ(slot_bytes[slot], kEmpty) << slot;
}

TEST_F(DiagPropTest, SwitchingGroupShowsExactlyTheStoredGroupInSlotOrder) {
    for (int g = 0; g < 5; ++g)
        for (int i = 0; i <= g; ++i) diag::AddToGroup(station.settings, 1, g, 33 - 5 * g - i);
    diag::AddToGroup(station.settings, 0, 3, 0);  // the other type's groups are not shown
    Open(1);
    const auto before = Encode(station.settings);
    for (int g : {3, 0, 4, 1, 2, 0}) {
        ChooseGroup(g);
        EXPECT_EQ(window->GroupButtons->checkedId(), g);
        EXPECT_EQ(Texts(window->Active), StoredNames(1, g)) << "group " << g;
        EXPECT_EQ(window->Active->count(), g + 1);
    }
    EXPECT_EQ(Encode(station.settings), before);
}

TEST_F(DiagPropTest, ADoubleClickWithNothingHighlightedChangesNothing) {
    FillAllGroups();
    Open(0);
    const auto before = Encode(station.settings);
    DoubleClickBelowEntries(window->Active);
    window->List->clearSelection();
    window->ListDblClick();
    window->ActiveDblClick();
    EXPECT_EQ(Encode(station.settings), before);
    EXPECT_EQ(window->Active->count(), 3);

    // After a removal no entry is highlighted, though one of them is current.
    DoubleClick(window->Active, 0);
    const auto afterRemoval = Encode(station.settings);
    ASSERT_EQ(window->Active->count(), 2);
    DoubleClickBelowEntries(window->Active);
    EXPECT_EQ(Encode(station.settings), afterRemoval);
    EXPECT_EQ(window->Active->count(), 2);
}

TEST_F(DiagPropTest, ACorruptGroupShowsWithoutHarmAndKeepsItsBytesUntilEdited) {
    station.settings.groupLists[0][0].fill(250);
    station.settings.groupCounts[0][0] = 200;
    auto& second = station.settings.groupLists[0][1];
    second[0] = 3;
    second[1] = 29;  // one row beyond the catalogue of type 0
    station.settings.groupCounts[0][1] = 2;
    Open(0);
    const auto corrupt = Encode(station.settings);

    EXPECT_EQ(Texts(window->Active), QStringList(29, QString()));
    ChooseGroup(1);
    EXPECT_EQ(Texts(window->Active),
              (QStringList{"Желаемая частота вращения коленвала на холостом ходу", QString()}));
    ChooseGroup(0);
    DoubleClick(window->List, 3);  // 29 entries shown: no room for another
    EXPECT_EQ(Encode(station.settings), corrupt);
    EXPECT_EQ(window->Active->count(), 29);

    DoubleClick(window->Active, 28);
    EXPECT_EQ(window->Active->count(), 28);
    EXPECT_EQ(diag::GroupEntries(station.settings, 0, 0), std::vector<int>(28, 250));
    EXPECT_EQ(station.settings.groupLists[0][0][28], kEmpty);
    EXPECT_EQ(station.settings.groupCounts[0][0], 28);
    EXPECT_EQ(station.settings.groupLists[0][1], second);
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(DiagPropTest, WithNoEcuTypeTheListsStayEmptyAndEditsAreIgnored) {
    FillAllGroups();
    Open(7);
    EXPECT_EQ(sink.Reports(),
              (std::vector<platform::Report>{testing_support::Warning("Блок не выбран!")}));
    EXPECT_EQ(window->List->count(), 0);
    EXPECT_EQ(window->Active->count(), 0);
    const auto before = Encode(station.settings);
    ChooseGroup(2);
    QTest::mouseClick(window->BitBtn2, Qt::LeftButton);
    QTest::keyClick(window->Active, Qt::Key_Escape);
    window->ListDblClick();
    window->ActiveDblClick();
    EXPECT_EQ(Encode(station.settings), before);
    EXPECT_EQ(window->Active->count(), 0);
    EXPECT_EQ(sink.Reports().size(), 1u);
}

// The main window maximises a child as it shows it; the window still runs its show
// handler once.
TEST_F(DiagPropTest, ShownMaximisedAtOnceItFillsItsListsOnce) {
    diag::AddToGroup(station.settings, 1, 0, 2);
    testing_support::UseFamily(station, 1);
    window = new TDiag_prop(station);
    area.show();
    area.addSubWindow(window);
    window->showMaximized();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->List->count(), 34);
    EXPECT_EQ(Texts(window->Active), QStringList{"Положение дроссельной заслонки"});

    delete window;
    testing_support::UseFamily(station, -1);
    window = new TDiag_prop(station);
    area.addSubWindow(window);
    window->showMaximized();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

TEST_F(DiagPropTest, ExitClosesTheWindowAndTheEditsReachAutoIni) {
    Open(1);
    ChooseGroup(4);
    DoubleClick(window->List, 7);
    DoubleClick(window->List, 7);
    ChooseGroup(0);
    DoubleClick(window->List, 33);
    QSignalSpy closed(window, &kline::ChildWindow::closed);
    QTest::mouseClick(window->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("auto.ini").toStdString();
    ASSERT_TRUE(settings::SaveSettings(station.settings, path));
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(file.size(), 336u);
    EXPECT_EQ(file[145 + 4 * 29 + 0], 7);  // type 1, group 4, slot_bytes 0 and 1
    EXPECT_EQ(file[145 + 4 * 29 + 1], 7);
    EXPECT_EQ(file[145 + 4 * 29 + 2], kEmpty);
    EXPECT_EQ(file[145 + 0], 33);     // type 1, group 0, slot 0
    EXPECT_EQ(file[290 + 5 + 4], 2);  // their counts
    EXPECT_EQ(file[290 + 5 + 0], 1);
    for (int b = 0; b < 145; ++b) EXPECT_EQ(file[b], kEmpty) << b;  // type 0 untouched
}

TEST_F(DiagPropTest, ReopeningStartsAgainOnTheFirstGroup) {
    diag::AddToGroup(station.settings, 0, 0, 1);
    Open(0);
    ChooseGroup(3);
    window->close();
    delete window;
    EXPECT_EQ(diag::Diag_prop, nullptr);
    window = new TDiag_prop(station);
    area.addSubWindow(window);
    window->show();
    EXPECT_EQ(window->GroupButtons->checkedId(), 0);
    EXPECT_EQ(Texts(window->Active), QStringList{"Частота вращения коленвала"});
}

}  // namespace
