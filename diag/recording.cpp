#include "diag/recording.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

namespace diag {

namespace {

// The writer wakes at least this often to flush a trace burst that has ended.
constexpr auto kWriterPeriod = std::chrono::milliseconds(200);

// "-12.5", "0,75", "6000": what the number helper writes, with either separator.
bool IsNumberText(std::string_view text) {
    bool digit = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (!((c == '-' && i == 0) || c == '.' || c == ','))
            return false;
    }
    return digit;
}

std::tm LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    // Only the window's thread asks, so the shared result of localtime is not raced.
    const std::tm* local = std::localtime(&seconds);
    return local ? *local : std::tm{};
}

}  // namespace

std::string CsvField(std::string_view text) {
    if (IsNumberText(text)) {
        std::string number(text);
        for (char& c : number)
            if (c == '.')
                c = ',';
        return number;
    }
    if (text.find_first_of(";\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvHeader(const std::vector<RecordedColumn>& columns) {
    std::string row = "Время, мс;Время";
    for (const RecordedColumn& c : columns) {
        row += ';';
        row += CsvField(c.unit.empty() ? c.shortName : c.shortName + ", " + c.unit);
    }
    return row + "\r\n";
}

std::string CsvRow(int64_t elapsedMs, std::string_view wallClock,
                   const std::vector<std::string>& values) {
    // Appended piece by piece: a literal joined to a temporary string makes GCC 12 warn
    // falsely (-Wrestrict) in release builds.
    std::string row = std::to_string(elapsedMs);
    row += ';';
    row += CsvField(wallClock);
    for (const std::string& value : values) {
        row += ';';
        row += CsvField(value);
    }
    return row + "\r\n";
}

std::string WallClockText(std::chrono::system_clock::time_point when) {
    const std::tm local = LocalTime(when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d,%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms.count() % 1000));
    return text;
}

std::string RecordingStem(std::chrono::system_clock::time_point when) {
    const std::tm local = LocalTime(when);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// --- the disk -------------------------------------------------------------------------------

namespace {

class SystemFile final : public RecordingFile {
  public:
    explicit SystemFile(const std::filesystem::path& path)
        : out_(path, std::ios::binary | std::ios::trunc) {}
    bool IsOpen() const { return out_.is_open(); }
    bool Write(std::string_view bytes) override {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }
    bool Flush() override { return static_cast<bool>(out_.flush()); }
    bool Close() override {
        out_.close();
        return !out_.fail();
    }

  private:
    std::ofstream out_;
};

}  // namespace

// A folder that cannot be made fails at its files.
void RecordingDisk::MakeFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
}

bool RecordingDisk::Exists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

std::unique_ptr<RecordingFile> RecordingDisk::Create(const std::filesystem::path& path) {
    auto file = std::make_unique<SystemFile>(path);
    return file->IsOpen() ? std::move(file) : nullptr;
}

void RecordingDisk::Remove(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

RecordingDisk& SystemDisk() {
    static RecordingDisk disk;
    return disk;
}

// --- the recording's thread -------------------------------------------------------------------

// Makes the files, then writes what the window's side queues: the rows as they come, the
// trace up to where the line was last idle (at least every kWriterPeriod), and all that is
// kept at the end. After a failed write it writes nothing more but still closes the files.
class LiveRecording::Writer {
  public:
    Writer(std::shared_ptr<Shared> shared, int64_t originMicros)
        : s_(std::move(shared)), trace_(originMicros) {}

    void Run() {
        if (!MakeFiles()) {
            s_->fault = RecordingFault::NotCreated;
        } else {
            Write(s_->csvHeader, s_->traceHeader);
            while (WriteQueued()) {
            }
            const bool csvClosed = csv_->Close();
            const bool traceClosed = traceFile_->Close();
            if (!(csvClosed && traceClosed) && s_->fault == RecordingFault::None)
                s_->fault = RecordingFault::WriteFailed;
        }
        std::lock_guard lock(s_->mutex);
        s_->closed = true;
        s_->done.notify_all();
    }

  private:
    std::filesystem::path FreeName(const char* extension) {
        for (int n = 1;; ++n) {
            const std::string name = n == 1 ? s_->stem : s_->stem + "_" + std::to_string(n);
            if (!s_->disk.Exists(s_->folder / (name + ".csv")) &&
                !s_->disk.Exists(s_->folder / (name + ".trace")))
                return s_->folder / (name + extension);
        }
    }

    bool MakeFiles() {
        std::filesystem::path csv = s_->givenCsv;
        std::filesystem::path trace = s_->givenTrace;
        // Two recordings begun in one second (a group change) look for free names one after
        // the other, or both would find the same one free.
        static std::mutex naming;
        std::lock_guard named(naming);
        if (!s_->stem.empty()) {
            s_->disk.MakeFolder(s_->folder);
            csv = FreeName(".csv");
            trace = FreeName(".trace");
        }
        csv_ = s_->disk.Create(csv);
        traceFile_ = s_->disk.Create(trace);
        if (!csv_ || !traceFile_) {
            csv_.reset();
            traceFile_.reset();
            s_->disk.Remove(csv);
            s_->disk.Remove(trace);
            return false;
        }
        const std::string csvName =
            reinterpret_cast<const char*>(csv.filename().u8string().c_str());
        s_->traceHeader += csvName + "\n" + kTraceColumnsNote;
        std::lock_guard lock(s_->mutex);
        s_->csvPath = csv;
        s_->tracePath = trace;
        return true;
    }

    // One round; false once the last one has been written.
    bool WriteQueued() {
        std::vector<std::string> rows;
        std::vector<platform::TraceByte> bytes;
        bool last = false;
        {
            std::unique_lock lock(s_->mutex);
            s_->wake.wait_for(lock, kWriterPeriod,
                              [this] { return s_->ending || !s_->rows.empty(); });
            rows.swap(s_->rows);
            const auto idle = s_->bytes.begin() + static_cast<std::ptrdiff_t>(s_->idleBytes);
            bytes.assign(s_->bytes.begin(), idle);
            s_->bytes.erase(s_->bytes.begin(), idle);
            s_->idleBytes = 0;
            last = s_->ending;
        }
        std::string csv;
        for (const std::string& row : rows) csv += row;
        std::string trace;
        for (const platform::TraceByte& event : bytes)
            for (const std::string& line : trace_.Add(event)) trace += line + '\n';
        // The line was idle here: an unfinished frame has ended.
        for (const std::string& line : trace_.Flush(0, true)) trace += line + '\n';
        Write(csv, trace);
        return !last;
    }

    // Flushed every round: a recording cut off by a crash or a pulled stick keeps its rows.
    void Write(const std::string& csv, const std::string& trace) {
        if (s_->fault != RecordingFault::None || (csv.empty() && trace.empty()))
            return;
        bool written = csv_->Write(csv);
        written = traceFile_->Write(trace) && written;
        written = csv_->Flush() && written;
        written = traceFile_->Flush() && written;
        if (!written)
            s_->fault = RecordingFault::WriteFailed;
    }

    static constexpr const char* kTraceColumnsNote =
        "# время в секундах от начала записи; tester: передано, echo: эхо переданного, "
        "ecu: ответ ЭБУ\n";

    std::shared_ptr<Shared> s_;
    platform::TraceWriter trace_;
    std::unique_ptr<RecordingFile> csv_;
    std::unique_ptr<RecordingFile> traceFile_;
};

// --- recordings that have gone before their thread --------------------------------------

// Recordings whose owner has gone while their thread was still at the disk finish here. The
// program's end waits a few seconds for them, so that closing the station right after a
// recording keeps its last rows; a disk hung longer than that is left behind.
class LiveRecording::Finishing {
  public:
    ~Finishing() {
        WaitAll(kExitWait);
        for (Thread& t : threads_) t.thread.detach();
    }

    void Add(std::thread thread, std::shared_ptr<Shared> shared) {
        std::lock_guard lock(mutex_);
        std::erase_if(threads_, [](Thread& t) { return t.JoinedIfClosed(); });
        threads_.push_back({std::move(thread), std::move(shared)});
    }

    bool WaitAll(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::lock_guard lock(mutex_);
        for (Thread& t : threads_) {
            std::unique_lock closing(t.shared->mutex);
            t.shared->done.wait_until(closing, deadline, [&t] { return t.shared->closed; });
        }
        std::erase_if(threads_, [](Thread& t) { return t.JoinedIfClosed(); });
        return threads_.empty();
    }

  private:
    static constexpr auto kExitWait = std::chrono::seconds(5);

    struct Thread {
        std::thread thread;
        std::shared_ptr<Shared> shared;
        bool JoinedIfClosed() {
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->closed)
                    return false;
            }
            thread.join();  // it is returning
            return true;
        }
    };

    std::mutex mutex_;
    std::vector<Thread> threads_;
};

