// The main window offscreen: sections, the command list by mouse and keys, the menu, work
// windows, the panel's place, the first placement and the settings written at exit.
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWindow>
#include <vector>

#include "tests/app/app_fixture.h"
#include "window_kit/child_window.h"

namespace {

using app_test::AppTest;

const char* const kNoEcuType = "Блок не выбран!";

// A work window that does nothing but count its close handling.
class TestChild final : public kline::ChildWindow {
  public:
    int closings = 0;

  protected:
    void FormClose() override { ++closings; }
};

TEST_F(AppTest, StartsWithTheLayoutOfTheMainWindow) {
    TMainForm& f = Open();
    EXPECT_EQ(MainForm, &f);
    EXPECT_EQ(f.objectName(), "MainForm");
    EXPECT_EQ(f.windowTitle(), "Tavro KX4.2H");
    EXPECT_EQ(f.size(), QSize(600, 400));
    EXPECT_EQ(f.minimumSize(), QSize(600, 400));
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(f.Panel1->parentWidget(), f.MdiArea->viewport());
    EXPECT_EQ(f.Panel1->size(), QSize(534, 313));
    EXPECT_EQ(f.ListBox1->count(), 0);
    EXPECT_EQ(f.Timer1->interval(), 25);
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.NavigationCode(), 0);

    struct Section {
        QLabel* label;
        const char* text;
        int top;
        Qt::CursorShape cursor;
    };
    for (const Section& s : {Section{f.Label1, "Настройки", 16, Qt::PointingHandCursor},
                             Section{f.Label2, "Работа с ЭБУ", 56, Qt::PointingHandCursor},
                             Section{f.Label4, "Управление", 96, Qt::ArrowCursor},
                             Section{f.Label6, "Помощь", 136, Qt::PointingHandCursor},
                             Section{f.Label3, "Выход", 176, Qt::PointingHandCursor}}) {
        SCOPED_TRACE(s.text);
        EXPECT_EQ(s.label->text(), QString::fromUtf8(s.text));
        EXPECT_EQ(s.label->pos(), QPoint(16, s.top));
        EXPECT_EQ(s.label->font().family(), "Palatino Linotype");
        EXPECT_EQ(s.label->font().pixelSize(), 27);
        EXPECT_EQ(s.label->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        EXPECT_EQ(s.label->cursor().shape(), s.cursor);
    }
}

struct SectionCase {
    const char* name;
    QLabel* TMainForm::*label;
    int code;
    QStringList entries;
};

TEST_F(AppTest, EachSectionListsItsEntries) {
    const SectionCase cases[] = {
        {"settings",
         &TMainForm::Label1,
         10,
         {"Группы", "Настройка соединения", "Тип блока управления"}},
        {"help", &TMainForm::Label6, 30, {"Руководство пользователя", "...О программе"}},
        {"exit", &TMainForm::Label3, 40, {"Выход из программы"}},
        {"control", &TMainForm::Label4, 50, {"", "", ""}},
    };
    TMainForm& f = Open();
    Shown();
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClickLabel(f.*c.label);
        EXPECT_EQ(f.NavigationCode(), c.code);
        EXPECT_EQ(Entries(), c.entries);
        EXPECT_EQ(f.ListBox1->selectedItems().size(), 0);
    }
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_TRUE(user.seen.empty());
}

TEST_F(AppTest, EntriesAre24PixelsHighAcrossTheList) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label1);
    const QRect rect = f.ListBox1->visualItemRect(f.ListBox1->item(1));
    EXPECT_EQ(rect.height(), 24);
    EXPECT_EQ(rect.top(), 24);
    EXPECT_GE(rect.width(), f.ListBox1->viewport()->width() - 2);
}

const QStringList kEcuEntries = {"Проверка адаптера", "Паспорт ЭБУ",       "Диагностика",
                                 "Список ошибок",     "Сброс контроллера", "Сброс ошибок"};

