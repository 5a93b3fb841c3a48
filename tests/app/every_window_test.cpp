// Every window, work window and dialog the station shows, opened the way the user opens them
// against the simulated ECU of each family, in the fonts the program asks for: no text needs
// more room than its control gives it, lies under a neighbour or runs past its parent's edge,
// and every fixed text (titles, labels, buttons, items, headers, menus, messages) reads letter
// for letter as the user knows it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <map>

#include "app/about_box.h"
#include "app/comm_prop.h"
#include "app/ebu_prop.h"
#include "app/main_form.h"
#include "diag/catalogue.h"
#include "diag/poller.h"
#include "diag/ui/diag_form.h"
#include "diag/ui/diag_prop.h"
#include "link/line_commands.h"
#include "link/port.h"
#include "link/ui/waiter.h"
#include "services/fault_codes.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "sim/simulated_backend.h"
#include "tests/support/main_window.h"
#include "widgets/value_panel.h"

namespace {

constexpr int kWait = 10000;  // ms of real time before a wait gives up

// --- what a text needs ----------------------------------------------------------------------

QString Where(const QWidget* w) {
    QStringList path;
    for (const QWidget* p = w; p && !p->isWindow(); p = p->parentWidget())
        path.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className())
                                               : p->objectName());
    return path.join('/');
}

QString Size(QSize s) {
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

// The room one line of text takes: its advance across, its ink from top to bottom.
QSize LineNeeds(const QFontMetrics& metrics, const QString& text) {
    const QRect ink = metrics.tightBoundingRect(text);
    return {std::max(metrics.horizontalAdvance(text), ink.width()), ink.height()};
}

// Where one line of text leaves ink inside `room`: its line placed by `alignment`, the ink
// between the tallest letter and the lowest descender.
QRect LineInk(const QFontMetrics& metrics, const QString& text, Qt::Alignment alignment,
              Qt::LayoutDirection direction, const QRect& room) {
    const QSize needs = LineNeeds(metrics, text);
    const QRect line =
        QStyle::alignedRect(direction, alignment, QSize(needs.width(), metrics.height()), room);
    const QRect ink = metrics.tightBoundingRect(text);
    return {line.left(), line.top() + metrics.ascent() + ink.top(), needs.width(), ink.height()};
}

struct Measured {
    QSize needs;
    QRect room;  // in the widget
    QRect ink;   // where the text lands, in the parent
};

// A label's text in its contents rectangle, where its alignment puts it.
std::optional<Measured> MeasureLabel(const QLabel* label) {
    if (label->text().isEmpty() || !label->pixmap().isNull())
        return std::nullopt;
    const int m = label->margin();
    const QRect room = label->contentsRect().adjusted(m, m, -m, -m);
    if (label->wordWrap()) {
        const QSize needs =
            label->fontMetrics()
                .boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, label->text())
                .size();
        const QRect block = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                                needs.boundedTo(room.size()), room);
        return Measured{needs, room, block.translated(label->pos())};
    }
    // One line: its ink must lie inside the room, wherever the alignment puts the line.
    const QRect ink = LineInk(label->fontMetrics(), label->text(), label->alignment(),
                              label->layoutDirection(), room);
    const QRect inside = ink.intersected(room);
    const QSize needs(ink.width(), ink.height() + (ink.height() - inside.height()));
    return Measured{needs, room, ink.translated(label->pos())};
}

std::optional<Measured> MeasureButton(const QAbstractButton* button) {
    if (button->text().isEmpty())
        return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    int icon = 0;
    if (qobject_cast<const QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (!button->icon().isNull())
        icon = button->iconSize().width() + 4;
    const QRect room = button->style()->subElementRect(contents, &option, button);
    QSize needs = LineNeeds(button->fontMetrics(), button->text());
    needs.rwidth() += icon;
    return Measured{needs, room, button->geometry()};
}

// The edit field of a combo box against its longest item (and its current text).
std::optional<Measured> MeasureCombo(const QComboBox* combo) {
    QStringList texts = {combo->currentText()};
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    QSize needs;
    for (const QString& text : texts)
        needs = needs.expandedTo(LineNeeds(combo->fontMetrics(), text));
    QRect room;
    if (const QLineEdit* edit = combo->lineEdit()) {
        constexpr int kEditMargin = 2;  // QLineEdit's own space left and right of its text
        room = edit->geometry().adjusted(kEditMargin, 0, -kEditMargin, 0);
    } else {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        option.frame = combo->hasFrame();
        room = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                              QStyle::SC_ComboBoxEditField, combo);
    }
    return Measured{needs, room, combo->geometry()};
}

