// The station's main window: an MDI frame with the navigation panel (five section labels
// beside a command list) and the main menu. It owns the settings record, the connection
// state and the ECU protocol object for the whole run, runs every command of the program
// and hosts the work windows, one at a time.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "app/navigation_codes.h"
#include "link/connector.h"
#include "link/station.h"
#include "platform/serial_port.h"
#include "settings/settings.h"

class QFrame;
class QLabel;
class QListWidget;
class QMdiArea;
class QMenu;
class QTimer;

namespace kline {
class ChildWindow;
class TWaiter;
}  // namespace kline
namespace services {
class TCorrCO;
}
namespace sim {
class InProcessLine;
}

class TMainForm final : public QMainWindow {
    Q_OBJECT
  public:
    // Reads the settings from `settingsPath` (auto.ini in the working directory) and builds
    // the ECU protocol object; the serial ports are opened through `backend`.
    explicit TMainForm(const std::string& settingsPath = settings::kFileName,
                       platform::SerialBackend* backend = &platform::SystemSerialBackend());
    ~TMainForm() override;  // FormDestroy: saves the settings

    // Settings record, connection state and ECU protocol object; every window and worker
    // reaches them through MainForm->station.
    kline::Station station;

    // The connecting dialog and the CO trim dialog of the run, built hidden right after this
    // window and handed to every command and window that connects or trims.
    kline::TWaiter& ConnectingDialog() { return *waiter_; }
    services::TCorrCO& CoTrimDialog() { return *coTrim_; }
    kline::Connector& ConnectingStep();  // the connecting dialog

    QMdiArea* MdiArea = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;  // "Настройки"
    QLabel* Label2 = nullptr;  // "Работа с ЭБУ"
    QLabel* Label4 = nullptr;  // "Управление"
    QLabel* Label6 = nullptr;  // "Помощь"
    QLabel* Label3 = nullptr;  // "Выход"
    QListWidget* ListBox1 = nullptr;
    QTimer* Timer1 = nullptr;  // 25 ms after a child window closed: destroys it

    QMenu* N1 = nullptr;  // "Файл"
    QMenu* N2 = nullptr;  // "Настройки"
    QMenu* N3 = nullptr;  // "Работа с ЭБУ"
    QMenu* N4 = nullptr;  // "Помощь"
    QAction* N5 = nullptr;
    QAction* N6 = nullptr;
    QAction* N7 = nullptr;
    QAction* N8 = nullptr;
    QAction* N9 = nullptr;
    QAction* N10 = nullptr;
    QAction* N11 = nullptr;
    QAction* N12 = nullptr;
    QAction* N13 = nullptr;
    // Beside "Выход" in "Файл": the station's own in-process line instead of the port.
    QAction* OpenRecordingItem = nullptr;   // "Открыть запись..."
    QAction* CloseRecordingItem = nullptr;  // "Закрыть запись", while a recording plays
    QAction* DemonstrationItem = nullptr;   // "Демонстрация", checked while it runs

    // The section the list shows (10 .. 50, 0 before any), or section + position while a
    // command runs.
    uint8_t NavigationCode() const { return navigationCode_; }

    void HideNavigation();
    void ShowNavigation();
    // Carries out the command of the navigation code, then goes back to its section.
    void RunCommand();
    void EndOfCommand();

    void Label1Click();  // "Настройки"
    void Label2Click();  // "Работа с ЭБУ"
    void Label4Click();  // "Управление"
    void Label6Click();  // "Помощь"
    void Label3Click();  // "Выход"
    void ListBox1Click();
    void ListBox1KeyPress(char key);
    // The menu entries N5 .. N13: the command of `code`, the list's section left as it was.
    void RunMenuCommand(uint8_t code);
    // One command at a time. The navigation stays visible during the adapter check, the
    // controller reset and the fault clearing, and a click queued behind the close of one of
    // their dialogs reaches the list or the menu before the next dialog is up: it must not
    // start a second command inside the first (whose connecting dialog would be shown again
    // while it is still running).
    bool CommandRunning() const { return commandsRunning_ > 0; }

    // "Открыть запись...": a file dialog on the folder "Записи"; the chosen recording plays.
    void OpenRecordingClick();
    // "Закрыть запись": back to the port of the settings.
    void CloseRecordingClick();
    // "Демонстрация": starts the demonstration, or ends it while it runs.
    void DemonstrationClick();
    // The station talks to the recorded ECU of `file` (a line trace, or the CSV beside one)
    // over its own in-process line; false, after a message, when it cannot be played.
    bool OpenRecording(const QString& file);
    // The station talks to the in-process adapter and the ECU model of the family in force.
    void StartDemonstration();
    // From a recording or the demonstration back to the port of the settings.
    void BackToPort();
    // What the station talks to instead of the port; nullptr: the port.
    sim::InProcessLine* Line() { return line_.get(); }