TEST_F(AppTest, WorkWithEcuListsEquipmentForTheSecondFamilyOnly) {
    record.ecuType = 0;
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label2);
    EXPECT_EQ(f.NavigationCode(), 20);
    EXPECT_EQ(Entries(), kEcuEntries);

    f.station.settings.ecuType = 1;
    f.station.BuildProtocol();
    ClickLabel(f.Label2);
    EXPECT_EQ(Entries(), kEcuEntries + QStringList{"Комплектация"});
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(AppTest, WorkWithEcuWithoutEcuTypeSaysSoOnceAndListsSixEntries) {
    record.ecuType = static_cast<int8_t>(255);
    TMainForm& f = Open();
    Shown();
    // What the user sees behind the message: the section already open and refilled.
    struct ListAtMessage final : platform::MessageSink {
        std::function<void(const platform::Report&)> look;
        void Show(const platform::Report& report) override { look(report); }
    } atMessage;
    QStringList behind;
    int codeBehind = -1;
    atMessage.look = [&](const platform::Report& report) {
        behind = Entries();
        codeBehind = f.NavigationCode();
        sink.Show(report);
    };
    platform::UseMessageSink(&atMessage);
    ClickLabel(f.Label2);
    platform::UseMessageSink(&sink);
    EXPECT_EQ(Entries(), kEcuEntries);
    EXPECT_EQ(behind, kEcuEntries);
    EXPECT_EQ(codeBehind, 20);
    const platform::Report expected{kNoEcuType, "Внимание!", platform::Icon::Warning};
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{expected});
}

TEST_F(AppTest, UsersGuideDoesNothingFromListOrMenu) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label6);
    ClickEntry(0);
    EXPECT_EQ(f.NavigationCode(), 30);
    f.N12->trigger();
    QTest::qWait(20);
    EXPECT_EQ(f.NavigationCode(), 30);
    EXPECT_TRUE(NavigationShown());
    EXPECT_TRUE(user.seen.empty());
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(Entries().size(), 2);
}

TEST_F(AppTest, ControlEntriesAreEmptyAndDoNothing) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label4);
    for (int row = 0; row < 3; ++row) {
        ClickEntry(row);
        EXPECT_TRUE(f.ListBox1->item(row)->isSelected());
        EXPECT_EQ(f.NavigationCode(), 50);
    }
    QTest::qWait(20);
    EXPECT_TRUE(NavigationShown());
    EXPECT_TRUE(user.seen.empty());
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(backend.opens, 0);
    EXPECT_TRUE(f.isVisible());
}

TEST_F(AppTest, EnterWithoutSelectionRunsNothingEvenWhenTheListGainsFocus) {
    TMainForm& f = Open();
    Shown();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    ClickLabel(f.Label6);
    f.ListBox1->setFocus(Qt::TabFocusReason);  // must not make an entry current by itself
    ASSERT_TRUE(f.ListBox1->hasFocus());
    QTest::keyClick(f.ListBox1, Qt::Key_Return);
    QTest::keyClick(f.ListBox1, Qt::Key_Enter);
    QTest::qWait(20);
    EXPECT_EQ(f.ListBox1->selectedItems().size(), 0);
    EXPECT_TRUE(user.seen.empty());
    EXPECT_EQ(f.NavigationCode(), 30);
    // The first arrow key then selects the first entry, not the second ("...О программе").
    QTest::keyClick(f.ListBox1, Qt::Key_Down);
    EXPECT_TRUE(f.ListBox1->item(0)->isSelected());
    EXPECT_TRUE(user.seen.empty());
}

TEST_F(AppTest, ArrowKeysRunEachEntryThatBecomesSelectedAndEnterRunsItAgain) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label6);
    f.ListBox1->setFocus();
    QTest::keyClick(f.ListBox1, Qt::Key_Down);  // "Руководство пользователя": nothing
    EXPECT_TRUE(f.ListBox1->item(0)->isSelected());
    QTest::keyClick(f.ListBox1, Qt::Key_Down);  // "...О программе"
    QTest::keyClick(f.ListBox1, Qt::Key_Up);
    QTest::keyClick(f.ListBox1, Qt::Key_Down);
    QTest::keyClick(f.ListBox1, Qt::Key_Return);
    EXPECT_EQ(user.seen,
              (std::vector<QString>{"...О программе", "...О программе", "...О программе"}));
    EXPECT_EQ(f.NavigationCode(), 30);

    ClickLabel(f.Label1);
    ClickEntry(2);                              // "Тип блока управления"
    QTest::keyClick(f.ListBox1, Qt::Key_Up);    // "Настройка соединения"
    QTest::keyClick(f.ListBox1, Qt::Key_Down);  // "Тип блока управления"
    EXPECT_EQ(std::vector<QString>(user.seen.begin() + 3, user.seen.end()),
              (std::vector<QString>{"Тип блока управления", "Настройки соединения",
                                    "Тип блока управления"}));
    EXPECT_EQ(f.NavigationCode(), 10);
    EXPECT_TRUE(NavigationShown());
}