std::optional<Measured> MeasureGroupTitle(const QGroupBox* group) {
    if (group->title().isEmpty())
        return std::nullopt;
    constexpr int kTitleIndent = 8;  // the frame's corner on each side of the title
    const QRect room = group->rect().adjusted(kTitleIndent, 0, -kTitleIndent, 0);
    return Measured{LineNeeds(group->fontMetrics(), group->title()), room, group->geometry()};
}

// The shortfalls of one window: texts wider or taller than their room, texts under a
// sibling stacked above them, texts beyond their parent's edge.
QStringList Shortfalls(QWidget* window) {
    QStringList found;
    auto check = [&](QWidget* w, const std::optional<Measured>& m, const QString& text) {
        if (!m)
            return;
        if (m->needs.width() > m->room.width() || m->needs.height() > m->room.height())
            found << QStringLiteral("%1 \"%2\" needs %3, has %4")
                         .arg(Where(w), text, Size(m->needs), Size(m->room.size()));
        QWidget* parent = w->parentWidget();
        if (!parent->rect().contains(m->ink))
            found << QStringLiteral("%1 \"%2\" runs past its parent's edge").arg(Where(w), text);
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
            auto* above = qobject_cast<QWidget*>(siblings[i]);
            if (!above || above->isWindow() || !above->isVisibleTo(window))
                continue;
            // A bare frame or container paints nothing over what lies below it.
            const QByteArray kind = above->metaObject()->className();
            if ((kind == "QFrame" || kind == "QWidget") && !above->autoFillBackground())
                continue;
            if (above->geometry().intersects(m->ink))
                found
                    << QStringLiteral("%1 \"%2\" lies under %3").arg(Where(w), text, Where(above));
        }
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->isWindow())
            continue;
        if (auto* label = qobject_cast<QLabel*>(w))
            check(w, MeasureLabel(label), label->text());
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            check(w, MeasureButton(button), button->text());
        else if (auto* combo = qobject_cast<QComboBox*>(w))
            check(w, MeasureCombo(combo), combo->currentText());
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            check(w, MeasureGroupTitle(group), group->title());
        if (auto* header = qobject_cast<QHeaderView*>(w)) {
            const int margin =
                header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            for (int i = 0; i < header->count(); ++i) {
                const QString text =
                    header->model()->headerData(i, header->orientation()).toString();
                const int needs = header->fontMetrics().horizontalAdvance(text) + 2 * margin;
                if (needs > header->sectionSize(i))
                    found << QStringLiteral("%1 \"%2\" needs %3, has %4")
                                 .arg(Where(w), text)
                                 .arg(needs)
                                 .arg(header->sectionSize(i));
            }
        }
    }
    return found;
}

// --- the fixed texts a window shows ---------------------------------------------------------

// Whether `w` belongs to `window` itself, not to a dialog, menu or work window inside it.
bool PartOf(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (p == window)
            return true;
        if (p->isWindow() || qobject_cast<const QMdiSubWindow*>(p))
            return false;
    }
    return false;
}

// Titles, captions, items and headers in the order the window holds them; what the ECU or
// the catalogue supplies (panels, fields, rows, lists, the trim read) is not fixed and left
// out.
QStringList TextsOf(QWidget* w, QWidget* window) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        // A caption that leads the eye to its field ends in a run of dots as long as the
        // font makes it: the caption is the fixed text.
        QString text = label->text();
        while (label->buddy() && text.endsWith('.')) text.chop(1);
        return text.isEmpty() ? QStringList() : QStringList{text};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text().isEmpty() ? QStringList() : QStringList{button->text()};
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->title().isEmpty() ? QStringList() : QStringList{group->title()};
    QStringList items;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The connection dialog lists the ports this computer has after "COM1" and "COM2".
        const int fixed = qobject_cast<TComm_Prop*>(window) ? 2 : combo->count();
        for (int i = 0; i < std::min(fixed, combo->count()); ++i) items << combo->itemText(i);
    } else if (auto* list = qobject_cast<QListWidget*>(w);
               list && list->objectName() == "ListBox1") {
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    } else if (auto* header = qobject_cast<QHeaderView*>(w);
               header && header->isVisibleTo(window)) {
        for (int i = 0; i < header->count(); ++i)
            items << header->model()->headerData(i, header->orientation()).toString();
    }
    return items;
}

