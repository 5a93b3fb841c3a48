// An impatient user against the whole station, with the input posted as the window system
// posts it, so that it waits in the queue while the station waits for a worker: a double
// click on "Остановить", Esc pressed twice, the connecting dialog minimised and restored
// while it tries a silent ECU, a group chosen and a close click while the diagnostics window
// is still stopping its poller. The station keeps running, ends normally when its main window
// is closed and writes auto.ini.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

#include "app/comm_prop.h"
#include "app/ebu_prop.h"
#include "diag/poller.h"
#include "diag/ui/diag_form.h"
#include "link/ui/waiter.h"
#include "services/ui/passport_window.h"
#include "tests/reliability/script.h"
#include "tests/reliability/station_rig.h"
#include "tests/reliability/user_input.h"
#include "widgets/value_panel.h"
#include "window_kit/qt_message_sink.h"

namespace {

using reliability::Script;
using reliability::StationRig;

// Entries of "Работа с ЭБУ".
constexpr int kPassport = 1;     // "Паспорт ЭБУ"
constexpr int kDiagnostics = 2;  // "Диагностика"
constexpr int kClearFaults = 5;  // "Сброс ошибок"

class ImpatientUser : public testing::Test {
  protected:
    void SetUp() override {
        rig.Start(reliability::RigSettings(1));
        // The station has read auto.ini; it must write it anew at the end.
        QFile::remove(QString::fromStdString(rig.path));
    }

    TMainForm& Form() { return rig.Form(); }
    bool WaiterTrying(int opens) {
        return kline::Waiter->isVisible() && rig.backend.Port().opens >= opens;
    }
    static QMessageBox* MessageBox() {
        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    }
    diag::TDiag_form* Polling() {
        return diag::Diag_form && diag::Diag_form->Polling() ? diag::Diag_form : nullptr;
    }

    // Clicks entry `row` of the navigation's list.
    void ClickEntry(int row) {
        QListWidget* list = Form().ListBox1;
        user_input::Click(list->viewport(), list->visualItemRect(list->item(row)).center());
    }
    // Clicks the section label, then entry `row` of the list it fills.
    void OpenEntry(QLabel* TMainForm::*section, int row) {
        script.Then(
            "section", [&] { return Form().isVisible(); },
            [this, section] { user_input::Click(Form().*section); });
        script.Then(
            "entry", [this, row] { return Form().ListBox1->count() > row; },
            [this, row] { ClickEntry(row); });
    }
    // "Работа с ЭБУ", then "Диагностика".
    void OpenDiagnostics() { OpenEntry(&TMainForm::Label2, kDiagnostics); }
    // Confirms the message box that comes up next and keeps its text.
    void Confirm() {
        script.Then(
            "message box", [&] { return MessageBox() != nullptr; },
            [&] {
                reported.push_back(MessageBox()->text().toStdString());
                user_input::Key(Qt::Key_Return, {}, MessageBox());
            });
    }
    // Closes the main window by its close box once the navigation is back.
    void CloseStation() {
        script.Then(
            "navigation back",
            [&] { return Form().Panel1->isVisible() && Form().MdiArea->subWindowList().isEmpty(); },
            [&] { user_input::CloseBox(&Form()); });
        script.Then(
            "station closed", [&] { return !Form().isVisible(); }, [] {});
    }
    // Runs the course, ends the station and checks what a normal end leaves.
    void RunAndEnd() {
        ASSERT_TRUE(script.Run()) << "stuck at: " << script.Stuck();
        const kline::Station& station = rig.Station();
        EXPECT_EQ(station.connected, 0);
        EXPECT_EQ(station.connecting, 0);
        EXPECT_FALSE(rig.backend.Port().open);
        rig.End();
        EXPECT_EQ(rig.FileBytes().size(), size_t{settings::kRecordSize}) << "auto.ini not written";
    }