LiveRecording::Finishing& LiveRecording::Finishers() {
    static Finishing finishing;
    return finishing;
}

bool LiveRecording::WaitAllClosed(std::chrono::milliseconds timeout) {
    return Finishers().WaitAll(timeout);
}

// --- the window's side --------------------------------------------------------------------

LiveRecording::~LiveRecording() {
    Release();
}

void LiveRecording::Release() {
    End(true);
    if (thread_.joinable())
        Finishers().Add(std::move(thread_), shared_);
}

void LiveRecording::Start(const std::filesystem::path& folder, const std::string& stem,
                          const std::vector<RecordedColumn>& columns, const std::string& about,
                          int64_t nowMicros, bool lineIdle) {
    auto shared = std::make_shared<Shared>(disk_);
    shared->folder = folder;
    shared->stem = stem;
    Begin(std::move(shared), columns, about, nowMicros, lineIdle);
}

void LiveRecording::StartFiles(const std::filesystem::path& csv, const std::filesystem::path& trace,
                               const std::vector<RecordedColumn>& columns, const std::string& about,
                               int64_t nowMicros, bool lineIdle) {
    auto shared = std::make_shared<Shared>(disk_);
    shared->givenCsv = csv;
    shared->givenTrace = trace;
    Begin(std::move(shared), columns, about, nowMicros, lineIdle);
}

