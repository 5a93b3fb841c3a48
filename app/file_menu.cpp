// The additions to the menu "Файл": a recording played back inside the station, and the
// demonstration. Both put the station on its own in-process line (sim/) in place of the port
// of the settings; the settings record itself, and with it auto.ini, stays as it is.
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include "app/main_form.h"
#include "diag/recording.h"
#include "link/connection.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "sim/in_process_line.h"

namespace {

const QString kTitle = QStringLiteral("Tavro KX4.2H");

const char* const kNotARecording =
    "Этот файл не является записью станции или повреждён! Запись не открыта.";
const char* const kNoLiveData = "В записи нет ответов блока с данными датчиков! Запись не открыта.";
const char* const kOtherEcu =
    "Записанный блок не относится ни к одному из двух семейств! Запись не открыта.";

const char* RecordingErrorText(sim::RecordingError error) {
    switch (error) {
        case sim::RecordingError::NoLiveData:
            return kNoLiveData;
        case sim::RecordingError::OtherEcu:
            return kOtherEcu;
        case sim::RecordingError::None:
        case sim::RecordingError::Unreadable:
            break;
    }
    return kNotARecording;
}

// The file name as std::filesystem takes it on every system (UTF-16 is converted to the
// system's own form, so "Записи" opens on Windows too).
std::filesystem::path PathOf(const QString& file) {
    return std::filesystem::path(file.toStdU16String());
}

}  // namespace

void TMainForm::BuildFileMenu() {
    OpenRecordingItem = new QAction(QStringLiteral("Открыть запись..."), this);
    OpenRecordingItem->setObjectName("OpenRecordingItem");
    CloseRecordingItem = new QAction(QStringLiteral("Закрыть запись"), this);
    CloseRecordingItem->setObjectName("CloseRecordingItem");
    DemonstrationItem = new QAction(QStringLiteral("Демонстрация"), this);
    DemonstrationItem->setObjectName("DemonstrationItem");
    DemonstrationItem->setCheckable(true);
    N1->insertActions(N5, {OpenRecordingItem, CloseRecordingItem, DemonstrationItem});
    N1->insertSeparator(N5);
    connect(OpenRecordingItem, &QAction::triggered, this, &TMainForm::OpenRecordingClick);
    connect(CloseRecordingItem, &QAction::triggered, this, &TMainForm::CloseRecordingClick);
    connect(DemonstrationItem, &QAction::triggered, this, &TMainForm::DemonstrationClick);
    ShowLine();
}

template <class Command>
void TMainForm::RunFileCommand(Command&& command) {
    if (CommandRunning())
        return;  // a click queued behind another command's dialog
    ++commandsRunning_;
    command();
    EndOfCommand();
}

void TMainForm::OpenRecordingClick() {
    RunFileCommand([this] {
        const QString file = ChooseRecording();
        if (!file.isEmpty())
            OpenRecording(file);
    });
}

void TMainForm::CloseRecordingClick() {
    RunFileCommand([this] {
        if (line_ && line_->PlaysRecording())
            BackToPort();
    });
}

void TMainForm::DemonstrationClick() {
    RunFileCommand([this] {
        if (line_ && !line_->PlaysRecording())
            BackToPort();
        else
            StartDemonstration();
    });
    ShowLine();  // the item's check mark follows the line, not the click
}

// The navigation is hidden while the dialog is up, as for the station's other dialogs.
QString TMainForm::ChooseRecording() {
    const QDir folder(QDir::current().filePath(QString::fromUtf8(diag::kRecordFolder)));
    QFileDialog dialog(this, QStringLiteral("Открыть запись"),
                       folder.exists() ? folder.path() : QDir::currentPath(),
                       QStringLiteral("Записи (*.trace *.csv);;Все файлы (*)"));
    dialog.setObjectName("OpenRecording");
    dialog.setFileMode(QFileDialog::ExistingFile);
    HideNavigation();
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    ShowNavigation();
    return chosen ? dialog.selectedFiles().first() : QString();
}

bool TMainForm::OpenRecording(const QString& file) {
    // A recording is the CSV of the values and the line trace beside it; the trace plays.
    QFileInfo trace(file);
    if (trace.suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0)
        trace.setFile(trace.dir(), trace.completeBaseName() + QStringLiteral(".trace"));
    sim::RecordingError error = sim::RecordingError::None;
    std::string detail;
    std::unique_ptr<sim::InProcessLine> line = sim::InProcessLine::PlayRecording(
        platform::CurrentClock(), PathOf(trace.filePath()), error, detail);
    if (!line) {
        const std::string where = trace.fileName().toStdString() + ":" + detail;
        platform::ShowMessage(RecordingErrorText(error), platform::kAttention,
                              platform::Icon::Warning,
                              error == sim::RecordingError::Unreadable ? where : std::string());
        return false;
    }
    UseLine(std::move(line), QStringLiteral("запись ") + trace.fileName());
    return true;
}

void TMainForm::StartDemonstration() {
    UseLine(
        std::make_unique<sim::InProcessLine>(platform::CurrentClock(), station.settings.ecuType),
        QStringLiteral("демонстрация"));
}

// The port's cable knowledge rests meanwhile: what the in-process line teaches (its wake-up
// works at once) is no knowledge of the cable.
void TMainForm::UseLine(std::unique_ptr<sim::InProcessLine> line, const QString& about) {
    kline::EndLeftoverConnection(station);  // made on the line that goes
    if (!line_)
        portCables_ = std::exchange(station.cables, {});
    else
        station.cables = {};
    line_ = std::move(line);
    lineAbout_ = about;
    station.backend = &line_->Backend();
    station.playsRecording = line_->PlaysRecording();
    station.recordedDelay = line_->RecordedPauseMs();
    UseLineFamily();
    ShowLine();
}

void TMainForm::BackToPort() {
    if (!line_)
        return;
    kline::EndLeftoverConnection(station);
    station.backend = portBackend_;
    station.cables = std::exchange(portCables_, {});
    station.playsRecording = false;
    station.recordedDelay = 0;
    line_.reset();
    UseLineFamily();
    ShowLine();
}

// A recording is of one family whatever the settings say; the demonstration and the port
// follow the settings.
void TMainForm::UseLineFamily() {
    const int family =
        line_ && line_->PlaysRecording() ? line_->Family() : station.settings.ecuType;
    auto protocol = std::make_unique<kline::EcuProtocol>(family);
    if (protocol->EcuType() == station.Protocol().EcuType())
        return;
    station.ecuProtocol = std::move(protocol);
    if (SectionOf(navigationCode_) == Section::Ecu)
        OpenSection(Section::Ecu);  // "Комплектация" follows the family
}

void TMainForm::FamilyChanged() {
    if (line_ && !line_->PlaysRecording())
        StartDemonstration();
    else
        UseLineFamily();
}

void TMainForm::ShowLine() {
    setWindowTitle(line_ ? kTitle + QStringLiteral(" - ") + lineAbout_ : kTitle);
    CloseRecordingItem->setEnabled(line_ && line_->PlaysRecording());
    DemonstrationItem->setChecked(line_ && !line_->PlaysRecording());
}