    void Timer1Timer();
    void FormResize();
    void FormActivate();

    // The dialog pattern: navigation hidden while the modal dialog is up; `reference` is
    // the dialog's global reference while it exists. The dialog is built with this window
    // as parent (and the station, when its constructor takes one); `fill` runs before it
    // shows, `apply` when it closed with OK.
    template <class Dialog, class Fill, class Apply>
    void RunDialog(Dialog*& reference, Fill&& fill, Apply&& apply);
    template <class Dialog>
    void RunDialog(Dialog*& reference) {
        RunDialog(
            reference, [](Dialog&) {}, [](Dialog&) {});
    }

    // The child window pattern: navigation hidden, `child` opened maximised inside the
    // frame; its closing starts Timer1, whose handler destroys it and brings the navigation
    // back. The caller has stored the child in its global reference.
    void OpenChild(kline::ChildWindow* child);

    // The diagnostics window keeps the frame at a fixed size while it is open (command 23);
    // Timer1Timer makes it resizable again at the saved size.
    void FixBorder();
    bool BorderFixed() const { return borderFixed_; }
    // Sets the window's size, also while the border is fixed.
    void ResizeWindow(int width, int height);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildPanel();
    void BuildMenu();
    // Lists the section's entries (app/command_table.h) and makes it the navigation code.
    void OpenSection(Section section);
    void AddEntry(const char* text);
    int SelectedIndex() const;
    void RunConnectionDialog();  // command 12
    void RunEcuTypeDialog();     // command 13
    void BuildFileMenu();
    // Runs a command of the additions to "Файл" as RunCommand runs the others: one at a time.
    template <class Command>
    void RunFileCommand(Command&& command);
    QString ChooseRecording();
    void UseLine(std::unique_ptr<sim::InProcessLine> line, const QString& about);
    // The family in force: a recording's own, otherwise the settings'.
    void UseLineFamily();
    // After the ECU-type dialog changed the settings' family: a recording keeps its own, the
    // demonstration's ECU becomes one of the new family.
    void FamilyChanged();
    void ShowLine();  // the title and the "Файл" items
    void FormDestroy();
    void FitOuterSize();

    std::string settingsPath_;
    platform::SerialBackend* portBackend_;  // the port of the settings
    std::unique_ptr<sim::InProcessLine> line_;
    kline::CableMemory portCables_;  // what was learnt of the port's cable, while it rests
    QString lineAbout_;              // the title's addition while line_ is in use
    // Declared after `station`, which they use, so that they go before it.
    std::unique_ptr<kline::TWaiter> waiter_;
    std::unique_ptr<services::TCorrCO> coTrim_;
    uint8_t navigationCode_ = 0;
    bool firstActivation_ = true;
    int commandsRunning_ = 0;         // RunCommand calls on the stack (their dialogs run loops)
    bool closeAfterCommand_ = false;  // the close box was clicked while a command ran
    bool borderFixed_ = false;
    bool outerSizeFitted_ = false;
    QSize minimumClient_{600, 400};  // the client size of a 600 x 400 window, once framed
    int rowAtPress_ = -1;            // selected entry when the mouse went down on the list
};

// The main window of the run, set when it is built.
extern TMainForm* MainForm;

// Where the navigation panel stands in a client area: centred across, and a little above
// the middle down (35 % of the free height, plus 10).
QPoint PanelOrigin(QSize client, QSize panel);

template <class Dialog, class Fill, class Apply>
void TMainForm::RunDialog(Dialog*& reference, Fill&& fill, Apply&& apply) {
    HideNavigation();
    std::unique_ptr<Dialog> dialog;
    if constexpr (std::is_constructible_v<Dialog, kline::Station&, kline::Connector&, QWidget*>)
        dialog = std::make_unique<Dialog>(station, ConnectingStep(), this);
    else if constexpr (std::is_constructible_v<Dialog, kline::Station&, QWidget*>)
        dialog = std::make_unique<Dialog>(station, this);
    else
        dialog = std::make_unique<Dialog>(this);
    reference = dialog.get();
    fill(*dialog);
    // Taken when the user closes the dialog the first time, and only if that was OK: keys and
    // clicks still queued behind OK or Cancel reach the hidden dialog before its loop ends,
    // and must change nothing (not even turn a Cancel into an OK).
    bool closed = false;
    QObject::connect(dialog.get(), &QDialog::finished, dialog.get(), [&](int result) {
        if (!std::exchange(closed, true) && result == QDialog::Accepted)
            apply(*dialog);
    });
    dialog->exec();
    ShowNavigation();
    reference = nullptr;
}