// The window's texts, then its menus: the main window's bar, a work window's context menus
// (not the frame's own system menu of a work window).
QStringList FixedTexts(QWidget* window) {
    QStringList texts = {window->windowTitle()};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (PartOf(w, window) && w->objectName() != QLatin1String("CurCo") &&
            !qobject_cast<widgets::stPanel*>(w->parentWidget()))
            texts << TextsOf(w, window);
    }
    if (auto* frame = qobject_cast<QMainWindow*>(window)) {
        for (QAction* top : frame->menuBar()->actions()) {
            texts << top->text();
            for (QAction* entry : top->menu()->actions())
                if (!entry->isSeparator())
                    texts << entry->text();
        }
        return texts;
    }
    const auto* child = qobject_cast<QMdiSubWindow*>(window);
    for (QMenu* menu : window->findChildren<QMenu*>())
        if (!child || menu != child->systemMenu())
            for (QAction* entry : menu->actions()) texts << entry->text();
    return texts;
}

// --- the fixed texts as the user knows them ------------------------------------------------

// Letter for letter: each window's title first, then its captions, buttons, items and
// headers in the order the window holds them, then its menus.
struct WindowTexts {
    const char* window;  // the window's object name
    int family;          // the ECU family the texts are shown for; -1: both
    std::vector<const char*> texts;
};

// clang-format off
const std::vector<WindowTexts> kWindowTexts = {
    {"MainForm", 0, {"Tavro KX4.2H", "Настройки", "Работа с ЭБУ", "Управление", "Помощь", "Выход",
        "Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок", "Сброс контроллера",
        "Сброс ошибок", "Файл", "Открыть запись...", "Закрыть запись", "Демонстрация", "Выход",
        "Настройки", "Группы", "Соединение", "Работа с ЭБУ",
        "Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок", "Помощь",
        "Руководство пользователя", "...О программе"}},
    {"MainForm", 1, {"Tavro KX4.2H", "Настройки", "Работа с ЭБУ", "Управление", "Помощь", "Выход",
        "Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок", "Сброс контроллера",
        "Сброс ошибок", "Комплектация", "Файл", "Открыть запись...", "Закрыть запись",
        "Демонстрация", "Выход", "Настройки", "Группы", "Соединение",
        "Работа с ЭБУ", "Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок",
        "Помощь", "Руководство пользователя", "...О программе"}},
    {"Section Выход", -1, {"Выход из программы"}},
    {"Section Настройки", -1, {"Группы", "Настройка соединения", "Тип блока управления"}},
    {"Section Помощь", -1, {"Руководство пользователя", "...О программе"}},
    {"Section Работа с ЭБУ", 0, {"Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок",
        "Сброс контроллера", "Сброс ошибок"}},
    {"Section Работа с ЭБУ", 1, {"Проверка адаптера", "Паспорт ЭБУ", "Диагностика", "Список ошибок",
        "Сброс контроллера", "Сброс ошибок", "Комплектация"}},
    {"Section Управление", -1, {"", "", ""}},
    {"AboutBox", -1, {"...О программе",
        "Стенд компьютерной диагностики электронного блока управления TAVRO KX 4.2H",
        "Версия 1.1.0", "OK"}},
    {"Comm_Prop", -1, {"Настройки соединения", "Порт для соединения с ЭБУ",
        "Задержка между запросами", "COM1", "COM2", "OK", "Cancel"}},
    {"Complect", 1, {"Комплектация"}},
    {"CorrCO", -1, {"Корректировка СО", "Текущая коррекция СО", "Новое значение коррекции", "Ok"}},
    {"Diag_form", -1, {"Диагностика ЭБУ", "1 группа", "2 группа", "3 группа", "4 группа",
        "5 группа", "Шире/Уже", "Управление", "Регулировка СО", "Начать запись"}},
    {"Diag_prop", -1, {"Настройка диагностики", "Выберите группу:", "1 группа", "2 группа",
        "3 группа", "4 группа", "5 группа", "Отображаемые датчики", "Доступные датчики", "Очистить",
        "Выход"}},
    {"EBU_prop", -1, {"Тип блока управления", "TAVRO - KX4.2", "КАРНЕЛ  -   5.1", "OK", "Cancel"}},
    {"Errors_form", -1, {"Ошибки ЭБУ", "Код ошибки", "Описание ошибки", "Текущая", "Сохраненная",
        "Копировать", "Сохранить отчёт..."}},
    {"Passport", -1, {"Паспорт ЭБУ", "Модель автомобиля", "Код программного обеспечения",
        "Код блока управления", "Система или двигатель", "Дата программирования", "Серийный номер",
        "Серийный номер программного обеспечения", "Код запасных частей", "Номер кузова",
        "Номер двигателя", "Дата изготовления", "Закрыть"}},
    {"Waiter", -1, {"Связь с ЭБУ...",
        "Пожалуйста подождите! Программа пытается связаться с ЭБУ. Если блок долго не отвечает - остановите процесс, проверьте адаптер и подсоединение ЭБУ и попробуйте еще раз.",
        "Остановить"}},
};
// clang-format on