TEST_F(AppTest, ClickOnTheSelectedEntryRunsItAgain) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label6);
    ClickEntry(1);
    ClickEntry(1);
    ClickEntry(0);
    EXPECT_EQ(user.seen, (std::vector<QString>{"...О программе", "...О программе"}));
}

TEST_F(AppTest, MenuCommandLeavesTheListsSectionWorking) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label1);
    f.N8->trigger();  // "Проверка адаптера": reaches the port, shows its verdict
    EXPECT_EQ(backend.openedNames, std::vector<std::string>{"COM1"});
    EXPECT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(f.NavigationCode(), 10);
    EXPECT_TRUE(NavigationShown());

    ClickEntry(1);  // still "Настройка соединения", not a command of "Работа с ЭБУ"
    ClickEntry(2);
    EXPECT_EQ(user.seen, (std::vector<QString>{"Настройки соединения", "Тип блока управления"}));
    f.N8->trigger();
    ClickEntry(0);  // "Группы" opens the group editor, not the adapter check again
    EXPECT_EQ(backend.openedNames.size(), 2u);
    ASSERT_EQ(f.MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(f.MdiArea->subWindowList().first()->objectName(), "Diag_prop");
    EXPECT_TRUE(NavigationHidden());
}

// The menu bar, left to right, with each top menu's entries and the members that hold them.
TEST_F(AppTest, MainMenuOffersItsEntriesInOrder) {
    struct Entry {
        QAction* TMainForm::*member;
        const char* name;
        const char* text;
    };
    struct Top {
        QMenu* TMainForm::*member;
        const char* name;
        const char* text;
        std::vector<Entry> entries;
    };
    const Top tops[] = {
        {&TMainForm::N1,
         "N1",
         "Файл",
         {{&TMainForm::OpenRecordingItem, "OpenRecordingItem", "Открыть запись..."},
          {&TMainForm::CloseRecordingItem, "CloseRecordingItem", "Закрыть запись"},
          {&TMainForm::DemonstrationItem, "DemonstrationItem", "Демонстрация"},
          {&TMainForm::N5, "N5", "Выход"}}},
        {&TMainForm::N2,
         "N2",
         "Настройки",
         {{&TMainForm::N6, "N6", "Группы"}, {&TMainForm::N7, "N7", "Соединение"}}},
        {&TMainForm::N3,
         "N3",
         "Работа с ЭБУ",
         {{&TMainForm::N8, "N8", "Проверка адаптера"},
          {&TMainForm::N9, "N9", "Паспорт ЭБУ"},
          {&TMainForm::N10, "N10", "Диагностика"},
          {&TMainForm::N11, "N11", "Список ошибок"}}},
        {&TMainForm::N4,
         "N4",
         "Помощь",
         {{&TMainForm::N12, "N12", "Руководство пользователя"},
          {&TMainForm::N13, "N13", "...О программе"}}},
    };
    TMainForm& f = Open();
    const QList<QAction*> bar = f.menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(tops[i].name);
        QMenu* menu = bar[i]->menu();
        EXPECT_EQ(menu, f.*tops[i].member);
        EXPECT_EQ(menu->objectName(), tops[i].name);
        EXPECT_EQ(menu->title(), QString::fromUtf8(tops[i].text));
        QList<QAction*> actions = menu->actions();
        actions.removeIf([](const QAction* action) { return action->isSeparator(); });
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(tops[i].entries.size()));
        for (size_t j = 0; j < tops[i].entries.size(); ++j) {
            const Entry& entry = tops[i].entries[j];
            EXPECT_EQ(actions[j], f.*entry.member);
            EXPECT_EQ(actions[j]->objectName(), entry.name);
            EXPECT_EQ(actions[j]->text(), QString::fromUtf8(entry.text));
        }
    }
}

