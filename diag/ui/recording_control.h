// The diagnostics window's part of live-data recording: the command "Начать запись" /
// "Остановить запись", a file per shown group while the user wants a recording, the line
// trace tapped from the station's port, and the bar's note of the running recording (time
// and rows). The files themselves are made, written and closed by each diag::LiveRecording's
// own thread: nothing here waits for the disk.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "diag/recording.h"
#include "link/station.h"

class QLabel;
class QTimer;
class QWidget;

namespace diag {

inline constexpr const char* kStartRecording = "Начать запись";
inline constexpr const char* kStopRecording = "Остановить запись";

class RecordingControl final : public QObject {
    Q_OBJECT
  public:
    // The note is a label on `bar` at `noteAt`.
    RecordingControl(kline::Station& station, QWidget* bar, QPoint noteAt);
    ~RecordingControl() override;

    // Where the files go: "Записи" in the working folder, beside auto.ini.
    std::filesystem::path folder = std::filesystem::path(u8"Записи");
    RecordingDisk* disk = &SystemDisk();
    // Whether the poller may be on the line now (else the line is idle). Unset: it may be.
    std::function<bool()> lineBusy;

    // The user wants a recording (between "Начать запись" and "Остановить запись").
    bool Wanted() const { return wanted_; }
    // The running recording (a blank one between files).
    const LiveRecording& Current() const { return *recording_; }
    // The command the user is offered now.
    QString CommandText() const;

    // The user's command: starts recording the shown parameters, or stops.
    void Toggle();
    // The poller starts a group: remembers its parameters and, while wanted, starts a file.
    void OnPanels(std::span<const int32_t> items);
    // A good answer as the panels show it.
    void OnValues(const std::vector<std::string>& texts);
    // The group goes (a group change, the CO trim), the poller has stopped: its file ends,
    // the wish stays.
    void EndFile();
    // The window closes, the poller has stopped: the file ends and so does the wish.
    void Stop();

    QLabel* Note;  // "Запись 00:12, строк: 240" while a file is written

  signals:
    void CommandChanged();

  private:
    bool LineIdle() const { return lineBusy && !lineBusy(); }
    void StartFile(bool lineIdle);
    void CloseFile(bool lineIdle);
    void EndWish(bool lineIdle);
    void ShowNote();
    void Report(RecordingFault fault);

    kline::Station& station_;
    QTimer* noteTimer_;
    std::vector<int32_t> items_;
    bool wanted_ = false;
    bool panelsStarted_ = false;  // the shown group's parameters are known
    std::unique_ptr<LiveRecording> recording_;
    std::vector<std::unique_ptr<LiveRecording>> ended_;  // still closing their files
};

}  // namespace diag
