// Recording of live data: one CSV file per recording with a row per good answer, and beside
// it the line trace of every byte sent and received. The values and bytes are queued, and a
// thread of the recording's own makes, writes, flushes and closes the files, so that a slow,
// hung or full disk never holds up the poll or the window; a failed write ends the
// recording, never the polling.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
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

// One file of a recording, written from its start.
class RecordingFile {
  public:
    virtual ~RecordingFile() = default;
    virtual bool Write(std::string_view bytes) = 0;
    // Hands what was written to the disk: a crash or a pulled stick keeps it.
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

// Where recordings go: the machine's file system, or a stand-in (a slow disk) in tests that
// overrides some calls. Only a recording's own thread calls it, so that a slow or hung disk (a
// network share, a USB stick) holds up neither the poller nor the window.
class RecordingDisk {
  public:
    virtual ~RecordingDisk() = default;
    virtual void MakeFolder(const std::filesystem::path& folder);
    virtual bool Exists(const std::filesystem::path& path);
    // A new empty file; nullptr when it cannot be made.
    virtual std::unique_ptr<RecordingFile> Create(const std::filesystem::path& path);
    virtual void Remove(const std::filesystem::path& path);
};

RecordingDisk& SystemDisk();

enum class RecordingFault : uint8_t {
    None,
    NotCreated,   // the folder or the files could not be made: nothing was left behind
    WriteFailed,  // a write or flush failed (a full disk, a removed stick): nothing more is written
};

// One recording: its CSV and its line trace. Only the thread that drives the window calls
// it, apart from OnLine, which the port's thread calls. Its own thread does all the disk
// work. Exchanges reach the trace whole: the trace begins and ends where the line is idle
// between two exchanges, and every row's answer is in it.
class LiveRecording final : public kline::LineTap {
  public:
    explicit LiveRecording(RecordingDisk& disk = SystemDisk()) : disk_(disk) {}
    // Ends a running recording keeping what it has; never waits for the disk: a thread
    // still writing finishes on its own, and the program's end waits a few seconds for it.
    ~LiveRecording() override;
    LiveRecording(const LiveRecording&) = delete;
    LiveRecording& operator=(const LiveRecording&) = delete;

    // Starts the recording's thread (before the line tap is set), which creates `folder` when
    // needed and in it the files STEM.csv and STEM.trace (with "_2", "_3" .. when that name
    // is taken), and returns at once; Fault() tells when they could not be made. `lineIdle`:
    // no exchange is on the line now, so the trace begins at once; otherwise it begins at the
    // next row's hand-over and that row, whose exchange began before, is not written.
    void Start(const std::filesystem::path& folder, const std::string& stem,
               const std::vector<RecordedColumn>& columns, const std::string& about,
               int64_t nowMicros, bool lineIdle);
    // The same with the paths given.
    void StartFiles(const std::filesystem::path& csv, const std::filesystem::path& trace,
                    const std::vector<RecordedColumn>& columns, const std::string& about,
                    int64_t nowMicros, bool lineIdle);

    // A row of the values as the panels show them, handed over after a good answer while
    // the poller waits: the line is idle. Only queued here.
    void AddValues(const std::vector<std::string>& values, int64_t nowMicros);
    // A byte or break on the line; only queued here.
    void OnLine(const platform::TraceByte& event) override;

    // Ends the recording and returns at once; the thread writes what is kept and closes the
    // files. `lineIdle`: nothing is on the line and the trace keeps every byte; otherwise
    // it ends with the answer of the last row, and the exchange in flight is left out whole.
    void End(bool lineIdle);

    bool Running() const { return thread_.joinable() && !ended_; }
    // Waits, at most `timeout`, until the thread has closed the files (or found that it could
    // not make them); for callers that may wait for the disk.
    bool WaitClosed(std::chrono::milliseconds timeout) const;
    // Waits, at most `timeout`, until every recording whose owner has gone has closed its
    // files; for callers that may wait for the disk.
    static bool WaitAllClosed(std::chrono::milliseconds timeout);
    RecordingFault Fault() const { return shared_ ? shared_->fault.load() : RecordingFault::None; }
    int Rows() const { return rows_; }
    int64_t ElapsedMs(int64_t nowMicros) const { return (nowMicros - startMicros_) / 1000; }
    // Known once the thread has made the files; empty before.
    std::filesystem::path CsvPath() const;
    std::filesystem::path TracePath() const;

  private:
    // What the window's side and the recording's thread share; it lives as long as the
    // last of them.
    struct Shared {
        explicit Shared(RecordingDisk& d) : disk(d) {}
        RecordingDisk& disk;
        std::filesystem::path folder;  // with `stem`; without one, the two paths given
        std::string stem;
        std::filesystem::path givenCsv;
        std::filesystem::path givenTrace;
        std::string csvHeader;
        std::string traceHeader;
        std::atomic<RecordingFault> fault{RecordingFault::None};

        mutable std::mutex mutex;
        std::condition_variable wake;
        mutable std::condition_variable done;
        std::vector<std::string> rows;
        std::vector<platform::TraceByte> bytes;
        size_t idleBytes = 0;  // the bytes before the line was last known idle
        bool traceBegun = false;
        bool ending = false;
        bool closed = false;
        std::filesystem::path csvPath;
        std::filesystem::path tracePath;
    };
    class Writer;     // the thread's body
    class Finishing;  // the threads whose recording has gone

    void Begin(std::shared_ptr<Shared> shared, const std::vector<RecordedColumn>& columns,
               const std::string& about, int64_t nowMicros, bool lineIdle);
    // Ends and lets go of the thread: joined when it is returning, else left to finish.
    void Release();
    static Finishing& Finishers();

    RecordingDisk& disk_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool ended_ = false;
    int64_t startMicros_ = 0;
    int rows_ = 0;
};

}  // namespace diag