TEST_F(AppTest, ExitClosesTheWindowFromListAndMenu) {
    TMainForm& f = Open();
    Shown();
    ClickLabel(f.Label3);
    ClickEntry(0);
    EXPECT_FALSE(f.isVisible());
    Shown();
    f.N5->trigger();
    EXPECT_FALSE(f.isVisible());
}

TEST_F(AppTest, NavigationIsHiddenWhileAChildIsOpenAndBackAfterTheTimer) {
    TMainForm& f = Open();
    Shown();
    QPointer<TestChild> child = new TestChild;
    f.OpenChild(child);
    EXPECT_TRUE(NavigationHidden());
    EXPECT_TRUE(child->isVisible());
    EXPECT_TRUE(child->isMaximized());
    EXPECT_EQ(f.MdiArea->subWindowList().size(), 1);

    QElapsedTimer elapsed;
    elapsed.start();
    child->close();
    EXPECT_EQ(child->closings, 1);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_TRUE(NavigationHidden());  // the child is destroyed only after its close handling
    ASSERT_FALSE(child.isNull());

    QTRY_VERIFY_WITH_TIMEOUT(NavigationShown(), 1000);
    EXPECT_GE(elapsed.elapsed(), 20);
    EXPECT_TRUE(child.isNull());
    EXPECT_TRUE(f.MdiArea->subWindowList().isEmpty());
    EXPECT_FALSE(f.Timer1->isActive());
}

// 600 x 400 is the window with its frame; the panel is centred in what the frame leaves.
TEST_F(AppTest, FirstSizeIsTheOuterSizeFrameIncluded) {
    TMainForm& f = Open();
    Shown();
    const QMargins frame = f.windowHandle()->frameMargins();
    ASSERT_FALSE(frame.isNull()) << "the platform draws no frame";
    EXPECT_EQ(f.frameGeometry().size(), QSize(600, 400));
    EXPECT_EQ(f.minimumSize(), f.size());
    EXPECT_EQ(f.Panel1->pos(), PanelOrigin(f.MdiArea->size(), f.Panel1->size()));
}