const WindowTexts* ExpectedTexts(const std::string& window, int family) {
    for (const WindowTexts& row : kWindowTexts)
        if (row.window == window && (row.family < 0 || row.family == family))
            return &row;
    return nullptr;
}

// --- the station, and the windows as the user opens them ------------------------------------

struct Seen {
    QStringList shortfalls;
    QStringList texts;
};

class EveryWindow : public testing::TestWithParam<int>, protected testing_support::MainWindowOnSim {
  protected:
    EveryWindow() : MainWindowOnSim(GetParam()) {}
    void SetUp() override {
        // Codes both families describe, one only the first family knows, one neither does.
        backend.SetDtcs({{0x03, 0x40, 0x60},
                         {0x05, 0x05, 0x20},
                         {0x01, 0x30, 0x40},
                         {0x16, 0x03, 0x20},
                         {0x01, 0xA2, 0x00}});
        // Sixteen panels: every row of the diagnostics window.
        testing_support::ShowFirstParams(main.station.settings, Family(), 16);
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    }
    int Family() const { return GetParam(); }

    void Look(const QString& name, QWidget* window) {
        window->ensurePolished();
        seen[name] = {Shortfalls(window), FixedTexts(window)};
        const QString shots = qEnvironmentVariable("TAVRO_WINDOW_SHOTS");
        if (shots.isEmpty())
            return;
        const QString file = QStringLiteral("%1/%2-%3.png").arg(shots, name).arg(Family());
        if (window == &main.ConnectingDialog())
            ShootConnecting(file);
        else
            TakeShot(window, file);
    }
    // The connecting dialog as the user sees it: while the ECU keeps silent, until "Остановить".
    void ShootConnecting(const QString& file) {
        kline::TWaiter& waiter = main.ConnectingDialog();
        backend.SetFault(0x81, sim::Fault{sim::FaultKind::Silent});
        QTimer::singleShot(800, &waiter, [&waiter, file] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(file);
            waiter.BitBtn1->click();
        });
        waiter.ShowWaiter();
        backend.ClearInjectedFaults();
        sink.reports.clear();
    }
    // With TAVRO_WINDOW_SHOTS set (a folder), each window is also pictured as the desktop
    // shows it, frame and all: run under an X server with a window manager for the pictures
    // of the documentation.
    static void TakeShot(QWidget* window, const QString& file) {
        const bool wasHidden = !window->isVisible();
        if (wasHidden)
            window->show();
        window->raise();
        QTest::qWait(1000);  // mapped, framed and painted
        // The whole desktop, and the window alone with its frame.
        const QPixmap desktop = QGuiApplication::primaryScreen()->grabWindow(0);
        desktop.save(file);
        QString alone = file;
        alone.replace(QStringLiteral(".png"), QStringLiteral("-window.png"));
        desktop.copy(window->window()->frameGeometry()).save(alone);
        if (wasHidden)
            window->hide();
    }
    // Runs `code` from the menu; the dialog it shows modally is looked at once `ready` holds,
    // then closed.
    void LookAtDialog(
        uint8_t code, const QString& name, std::function<QDialog*()> dialog,
        std::function<bool(QDialog&)> ready = [](QDialog&) { return true; }) {
        QTimer look;
        bool looked = false;
        QObject::connect(&look, &QTimer::timeout, [&] {
            QDialog* shown = dialog();
            if (looked || !shown || QApplication::activeModalWidget() != shown || !ready(*shown))
                return;
            looked = true;
            Look(name, shown);
            shown->done(QDialog::Rejected);
        });
        look.start(2);
        main.RunMenuCommand(code);
        EXPECT_TRUE(looked) << name.toStdString();
    }
    // Runs `code`, waits for its work window to be `ready`, looks at it and closes it.
    template <class Child>
    void LookAtChild(uint8_t code, const QString& name, Child*& reference,
                     std::function<bool(Child&)> ready) {
        main.RunMenuCommand(code);
        ASSERT_NE(reference, nullptr) << name.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ready(*reference); }, kWait))
            << name.toStdString();
        Look(name, reference);
        reference->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return reference == nullptr; }, kWait));
    }

    std::map<QString, Seen> seen;
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, EveryWindow, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(EveryWindow, NoTextIsCutOffOrCoveredAndEveryFixedTextIsExact) {
    // Each section's entries; the main window itself with the longest section open.
    const std::pair<const char*, void (TMainForm::*)()> sections[] = {
        {"Section Настройки", &TMainForm::Label1Click},
        {"Section Управление", &TMainForm::Label4Click},
        {"Section Помощь", &TMainForm::Label6Click},
        {"Section Выход", &TMainForm::Label3Click},
        {"Section Работа с ЭБУ", &TMainForm::Label2Click}};
    for (const auto& [name, open] : sections) {
        (main.*open)();
        QStringList entries;
        for (int i = 0; i < main.ListBox1->count(); ++i) entries << main.ListBox1->item(i)->text();
        seen[QString::fromUtf8(name)] = {{}, entries};
    }
    Look("MainForm", &main);
    Look("Waiter", &main.ConnectingDialog());
    LookAtDialog(12, "Comm_Prop", [] { return Comm_Prop; });
    LookAtDialog(13, "EBU_prop", [] { return EBU_prop; });
    LookAtDialog(32, "AboutBox", [] { return AboutBox; });
    LookAtDialog(
        22, "Passport", [] { return services::Passport; },
        [](QDialog& d) {
            return !static_cast<services::TPassport&>(d).Auto_type->text().isEmpty();
        });
    LookAtChild<diag::TDiag_prop>(11, "Diag_prop", diag::Diag_prop,
                                  [](diag::TDiag_prop& w) { return w.List->count() > 0; });
    LookAtChild<services::TErrors_form>(
        24, "Errors_form", services::Errors_form, [](services::TErrors_form& w) {
            return !w.Grid->horizontalHeaderItem(0)->text().isEmpty();
        });
    if (Family() == 1)
        LookAtChild<services::TComplect>(
            27, "Complect", services::Complect,
            [](services::TComplect& w) { return w.List_Compl->count() > 0; });
    // The diagnostics window with sixteen panels showing values; from it the CO trim dialog.
    main.RunMenuCommand(23);
    ASSERT_NE(diag::Diag_form, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            const auto& panels = diag::Diag_form->Panels();
            return panels.size() == 16 &&
                   panels.back()->ValueLabel->text() != QStringLiteral("-10000");
        },
        kWait));
    Look("Diag_form", diag::Diag_form);
    QTimer trim;
    QObject::connect(&trim, &QTimer::timeout, [&] {
        services::TCorrCO& dialog = main.CoTrimDialog();
        if (QApplication::activeModalWidget() != &dialog || dialog.Timer1->isActive())
            return;
        trim.stop();
        Look("CorrCO", &dialog);
        dialog.done(1);
    });
    trim.start(2);
    diag::Diag_form->ComboBox1->setCurrentIndex(0);
    diag::Diag_form->ComboBox1Change();
    trim.stop();
    if (Family() == 0)  // it keeps no trim: the dialog says so and closes at once
        Look("CorrCO", &main.CoTrimDialog());
    EXPECT_TRUE(seen.count("CorrCO"));
    diag::Diag_form->close();
    ASSERT_TRUE(QTest::qWaitFor([] { return diag::Diag_form == nullptr; }, kWait));

    for (const auto& [name, window] : seen) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(window.shortfalls.isEmpty()) << window.shortfalls.join('\n').toStdString();
        if (qEnvironmentVariableIsSet("TAVRO_PRINT_TEXTS")) {
            std::printf("{\"%s\", %d, {\n", qPrintable(name), Family());
            for (const QString& text : window.texts) std::printf("    \"%s\",\n", qPrintable(text));
            std::printf("}},\n");
        }
        const WindowTexts* expected = ExpectedTexts(name.toStdString(), Family());
        if (!expected) {
            ADD_FAILURE() << "no expected texts for this window";
            continue;
        }
        std::vector<std::string> shown;
        for (const QString& text : window.texts) shown.push_back(text.toStdString());
        EXPECT_EQ(shown, std::vector<std::string>(expected->texts.begin(), expected->texts.end()));
    }
}