void LiveRecording::Begin(std::shared_ptr<Shared> shared,
                          const std::vector<RecordedColumn>& columns, const std::string& about,
                          int64_t nowMicros, bool lineIdle) {
    Release();
    shared->csvHeader = std::string(kUtf8Bom) + CsvHeader(columns);
    shared->traceHeader = "# Линия K, " + about + "; значения в ";
    shared->traceBegun = lineIdle;
    shared_ = shared;
    startMicros_ = nowMicros;
    rows_ = 0;
    ended_ = false;
    thread_ = std::thread([shared, nowMicros] { Writer(shared, nowMicros).Run(); });
}

void LiveRecording::AddValues(const std::vector<std::string>& values, int64_t nowMicros) {
    if (!Running() || Fault() != RecordingFault::None)
        return;
    std::string row =
        CsvRow(ElapsedMs(nowMicros), WallClockText(std::chrono::system_clock::now()), values);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->idleBytes = shared_->bytes.size();
        if (!shared_->traceBegun) {
            shared_->traceBegun = true;  // this answer's exchange began before the trace
            return;
        }
        shared_->rows.push_back(std::move(row));
    }
    ++rows_;
    shared_->wake.notify_one();
}

void LiveRecording::OnLine(const platform::TraceByte& event) {
    if (!shared_ || Fault() != RecordingFault::None)
        return;
    std::lock_guard lock(shared_->mutex);
    if (shared_->traceBegun && !shared_->ending)
        shared_->bytes.push_back(event);
}

void LiveRecording::End(bool lineIdle) {
    if (!Running())
        return;
    ended_ = true;
    {
        std::lock_guard lock(shared_->mutex);
        if (!lineIdle)
            shared_->bytes.resize(shared_->idleBytes);  // the exchange in flight goes whole
        shared_->idleBytes = shared_->bytes.size();
        shared_->ending = true;
    }
    shared_->wake.notify_one();
}

bool LiveRecording::WaitClosed(std::chrono::milliseconds timeout) const {
    if (!shared_)
        return true;
    std::unique_lock lock(shared_->mutex);
    return shared_->done.wait_for(lock, timeout, [this] { return shared_->closed; });
}

std::filesystem::path LiveRecording::CsvPath() const {
    if (!shared_)
        return {};
    std::lock_guard lock(shared_->mutex);
    return shared_->csvPath;
}

std::filesystem::path LiveRecording::TracePath() const {
    if (!shared_)
        return {};
    std::lock_guard lock(shared_->mutex);
    return shared_->tracePath;
}

}  // namespace diag
