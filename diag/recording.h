// Recording of live data: one CSV file per recording with a row per good answer, and beside
// it the line trace of every byte sent and received. The poller's values are queued and
// written by a thread of the recording's own, so that a slow or full disk never holds up the
// poll; a failed write ends the recording, never the polling.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/line_tap.h"
#include "platform/line_trace.h"

namespace diag {

// Beside auto.ini, in the working folder.
inline constexpr const char* kRecordFolder = "Записи";
inline constexpr const char* kRecordStartFailed =
    "Не удалось создать файл записи в папке \"Записи\"! Запись не начата.";
inline constexpr const char* kRecordWriteFailed =
    "Ошибка записи на диск! Запись остановлена, опрос датчиков продолжается.";

// Calc and Excel under Russian regional settings split a CSV at semicolons, read numbers
// with a decimal comma, and take UTF-8 only with the byte order mark.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct RecordedColumn {
    std::string shortName;
    std::string unit;
};

// One field: a number with a decimal comma whatever separator the panels use; text with a
// semicolon, a quote or a line break quoted.
std::string CsvField(std::string_view text);
// "Время, мс;Время;UACC, В;...": the time columns, then each parameter's short name and unit.
std::string CsvHeader(const std::vector<RecordedColumn>& columns);
// "1250;10:15:02,123;14,2;Да;..."
std::string CsvRow(int64_t elapsedMs, std::string_view wallClock,
                   const std::vector<std::string>& values);

// The local wall-clock time with milliseconds: "10:15:02,123".
std::string WallClockText(std::chrono::system_clock::time_point when);
// The files' name without extension, by the local date and time: "2026-12-08_10-15-02".
std::string RecordingStem(std::chrono::system_clock::time_point when);

class LiveRecording final : public kline::LineTap {
  public:
    LiveRecording() = default;
    ~LiveRecording() override;
    LiveRecording(const LiveRecording&) = delete;
    LiveRecording& operator=(const LiveRecording&) = delete;

    // Creates `folder` when needed and the files NAME.csv and NAME.trace in it, named by the
    // local time (with "_2", "_3" .. when that name is taken). False when they cannot be
    // created; nothing is left open then.
    bool Start(const std::filesystem::path& folder, const std::vector<RecordedColumn>& columns,
               const std::string& about, int64_t nowMicros);
    // The same with the paths given.
    bool StartFiles(const std::filesystem::path& csv, const std::filesystem::path& trace,
                    const std::vector<RecordedColumn>& columns, const std::string& about,
                    int64_t nowMicros);

    // A row of the values as the panels show them; only queued here. Rows begin with the
    // first answer whose request the trace holds too, so that every row has its exchange
    // in the trace (a recording may start while a request is on the line).
    void AddValues(const std::vector<std::string>& values, int64_t nowMicros);
    // A byte or break on the line; only queued here.
    void OnLine(const platform::TraceByte& event) override;

    // Writes what is queued, closes the files and ends the thread. Does nothing when not
    // started.
    void End();

    bool Running() const { return thread_.joinable(); }
    // A write or flush failed (a full disk, a removed stick): nothing more is written.
    bool Failed() const { return failed_; }
    int Rows() const { return rows_; }
    int64_t ElapsedMs(int64_t nowMicros) const { return (nowMicros - startMicros_) / 1000; }
    const std::filesystem::path& CsvPath() const { return csvPath_; }
    const std::filesystem::path& TracePath() const { return tracePath_; }

  private:
    void Run();
    void WriteOut(std::vector<std::string>& rows, std::vector<platform::TraceByte>& bytes,
                  bool last);

    std::filesystem::path csvPath_;
    std::filesystem::path tracePath_;
    std::ofstream csv_;
    std::ofstream trace_;
    int64_t startMicros_ = 0;
    int rows_ = 0;
    platform::TraceWriter traceWriter_{0};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> queuedRows_;
    std::vector<platform::TraceByte> queuedBytes_;
    bool closing_ = false;
    std::atomic<bool> failed_{false};
    std::atomic<bool> requestSeen_{false};  // the station has sent since the start
    std::thread thread_;
};

}  // namespace diag