TEST_F(AppTest, AfterDiagnosticsTheWindowIsResizableAgainAtItsSavedSize) {
    TMainForm& f = Open();
    Shown();
    f.resize(640, 480);
    // What the diagnostics window does: it saves the size and widens the fixed frame.
    f.FixBorder();
    f.station.settings.savedWidth = f.width();
    f.station.settings.savedHeight = f.height();
    f.ResizeWindow(760, 520);
    EXPECT_EQ(f.size(), QSize(760, 520));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    QPointer<TestChild> child = new TestChild;
    f.OpenChild(child);
    child->close();
    QTRY_VERIFY_WITH_TIMEOUT(NavigationShown(), 1000);
    EXPECT_FALSE(f.BorderFixed());
    EXPECT_EQ(f.size(), QSize(640, 480));
    EXPECT_EQ(f.minimumSize(), QSize(600, 400).shrunkBy(f.windowHandle()->frameMargins()));
    EXPECT_EQ(f.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

TEST_F(AppTest, ClosingTheMainWindowClosesTheChildFirst) {
    TMainForm& f = Open();
    Shown();
    QPointer<TestChild> child = new TestChild;
    f.OpenChild(child);
    f.close();
    EXPECT_EQ(child->closings, 1);
    form.reset();  // destroying the main window takes the child with it
    EXPECT_TRUE(child.isNull());
}

TEST(PanelOriginTest, CentresAcrossAndSitsAboveTheMiddle) {
    EXPECT_EQ(PanelOrigin({592, 346}, {534, 313}), QPoint(29, 15));
    EXPECT_EQ(PanelOrigin({1000, 700}, {534, 313}), QPoint(233, 77));
    // Smaller than the panel: the divisions truncate towards zero.
    EXPECT_EQ(PanelOrigin({500, 300}, {534, 313}), QPoint(-17, 8));
}

TEST_F(AppTest, PanelFollowsEveryResizeOfTheClientArea) {
    TMainForm& f = Open();
    Shown();
    const QSize frame = f.size() - f.MdiArea->size();
    f.resize(QSize(1000, 700) + frame);
    ASSERT_EQ(f.MdiArea->size(), QSize(1000, 700));
    EXPECT_EQ(f.Panel1->pos(), QPoint(233, 77));
    EXPECT_EQ(f.Panel1->size(), QSize(534, 313));
    f.resize(QSize(700, 500) + frame);
    EXPECT_EQ(f.Panel1->pos(), PanelOrigin(f.MdiArea->size(), {534, 313}));
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

TEST_F(AppTest, FirstRunWithoutSettingsFileStartsAtTheCornerAndWritesTheWholeFile) {
    TMainForm& f = OpenWithoutWriting();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Не удалось прочитать файл настроек!"});
    EXPECT_EQ(f.station.Protocol().EcuType(), 0);
    Shown();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    EXPECT_EQ(f.windowState(), Qt::WindowNoState);
    form.reset();

    std::vector<uint8_t> expected(290, 255);
    expected.resize(300, 0);
    for (char c : std::string("COM1\0\0\0\0", 8)) expected.push_back(static_cast<uint8_t>(c));
    for (uint8_t b : {250, 0, 0, 0}) expected.push_back(b);
    expected.resize(336, 0);  // top, left, saved size, state, ECU type 0: all zero
    EXPECT_EQ(FileBytes(path), expected);
    EXPECT_EQ(sink.Texts().size(), 1u);
}

TEST_F(AppTest, FirstActivationTakesThePlaceFromTheRecordAndLaterOnesDoNot) {
    record.windowTop = 50;
    record.windowLeft = 70;
    TMainForm& f = Open();
    Shown();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_EQ(f.pos(), QPoint(70, 50));
    f.move(120, 90);
    f.FormActivate();
    EXPECT_EQ(f.pos(), QPoint(120, 90));
    form.reset();
    const settings::SettingsRecord saved = [&] {
        settings::SettingsRecord r;
        EXPECT_TRUE(settings::LoadSettings(r, path));
        return r;
    }();
    EXPECT_EQ(saved.windowLeft, 120);
    EXPECT_EQ(saved.windowTop, 90);
    EXPECT_EQ(saved.windowState, 0);
}

TEST_F(AppTest, MaximisedRecordOpensMaximisedAndIsSavedSo) {
    record.windowState = 2;
    TMainForm& f = Open();
    Shown();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    EXPECT_TRUE(f.isMaximized());
    form.reset();
    settings::SettingsRecord saved;
    ASSERT_TRUE(settings::LoadSettings(saved, path));
    EXPECT_EQ(saved.windowState, 2);
}

TEST_F(AppTest, SettingsChangedDuringTheRunReachTheFileAtExit) {
    record.requestDelay = 400;
    record.groupLists[1][2][0] = 7;
    record.groupCounts[1][2] = 1;
    record.reserved1 = {1, 2, 3};  // written back as read
    TMainForm& f = Open();
    EXPECT_EQ(f.station.RequestDelay(), 400);
    f.station.settings.requestDelay = 150;
    form.reset();
    settings::SettingsRecord saved;
    ASSERT_TRUE(settings::LoadSettings(saved, path));
    EXPECT_EQ(saved.requestDelay, 150);
    EXPECT_EQ(saved.groupLists[1][2][0], 7);
    EXPECT_EQ(saved.groupCounts[1][2], 1);
    EXPECT_EQ(saved.reserved1, (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(AppTest, SettingsThatCannotBeWrittenAreReported) {
    path = dir.filePath("missing/auto.ini").toStdString();
    OpenWithoutWriting();
    form.reset();
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Не удалось прочитать файл настроек!",
                                                      "Не удалось сохранить файл настроек!"}));
}

}  // namespace