    kline::QtMessageSink messages;
    // At the line's real pace: after "Остановить" the worker still ends its attempt, which
    // takes a good part of a second with a silent ECU, and the user's input comes meanwhile.
    StationRig rig{1, true};
    Script script;
    std::vector<std::string> reported;
};

using SilentEcu = ImpatientUser;

TEST_F(SilentEcu, DoubleClickOnStop) {
    rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
    OpenDiagnostics();
    script.Then(
        "trying", [&] { return WaiterTrying(2); },
        [&] { user_input::DoubleClick(kline::Waiter->BitBtn1); });
    Confirm();
    CloseStation();
    RunAndEnd();
    EXPECT_EQ(reported, std::vector<std::string>{diag::kNotConnected});
}

TEST_F(SilentEcu, EscPressedTwice) {
    rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
    OpenDiagnostics();
    script.Then(
        "trying", [&] { return WaiterTrying(2); },
        [&] {
            user_input::Key(Qt::Key_Escape, {}, kline::Waiter);
            user_input::Key(Qt::Key_Escape, {}, kline::Waiter);
        });
    // The second Esc reaches the message box that follows, or nothing.
    script.Then(
        "message box or closed", [&] { return MessageBox() || Form().Panel1->isVisible(); },
        [&] {
            if (MessageBox())
                user_input::Key(Qt::Key_Return, {}, MessageBox());
        });
    CloseStation();
    RunAndEnd();
}

// Counts the shows the window system gives a window (a restore from minimised is one).
class ShowCounter final : public QObject {
  public:
    explicit ShowCounter(QWidget* window) { window->installEventFilter(this); }
    int shows = 0;

