// The main window's commands by navigation code (app/navigation_codes.h): section + position
// of a list entry, or the same code from a menu entry. This is the one place that says what
// each command does; app/command_table.h says where each is offered.
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>

#include "app/about_box.h"
#include "app/comm_prop.h"
#include "app/ebu_prop.h"
#include "app/main_form.h"
#include "diag/ui/diag_form.h"
#include "diag/ui/diag_prop.h"
#include "link/connection.h"
#include "link/line_commands.h"
#include "link/ui/waiter.h"
#include "services/cp1251.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"

void TMainForm::RunCommand() {
    // A close of the main window that comes in between this command's dialogs and message
    // boxes waits for the command's end (EndOfCommand), so no message of the command comes up
    // over a station that has already closed.
    ++commandsRunning_;
    struct AtTheEnd {
        TMainForm& form;
        ~AtTheEnd() { form.EndOfCommand(); }
    } atTheEnd{*this};
    // Every command of the table has its case; any other code (a section alone, an entry
    // that is not listed) runs nothing.
    switch (static_cast<Command>(navigationCode_)) {
        case Command::Groups:
            OpenChild(new diag::TDiag_prop(station));
            break;
        case Command::ConnectionSettings:
            RunConnectionDialog();
            break;
        case Command::EcuType:
            RunEcuTypeDialog();
            break;
        case Command::AdapterCheck:  // the navigation stays visible
            kline::AdapterCheck(station);
            break;
        case Command::Passport:
            RunDialog(services::Passport);
            break;
        case Command::Diagnostics:  // the frame keeps its size while the window is open
            FixBorder();
            OpenChild(new diag::TDiag_form(
                station, ConnectingStep(), [this] { CoTrimDialog().exec(); }, this));
            break;
        case Command::FaultList:
            OpenChild(new services::TErrors_form(station, ConnectingStep()));
            break;
        case Command::ControllerReset:  // the navigation stays visible
            kline::ControllerReset(station, ConnectingStep());
            break;
        case Command::FaultClearing:  // likewise
            kline::FaultClearing(station, ConnectingStep());
            break;
        case Command::Equipment:  // listed for the second family only
            OpenChild(new services::TComplect(station, ConnectingStep()));
            break;
        case Command::UserGuide:  // no action
            break;
        case Command::About:
            RunDialog(AboutBox);
            break;
        case Command::ExitProgram:
            close();
            break;
        case Command::Blank1:
        case Command::Blank2:
        case Command::Blank3:
            break;
    }
    navigationCode_ = static_cast<uint8_t>(SectionOf(navigationCode_));
}

void TMainForm::RunConnectionDialog() {
    settings::SettingsRecord& record = station.settings;
    // The name is shown as the file's Windows-1251 bytes read; a name the user leaves as it
    // was keeps those bytes exactly, whatever they are.
    const std::string stored = settings::PortName(record);
    const QString shown =
        QString::fromStdString(services::DecodeCp1251(stored.data(), stored.size()));
    RunDialog(
        Comm_Prop,
        [&](TComm_Prop& dialog) {
            dialog.CSpinEdit1->setValue(record.requestDelay);  // brought into 50 .. 1000
            dialog.ComboBox1->setEditText(shown);
        },
        [&](TComm_Prop& dialog) {
            kline::EndLeftoverConnection(station);  // it was made on the old port
            dialog.CSpinEdit1->interpretText();     // a number still being typed counts, limited
            record.requestDelay = dialog.CSpinEdit1->value();
            if (dialog.ComboBox1->currentText() != shown)
                settings::SetPortName(record, dialog.ComboBox1->currentText().toStdString());
        });
}

void TMainForm::RunEcuTypeDialog() {
    settings::SettingsRecord& record = station.settings;
    RunDialog(
        EBU_prop, [&](TEBU_prop& dialog) { dialog.SetItemIndex(record.ecuType); },
        [&](TEBU_prop& dialog) {
            // Only a change of family replaces the protocol object; the new one is built
            // before the old one goes, so nobody ever finds none.
            if (dialog.ItemIndex() == record.ecuType)
                return;
            kline::EndLeftoverConnection(station);  // stopped in the old family's terms
            record.ecuType = static_cast<int8_t>(dialog.ItemIndex());
            FamilyChanged();
        });
}

void TMainForm::EndOfCommand() {
    if (--commandsRunning_ > 0 || !closeAfterCommand_)
        return;
    closeAfterCommand_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
}