// The messages the station shows, letter for letter (typos the user knows included).
TEST(MessageTexts, EveryMessageLetterForLetter) {
    const std::pair<const char*, const char*> messages[] = {
        // clang-format off
        {kline::kNoEcuType, "Блок не выбран!"},
        {kline::kAdapterWorks, "Адаптер функционирует нормально!"},
        {kline::kAdapterFails, "Адаптер не функционирует! Проверьте правильность подсоединения питания и адаптера и повторите проверку!"},
        {kline::kEngineRunning, "Включен двигатель! Сброс выполняется только на выключеном двигателе!"},
        {kline::kResetDone, "Адаптер был удачно сброшен!"},
        {kline::kResetFailed, "Адаптер не был сброшен!"},
        {kline::kFaultsCleared, "Ошибки были удачно сброшены!"},
        {kline::kFaultsNotCleared, "Ощибки не были сброшены!"},
        {kline::kStopFailed, "Связь с адаптером завершена не корректно!!"},
        {kline::kPortBusy, "Данный порт уже занят другим приложением или не поддерживается!"},
        {kline::kPortReadSettingsFailed, "Ошибка при чтении параметров порта!"},
        {kline::kPortWriteSettingsFailed, "Ошибка при установлении параметров порта!"},
        {kline::kPortModemLinesFailed, "Ошибка при сбросе сигналов DTR и RTS!"},
        {kline::kPortReadTimeoutsFailed, "Ошибка при запросе временных интервалов порта!"},
        {kline::kPortWriteTimeoutsFailed, "Ошибка при установке временных интервалов порта!"},
        {settings::kLoadFailed, "Не удалось прочитать файл настроек!"},
        {settings::kSaveFailed, "Не удалось сохранить файл настроек!"},
        {platform::kAttention, "Внимание!"},
        {platform::kError, "Ошибка!"},
        {diag::kNoParamsChosen, "Вы не выбрали ни одного датчика! Настройте диагностику!"},
        {diag::kNotConnected, "Блок не инициализирован!"},
        {diag::kLinkNotEnded, "Связь с ЭБУ завершена не корректно!"},
        {diag::kPollingStopped, "Блок  не отвечает! Процесс снятия данных с датчиков прерван!"},
        {diag::kYes, "Да"},
        {diag::kNo, "Нет"},
        {services::kEcuSilent, "Блок не отвечает!"},
        {services::kTrimNotStored, "Не удалось сохранить результаты!"},
        {services::kExchangeNotEnded, "Обмен с блоком завершен не корректно!"},
        {services::kUnknownFault, "Неизвестный код ошибки"},
        // clang-format on
    };
    for (const auto& [shown, expected] : messages) EXPECT_STREQ(shown, expected);
}

}  // namespace
