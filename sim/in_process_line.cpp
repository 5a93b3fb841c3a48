#include "sim/in_process_line.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "sim/ecu_records.h"
#include "sim/line_timing.h"

namespace sim {

namespace {

constexpr uint8_t kLiveDataSid = 0x21;
// Some forty hours of polling.
constexpr uintmax_t kLargestTrace = 200u << 20;

// The ECU as kline-sim serves it for `family`: its defaults, and StartCommunication taken
// after an idle line too, since a system sleep may stretch the wake-up's 25 ms past what the
// ECU takes for one (a coarse timer on Windows).
EcuOptions DemonstrationEcu(int family) {
    EcuOptions options;
    options.type = family == 0 ? 0 : 1;
    options.idleWakeUp = true;
    return options;
}

// A request of the station whose format byte holds the length (it sends no other): target,
// source, then the service.
bool IsLiveDataRequest(const std::vector<uint8_t>& bytes) {
    return bytes.size() > 3 && (bytes[0] & 0xC0) == 0x80 && (bytes[0] & 0x3F) != 0 &&
           bytes[3] == kLiveDataSid;
}

std::optional<int> FamilyAt(uint8_t address) {
    for (int type : {0, 1})
        if (FamilyOf(type).address == address)
            return type;
    return std::nullopt;
}

}  // namespace

InProcessLine::InProcessLine(platform::Clock& clock, int family)
    : backend_(clock, DemonstrationEcu(family)), family_(family == 0 ? 0 : 1) {}

InProcessLine::InProcessLine(platform::Clock& clock, std::unique_ptr<TraceReplay> replay,
                             int family)
    : replay_(std::move(replay)), backend_(clock, DemonstrationEcu(family)), family_(family) {
    backend_.SetAnswerSource(replay_.get());
}

// A port still held by the station keeps the devices alive: it must not reach the replay.
InProcessLine::~InProcessLine() {
    backend_.SetAnswerSource(nullptr);
}

std::unique_ptr<InProcessLine> InProcessLine::PlayRecording(platform::Clock& clock,
                                                            const std::filesystem::path& file,
                                                            RecordingError& error,
                                                            std::string& detail) {
    error = RecordingError::Unreadable;
    // Only a file of a reasonable size is read whole: not a device that never ends, nor a
    // film chosen by mistake.
    std::error_code why;
    if (!std::filesystem::is_regular_file(file, why) ||
        std::filesystem::file_size(file, why) > kLargestTrace || why) {
        detail = "0: no line trace of at most 200 MB";
        return nullptr;
    }
    auto replay = std::make_unique<TraceReplay>();
    std::ifstream in(file, std::ios::binary);
    if (!in || !LoadReplay(in, *replay, detail))
        return nullptr;
    const std::optional<int> family = FamilyAt(replay->EcuAddress());
    if (!family) {
        error = RecordingError::OtherEcu;
        return nullptr;
    }
    if (replay->AnswerCount(kLiveDataSid) == 0) {
        error = RecordingError::NoLiveData;
        return nullptr;
    }
    std::vector<platform::TraceLine> lines;
    platform::TraceError unread;
    std::ifstream again(file, std::ios::binary);
    platform::ReadTrace(again, lines, unread);  // the loader has taken it: it reads
    std::unique_ptr<InProcessLine> line(new InProcessLine(clock, std::move(replay), *family));
    line->recordedPauseMs_ = sim::RecordedPauseMs(lines);
    error = RecordingError::None;
    return line;
}

int RecordedPauseMs(const std::vector<platform::TraceLine>& lines) {
    std::vector<int64_t> pauses;
    bool answered = false;  // the ECU has spoken since the station last did
    int64_t answerEnd = 0;
    for (const platform::TraceLine& line : lines) {
        const auto bytes = static_cast<int64_t>(line.bytes.size());
        if (line.kind == platform::TraceKind::Ecu && bytes > 0) {
            // A line is timed by its first byte; the last one has arrived this much later.
            answered = true;
            answerEnd = line.micros + (bytes - 1) * kByteMicros;
        } else if (line.kind == platform::TraceKind::Tester ||
                   line.kind == platform::TraceKind::BreakSet) {
            if (answered && line.kind == platform::TraceKind::Tester &&
                IsLiveDataRequest(line.bytes))
                pauses.push_back(line.micros - answerEnd);
            answered = false;
        }
    }
    if (pauses.empty())
        return 0;
    const auto middle = pauses.begin() + static_cast<std::ptrdiff_t>(pauses.size() / 2);
    std::nth_element(pauses.begin(), middle, pauses.end());
    return static_cast<int>(std::max<int64_t>(0, *middle / 1000));
}

}  // namespace sim
