#include "diag/ui/recording_control.h"

#include <QLabel>
#include <QTimer>

#include "diag/catalogue.h"
#include "link/ui/window_parts.h"
#include "platform/clock.h"

namespace diag {

namespace {

constexpr int kNoteIntervalMs = 250;

std::vector<RecordedColumn> ColumnsOf(const kline::EcuProtocol& protocol,
                                      std::span<const int32_t> items) {
    std::vector<RecordedColumn> columns;
    // A parameter without a short name goes by its full name.
    for (int32_t k : items) {
        const std::string shortName = ParamShortName(protocol, k);
        columns.push_back(
            {shortName.empty() ? ParamName(protocol, k) : shortName, ParamUnit(protocol, k)});
    }
    return columns;
}

}  // namespace

RecordingControl::RecordingControl(kline::Station& station, QWidget* bar, QPoint noteAt)
    : QObject(bar), station_(station) {
    Note = new QLabel(bar);
    Note->setObjectName("RecordNote");
    Note->move(noteAt);
    Note->hide();
    noteTimer_ = new QTimer(this);
    noteTimer_->setInterval(kNoteIntervalMs);
    connect(noteTimer_, &QTimer::timeout, this, &RecordingControl::ShowNote);
}

RecordingControl::~RecordingControl() {
    station_.lineTap.SetTap(nullptr);
}

QString RecordingControl::CommandText() const {
    return QString::fromUtf8(wanted_ ? kStopRecording : kStartRecording);
}

void RecordingControl::Toggle() {
    if (wanted_) {
        Stop();
        return;
    }
    wanted_ = true;
    if (panelsStarted_)
        StartFile();  // otherwise the file starts with the panels, when the columns are known
    emit CommandChanged();
}

void RecordingControl::OnPanels(std::span<const int32_t> items) {
    items_.assign(items.begin(), items.end());
    panelsStarted_ = true;
    if (wanted_)
        StartFile();
}

void RecordingControl::OnValues(const std::vector<std::string>& texts) {
    recording_.AddValues(texts, platform::NowMicros());
}

void RecordingControl::EndFile() {
    panelsStarted_ = false;
    CloseFile();
}

void RecordingControl::CloseFile() {
    station_.lineTap.SetTap(nullptr);
    recording_.End();
    noteTimer_->stop();
    Note->hide();
}

void RecordingControl::Stop() {
    CloseFile();
    if (!wanted_)
        return;
    wanted_ = false;
    emit CommandChanged();
}

void RecordingControl::StartFile() {
    CloseFile();
    const kline::EcuProtocol& protocol = station_.Protocol();
    const std::string about = "тип ЭБУ " + std::to_string(protocol.EcuType());
    if (!recording_.Start(folder, ColumnsOf(protocol, items_), about, platform::NowMicros())) {
        EndWithMessage(kRecordStartFailed);
        return;
    }
    station_.lineTap.SetTap(&recording_);
    ShowNote();
    Note->show();
    noteTimer_->start();
}

void RecordingControl::ShowNote() {
    if (recording_.Failed()) {
        EndWithMessage(kRecordWriteFailed);
        return;
    }
    const int64_t seconds = recording_.ElapsedMs(platform::NowMicros()) / 1000;
    Note->setText(QStringLiteral("● Запись %1:%2, строк: %3")
                      .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                      .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                      .arg(recording_.Rows()));
    Note->adjustSize();
}

// The recording ends, the polling goes on. The message waits for the event loop: this may
// run inside a hand-over of the poller, which must not wait for the user's OK.
void RecordingControl::EndWithMessage(const char* text) {
    Stop();
    QTimer::singleShot(0, this, [text] { kline::Warn(text); });
}

}  // namespace diag
