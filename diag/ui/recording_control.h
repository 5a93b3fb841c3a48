// The diagnostics window's part of live-data recording: the command "Начать запись" /
// "Остановить запись", a file per shown group while the user wants a recording, the line
// trace tapped from the station's port, and the bar's note of the running recording (time
// and rows). The files themselves are written by diag::LiveRecording's own thread.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
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

    // The user wants a recording (between "Начать запись" and "Остановить запись").
    bool Wanted() const { return wanted_; }
    const LiveRecording& Current() const { return recording_; }
    // The command the user is offered now.
    QString CommandText() const;

    // The user's command: starts recording the shown parameters, or stops.
    void Toggle();
    // The poller starts a group: remembers its parameters and, while wanted, starts a file.
    void OnPanels(std::span<const int32_t> items);
    // A good answer as the panels show it.
    void OnValues(const std::vector<std::string>& texts);
    // The group goes (a group change, the CO trim): its file ends, the wish stays.
    void EndFile();
    // The window closes: the file ends and so does the wish.
    void Stop();

    QLabel* Note;  // "Запись 00:12, строк: 240" while a file is written

  signals:
    void CommandChanged();

  private:
    void StartFile();
    void CloseFile();
    void ShowNote();
    void EndWithMessage(const char* text);

    kline::Station& station_;
    QTimer* noteTimer_;
    std::vector<int32_t> items_;
    bool wanted_ = false;
    bool panelsStarted_ = false;  // the shown group's parameters are known
    LiveRecording recording_;
};

}  // namespace diag
