#include "diag/ui/recording_control.h"

#include <QLabel>
#include <QTimer>
#include <chrono>
#include <utility>

#include "diag/catalogue.h"
#include "platform/clock.h"
#include "window_kit/window_parts.h"

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
    : QObject(bar), station_(station), recording_(std::make_unique<LiveRecording>()) {
    Note = new QLabel(bar);
    Note->setObjectName("RecordNote");
    Note->move(noteAt);
    Note->hide();
    noteTimer_ = new QTimer(this);
    noteTimer_->setInterval(kNoteIntervalMs);
    connect(noteTimer_, &QTimer::timeout, this, &RecordingControl::ShowNote);
}

// The recordings end with it; those still at the disk finish alone.
RecordingControl::~RecordingControl() {
    station_.lineTap.SetTap(nullptr);
}

QString RecordingControl::CommandText() const {
    return QString::fromUtf8(wanted_ ? kStopRecording : kStartRecording);
}

void RecordingControl::Toggle() {
    if (wanted_) {
        EndWish(LineIdle());
        return;
    }
    wanted_ = true;
    if (panelsStarted_)
        StartFile(
            LineIdle());  // otherwise the file starts with the panels, when the columns are known
    emit CommandChanged();
}

// The poller waits in its hand-over: nothing is on the line.
void RecordingControl::OnPanels(std::span<const int32_t> items) {
    items_.assign(items.begin(), items.end());
    panelsStarted_ = true;
    if (wanted_)
        StartFile(true);
}

void RecordingControl::OnValues(const std::vector<std::string>& texts) {
    recording_->AddValues(texts, platform::NowMicros());
}

void RecordingControl::EndFile() {
    panelsStarted_ = false;
    CloseFile(true);
}

void RecordingControl::Stop() {
    EndWish(true);
}

void RecordingControl::EndWish(bool lineIdle) {
    CloseFile(lineIdle);
    if (!wanted_)
        return;
    wanted_ = false;
    emit CommandChanged();
}

// The ended recording's thread writes and closes its files; the timer looks for its end.
void RecordingControl::CloseFile(bool lineIdle) {
    station_.lineTap.SetTap(nullptr);
    Note->hide();
    if (recording_->Running()) {
        recording_->End(lineIdle);
        ended_.push_back(std::exchange(recording_, std::make_unique<LiveRecording>()));
    }
    if (ended_.empty())
        noteTimer_->stop();
}

void RecordingControl::StartFile(bool lineIdle) {
    CloseFile(lineIdle);
    const kline::EcuProtocol& protocol = station_.Protocol();
    const std::string about = "тип ЭБУ " + std::to_string(protocol.EcuType());
    recording_ = std::make_unique<LiveRecording>(*disk);
    recording_->Start(folder, RecordingStem(std::chrono::system_clock::now()),
                      ColumnsOf(protocol, items_), about, platform::NowMicros(), lineIdle);
    station_.lineTap.SetTap(recording_.get());
    Note->show();
    noteTimer_->start();
    ShowNote();
}

// Every 250 ms while a recording runs or an ended one closes its files: the note, and the
// failures their threads have met (a stick pulled during the last write, or files that could
// not be made for a recording stopped at once).
void RecordingControl::ShowNote() {
    std::erase_if(ended_, [this](const std::unique_ptr<LiveRecording>& ended) {
        const bool closed = ended->WaitClosed(std::chrono::milliseconds(0));
        if (closed && ended->Fault() != RecordingFault::None)
            Report(ended->Fault());
        return closed;
    });
    if (recording_->Fault() != RecordingFault::None) {
        station_.lineTap.SetTap(nullptr);
        Report(recording_->Fault());
        recording_ = std::make_unique<LiveRecording>();  // its thread closes the files
        EndWish(true);
        return;
    }
    if (!recording_->Running()) {
        if (ended_.empty())
            noteTimer_->stop();
        return;
    }
    const int64_t seconds = recording_->ElapsedMs(platform::NowMicros()) / 1000;
    Note->setText(QStringLiteral("● Запись %1:%2, строк: %3")
                      .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                      .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                      .arg(recording_->Rows()));
    Note->adjustSize();
}

// The recording has ended, the polling goes on. The message waits for the event loop, so that
// this handler is over before the box holds the screen.
void RecordingControl::Report(RecordingFault fault) {
    const char* text =
        fault == RecordingFault::NotCreated ? kRecordStartFailed : kRecordWriteFailed;
    QTimer::singleShot(0, this, [text] { kline::Warn(text); });
}

}  // namespace diag