  private:
    bool eventFilter(QObject*, QEvent* event) override {
        shows += event->type() == QEvent::Show && event->spontaneous();
        return false;
    }
};

// The close box clicked as the first message of "Сброс ошибок" is confirmed: the command
// still says its last word over an open station, and the station closes after it.
TEST_F(SilentEcu, CloseBoxBetweenACommandsMessagesWaitsForTheCommand) {
    rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
    OpenEntry(&TMainForm::Label2, kClearFaults);
    script.Then(
        "trying", [&] { return WaiterTrying(2); },
        [&] { user_input::Click(kline::Waiter->BitBtn1); });
    script.Then(
        "first message", [&] { return MessageBox() != nullptr; },
        [&] {
            reported.push_back(MessageBox()->text().toStdString());
            user_input::Key(Qt::Key_Return, {}, MessageBox());
            user_input::CloseBox(&Form());
        });
    bool openUnderTheLast = false;
    script.Then(
        "last message", [&] { return MessageBox() != nullptr && reported.size() == 1; },
        [&] {
            openUnderTheLast = Form().isVisible();
            reported.push_back(MessageBox()->text().toStdString());
            user_input::Key(Qt::Key_Return, {}, MessageBox());
        });
    script.Then(
        "station closed", [&] { return !Form().isVisible(); }, [] {});
    RunAndEnd();
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_TRUE(openUnderTheLast);
}

TEST_F(SilentEcu, ConnectingDialogMinimisedAndRestored) {
    rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
    ShowCounter restores(kline::Waiter);
    OpenDiagnostics();
    script.Then(
        "trying", [&] { return WaiterTrying(2); }, [&] { user_input::Minimise(kline::Waiter); });
    script.Then(
        "minimised", [&] { return kline::Waiter->isMinimized(); },
        [&] { user_input::Restore(kline::Waiter); });
    // Still the one attempt: it goes on trying until it is stopped.
    int opens = 0;
    script.Then(
        "restored", [&] { return restores.shows > 0; }, [&] { opens = rig.backend.Port().opens; });
    script.Then(
        "trying on", [&] { return WaiterTrying(opens + 2); },
        [&] { user_input::Click(kline::Waiter->BitBtn1); });
    Confirm();
    CloseStation();
    RunAndEnd();
    EXPECT_EQ(reported, std::vector<std::string>{diag::kNotConnected});
}

using DiagnosticsWindow = ImpatientUser;

// Types `text` into the group box, leaving the box as it is.
void TypeGroup(diag::TDiag_form& form, const QString& text) {
    user_input::Click(form.Group_num->lineEdit());
    for (int i = 0; i < 10; ++i) user_input::Key(Qt::Key_Backspace, {}, &form);
    user_input::Type(text, &form);
}

// Types `text` into the group box and confirms it with Enter.
void ChooseGroup(diag::TDiag_form& form, const QString& text) {
    TypeGroup(form, text);
    user_input::Key(Qt::Key_Return, {}, &form);
}

TEST_F(DiagnosticsWindow, GroupBoxNamesTheShownGroupAfterChoicesDuringAStop) {
    OpenDiagnostics();
    script.Then(
        "polling", [&] { return Polling(); },
        [&] {
            ChooseGroup(*Polling(), QStringLiteral("3 группа"));  // stops the poller
            ChooseGroup(*Polling(), QStringLiteral("9 группа"));  // names no group
        });
    script.Then(
        "third group shown",
        [&] {
            return Polling() && Polling()->ShownGroup() == 2 &&
                   !Polling()->Group_num->lineEdit()->text().startsWith(QStringLiteral("9"));
        },
        [] {});
    ASSERT_TRUE(script.Run()) << "stuck at: " << script.Stuck() << "; shown group "
                              << (Polling() ? Polling()->ShownGroup() : -1) << ", box \""
                              << (Polling() ? Polling()->Group_num->currentText().toStdString()
                                            : "")
                              << "\"";
    EXPECT_EQ(Polling()->Group_num->currentText(), QStringLiteral("3 группа"));
    EXPECT_EQ(Polling()->Panels().size(), 1u);
}

TEST_F(DiagnosticsWindow, CloseClickDuringAStopClosesTheWindowWhenItEnds) {
    OpenDiagnostics();
    script.Then(
        "polling", [&] { return Polling(); },
        [&] {
            ChooseGroup(*Polling(), QStringLiteral("3 группа"));
            user_input::WorkWindowCloseBox(&Form());
        });
    CloseStation();
    RunAndEnd();
    EXPECT_TRUE(reported.empty());
}

// The poller's message box takes the focus from the group box while a group is typed into it.
// That focus change must not stop the poller: the poller waits for the box's OK, and the
// wait for the poller holds the OK back. The typed text goes, the box names the group on show.
TEST_F(DiagnosticsWindow, PollersMessageBoxWhileAGroupIsTyped) {
    OpenDiagnostics();
    script.Then(
        "polling", [&] { return Polling(); },
        [&] {
            TypeGroup(*Polling(), QStringLiteral("3 группа"));
            rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
        });
    Confirm();
    script.Then(
        "confirmed", [&] { return !MessageBox(); },
        [&] {
            EXPECT_EQ(Polling()->Group_num->currentText(), QStringLiteral("1 группа"));
            rig.backend.SetAdapter(sim::AdapterMode::Normal);
            user_input::WorkWindowCloseBox(&Form());
        });
    CloseStation();
    RunAndEnd();
    EXPECT_EQ(reported, std::vector<std::string>{diag::kPollingStopped});
}

// A group typed into the box is taken when a click on a value panel leaves the box; the new
// group's panels replace the clicked one while that click is still being delivered to it.
TEST_F(DiagnosticsWindow, GroupTypedThenAValuePanelClicked) {
    OpenDiagnostics();
    script.Then(
        "polling", [&] { return Polling() && !Polling()->Panels().empty(); },
        [&] {
            TypeGroup(*Polling(), QStringLiteral("3 группа"));
            user_input::Click(Polling()->Panels().front()->NameLabel);
        });
    script.Then(
        "third group shown", [&] { return Polling() && Polling()->ShownGroup() == 2; },
        [&] { user_input::WorkWindowCloseBox(&Form()); });
    CloseStation();
    RunAndEnd();
    EXPECT_TRUE(reported.empty());
}

using Navigation = ImpatientUser;

// Both clicks reach the menu before it has closed: the second must not open a second window.
TEST_F(Navigation, MenuEntryClickedTwiceOpensOneWorkWindow) {
    QMenuBar* bar = Form().menuBar();
    script.Then(
        "menu", [&] { return Form().isVisible(); },
        [&] { user_input::Click(bar, bar->actionGeometry(Form().N2->menuAction()).center()); });
    script.Then(
        "entry twice", [&] { return Form().N2->isVisible(); },
        [&] {
            const QPoint groups = Form().N2->actionGeometry(Form().N6).center();
            user_input::Click(Form().N2, groups);
            user_input::Click(Form().N2, groups);
        });
    script.Then(
        "group editor", [&] { return !Form().MdiArea->subWindowList().isEmpty(); },
        [&] { user_input::Key(Qt::Key_Escape, {}, &Form()); });
    script.Then(
        "settled", [&] { return !Form().N2->isVisible(); }, [] {});
    ASSERT_TRUE(script.Run()) << "stuck at: " << script.Stuck();
    reliability::ServeUntil([] { return false; }, 100);
    EXPECT_EQ(Form().MdiArea->subWindowList().size(), 1);
}

// A click still queued for the list when the close box has closed the station runs nothing.
TEST_F(Navigation, ClickQueuedAfterTheCloseBoxRunsNothing) {
    constexpr int kEcuType = 2;  // "Тип блока управления" in "Настройки"
    bool dialogShown = false;
    QTimer watch;  // a dialog that should not be there is noted and closed
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (EBU_prop && EBU_prop->isVisible() && !dialogShown) {
            dialogShown = true;
            user_input::Key(Qt::Key_Escape, {}, EBU_prop);
        }
    });
    watch.start(1);
    script.Then(
        "section", [&] { return Form().isVisible(); }, [&] { user_input::Click(Form().Label1); });
    script.Then(
        "close, then an entry", [&] { return Form().ListBox1->count() > kEcuType; },
        [&] {
            user_input::CloseBox(&Form());
            ClickEntry(kEcuType);
        });
    script.Then(
        "station closed", [&] { return !Form().isVisible(); }, [] {});
    ASSERT_TRUE(script.Run()) << "stuck at: " << script.Stuck();
    reliability::ServeUntil([] { return false; }, 100);
    EXPECT_FALSE(dialogShown) << "a command ran after the station had closed";
    RunAndEnd();
}

