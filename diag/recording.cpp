#include "diag/recording.h"

#include <cstdio>
#include <ctime>
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

std::filesystem::path FreeName(const std::filesystem::path& folder, const std::string& stem,
                               const char* extension) {
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? stem : stem + "_" + std::to_string(n);
        std::error_code ignored;
        if (!std::filesystem::exists(folder / (name + ".csv"), ignored) &&
            !std::filesystem::exists(folder / (name + ".trace"), ignored))
            return folder / (name + extension);
    }
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

LiveRecording::~LiveRecording() {
    End();
}

bool LiveRecording::Start(const std::filesystem::path& folder,
                          const std::vector<RecordedColumn>& columns, const std::string& about,
                          int64_t nowMicros) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string stem = RecordingStem(std::chrono::system_clock::now());
    return StartFiles(FreeName(folder, stem, ".csv"), FreeName(folder, stem, ".trace"), columns,
                      about, nowMicros);
}

bool LiveRecording::StartFiles(const std::filesystem::path& csv, const std::filesystem::path& trace,
                               const std::vector<RecordedColumn>& columns, const std::string& about,
                               int64_t nowMicros) {
    End();
    csv_.open(csv, std::ios::binary | std::ios::trunc);
    trace_.open(trace, std::ios::binary | std::ios::trunc);
    if (!csv_ || !trace_) {
        csv_.close();
        trace_.close();
        std::error_code ignored;
        std::filesystem::remove(csv, ignored);
        std::filesystem::remove(trace, ignored);
        return false;
    }
    csvPath_ = csv;
    tracePath_ = trace;
    startMicros_ = nowMicros;
    rows_ = 0;
    failed_ = false;
    requestSeen_ = false;
    closing_ = false;
    traceWriter_ = platform::TraceWriter(nowMicros);
    queuedRows_ = {std::string(kUtf8Bom) + CsvHeader(columns)};
    queuedBytes_.clear();
    const std::string csvName = reinterpret_cast<const char*>(csv.filename().u8string().c_str());
    trace_ << "# Линия K, " << about << "; значения в " << csvName << "\n"
           << "# время в секундах от начала записи; tester: передано, echo: эхо переданного, "
              "ecu: ответ ЭБУ\n";
    thread_ = std::thread([this] { Run(); });
    return true;
}

void LiveRecording::AddValues(const std::vector<std::string>& values, int64_t nowMicros) {
    if (!Running() || failed_ || !requestSeen_)
        return;
    std::string row =
        CsvRow(ElapsedMs(nowMicros), WallClockText(std::chrono::system_clock::now()), values);
    {
        std::lock_guard lock(mutex_);
        queuedRows_.push_back(std::move(row));
    }
    ++rows_;
    wake_.notify_one();
}

void LiveRecording::OnLine(const platform::TraceByte& event) {
    if (failed_)
        return;
    if (event.kind == platform::TraceKind::Tester)
        requestSeen_ = true;
    std::lock_guard lock(mutex_);
    if (!closing_)
        queuedBytes_.push_back(event);
}

void LiveRecording::End() {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    csv_.close();
    trace_.close();
}

void LiveRecording::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kWriterPeriod, [this] { return closing_ || !queuedRows_.empty(); });
        std::vector<std::string> rows;
        std::vector<platform::TraceByte> bytes;
        rows.swap(queuedRows_);
        bytes.swap(queuedBytes_);
        const bool last = closing_;
        lock.unlock();
        WriteOut(rows, bytes, last);
        if (last)
            return;
        lock.lock();
    }
}

void LiveRecording::WriteOut(std::vector<std::string>& rows,
                             std::vector<platform::TraceByte>& bytes, bool last) {
    if (failed_)
        return;
    for (const std::string& row : rows) csv_ << row;
    for (const platform::TraceByte& event : bytes)
        for (const std::string& line : traceWriter_.Add(event)) trace_ << line << '\n';
    if (last)  // the burst still open has ended with the recording
        for (const std::string& line : traceWriter_.Flush(0, true)) trace_ << line << '\n';
    // Flushed every round: a recording cut off by a crash or a pulled stick keeps its rows.
    csv_.flush();
    trace_.flush();
    if (!csv_ || !trace_)
        failed_ = true;
}

}  // namespace diag