// The program ends when its main window closes, also when a click on the menu bar was still
// queued behind the close box.
TEST_F(Navigation, ProgramEndsWhenAMenuClickFollowsTheCloseBox) {
    QMenuBar* bar = Form().menuBar();
    QTimer::singleShot(50, [&] {
        user_input::CloseBox(&Form());
        user_input::Click(bar, bar->actionGeometry(Form().N3->menuAction()).center());
    });
    bool ranOn = false;
    QTimer::singleShot(2000, [&] {
        ranOn = true;
        QCoreApplication::exit(1);
    });
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::exec();
    QApplication::setQuitOnLastWindowClosed(false);
    EXPECT_FALSE(ranOn) << "the program ran on after its main window closed; visible: "
                        << (QApplication::activePopupWidget() ? "a popup" : "no popup");
}

// Keys and clicks still queued behind OK or Cancel reach the hidden dialog before its loop
// ends: they change nothing that is stored.
TEST_F(Navigation, InputQueuedBehindOkOrCancelChangesNothingStored) {
    constexpr int kConnection = 1;  // "Настройка соединения" in "Настройки"
    OpenEntry(&TMainForm::Label1, kConnection);
    script.Then(
        "OK, then more keys", [&] { return Comm_Prop && Comm_Prop->isVisible(); },
        [&] {
            user_input::Click(Comm_Prop->BitBtn1);
            user_input::Click(Comm_Prop->CSpinEdit1);
            user_input::Key(Qt::Key_Up, {}, Comm_Prop);
            user_input::Key(Qt::Key_Up, {}, Comm_Prop);
        });
    script.Then(
        "closed", [&] { return !Comm_Prop && Form().Panel1->isVisible(); },
        [&] { ClickEntry(kConnection); });
    // Cancel, then a step up and OK queued behind it: the Cancel stands.
    script.Then(
        "Cancel, then OK", [&] { return Comm_Prop && Comm_Prop->isVisible(); },
        [&] {
            user_input::Click(Comm_Prop->BitBtn2);
            user_input::Key(Qt::Key_Up, {}, Comm_Prop);
            user_input::Click(Comm_Prop->BitBtn1);
        });
    script.Then(
        "closed again", [&] { return !Comm_Prop && Form().Panel1->isVisible(); }, [] {});
    ASSERT_TRUE(script.Run()) << "stuck at: " << script.Stuck();
    EXPECT_EQ(rig.Station().settings.requestDelay, 50);  // as the dialog showed it at OK
}

// "Остановить" in the connecting dialog of "Сброс ошибок", with a click on "Паспорт ЭБУ" queued
// right behind it: the navigation stays visible during that command, and the click reaches the
// list once the connecting dialog has gone. It must not start the passport inside the running
// command (whose connecting dialog was still on the stack: shown again, Qt refused the
// recursive call and the passport went on as if the attempt had ended).
TEST_F(SilentEcu, ListClickBehindStopStartsNoSecondCommand) {
    rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
    bool passportShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { passportShown |= services::Passport != nullptr; });
    watch.start(1);
    OpenEntry(&TMainForm::Label2, kClearFaults);
    script.Then(
        "trying", [&] { return WaiterTrying(2); },
        [&] {
            user_input::Click(kline::Waiter->BitBtn1);
            ClickEntry(kPassport);
        });
    script.Then(
        "command ended",
        [&] {
            if (MessageBox())
                user_input::Key(Qt::Key_Return, {}, MessageBox());
            return !MessageBox() && !services::Passport && !kline::Waiter->isVisible() &&
                   Form().NavigationCode() % 10 == 0;
        },
        [] {});
    CloseStation();
    RunAndEnd();
    EXPECT_FALSE(passportShown) << "a second command ran inside the first";
}

}  // namespace
