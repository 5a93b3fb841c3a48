#include "sim/replay.h"

#include "sim/kwp_frame.h"
#include "sim/line_timing.h"

namespace sim {

namespace {

constexpr uint8_t kTester = 0xF1;
constexpr uint8_t kStartCommunication = 0x81;
constexpr uint8_t kStopCommunication = 0x82;

// The size of the frame that starts at `at`, or 0 when the bytes there are no frame
// header: format 0x80..0xBF, target, source, the length byte when the format has none.
size_t FrameSize(const std::vector<uint8_t>& bytes, size_t at) {
    const uint8_t format = bytes[at];
    if ((format & 0xC0) != 0x80)
        return 0;
    size_t length = format & 0x3F;
    size_t header = 3;
    if (length == 0) {
        if (at + 3 >= bytes.size())
            return 5;  // at least the header and a checksum: reported as cut short
        length = bytes[at + 3];
        header = 4;
    }
    return header + length + 1;
}

struct Request {
    uint8_t target = 0;
    std::vector<uint8_t> data;  // SID first
};

// The tester's bytes as one request frame; nothing for other bytes (the adapter's 0xAA).
std::optional<Request> RequestOf(const std::vector<uint8_t>& bytes) {
    const size_t size = FrameSize(bytes, 0);
    if (size == 0 || size != bytes.size())
        return std::nullopt;
    const size_t header = (bytes[0] & 0x3F) ? 3 : 4;
    if (size <= header + 1)
        return std::nullopt;  // no SID
    return Request{bytes[1],
                   {bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end() - 1}};
}

}  // namespace

// A request of the trace, the answer bytes after it (until the tester speaks or breaks
// again), and the times to derive the answer delay from.
struct TraceReplay::Pending {
    Request request;
    int64_t requestEnd = 0;  // the last request byte has ended on the line
    bool echoSeen = false;
    std::vector<uint8_t> answer;
    int64_t answerStart = 0;
    size_t answerLine = 0;
};

std::optional<Answer> TraceReplay::Answers::Next() {
    if (list.empty())
        return std::nullopt;
    const Recorded& r = list[next];
    next = (next + 1) % list.size();
    return Answer{r.bytes, r.delayMicros};
}

bool TraceReplay::Load(const std::vector<platform::TraceLine>& lines, platform::TraceError& error) {
    byRequest_.clear();
    byService_.clear();
    std::optional<Pending> pending;
    const auto finish = [&](bool last) {
        const bool ok = !pending || Finish(*pending, last, error);
        pending.reset();
        return ok;
    };
    for (const platform::TraceLine& line : lines) {
        const int64_t span = static_cast<int64_t>(line.bytes.size()) * kByteMicros;
        switch (line.kind) {
            case platform::TraceKind::Tester:
                if (!finish(false))
                    return false;
                if (std::optional<Request> request = RequestOf(line.bytes)) {
                    pending = Pending{*request, line.micros + span, false, {}, 0, 0};
                }
                break;
            case platform::TraceKind::Echo:
                // The station's own trace times a byte when it has arrived: the echo of the
                // request's first byte ends one byte time after it began.
                if (pending && !pending->echoSeen && pending->answer.empty()) {
                    pending->echoSeen = true;
                    pending->requestEnd = line.micros + span - kByteMicros;
                }
                break;
            case platform::TraceKind::Ecu:
                if (!pending)
                    break;  // nobody asked: the adapter's reading of a break
                if (pending->answer.empty()) {
                    pending->answerStart = line.micros - (pending->echoSeen ? kByteMicros : 0);
                    pending->answerLine = line.number;
                }
                pending->answer.insert(pending->answer.end(), line.bytes.begin(), line.bytes.end());
                break;
            case platform::TraceKind::BreakSet:
            case platform::TraceKind::BreakClear:
                if (!finish(false))
                    return false;
                break;
        }
    }
    if (!finish(true))
        return false;
    if (byService_.empty()) {
        error = {0, "no ECU answer to replay"};
        return false;
    }
    return true;
}

bool TraceReplay::Finish(Pending& pending, bool last, platform::TraceError& error) {
    if (pending.answer.empty())
        return true;  // unanswered: the replay answers what was answered
    for (size_t at = 0; last && at < pending.answer.size();) {
        const size_t size = FrameSize(pending.answer, at);
        if (size == 0) {
            error = {pending.answerLine, "the ECU's answer is no KWP frame"};
            return false;
        }
        if (at + size > pending.answer.size()) {
            error = {pending.answerLine, "the ECU's answer is cut short: " +
                                             std::to_string(pending.answer.size() - at) + " of " +
                                             std::to_string(size) + " bytes"};
            return false;
        }
        at += size;
    }
    ecuAddress_ = pending.request.target;
    const Recorded recorded{pending.answer,
                            std::max<int64_t>(0, pending.answerStart - pending.requestEnd)};
    byRequest_[pending.request.data].list.push_back(recorded);
    byService_[pending.request.data[0]].list.push_back(recorded);
    return true;
}

std::optional<Answer> TraceReplay::OnRequest(const RequestFrame& frame, bool) {
    if (!frame.checksumOk || !frame.addressed || frame.target != ecuAddress_ || frame.data.empty())
        return std::nullopt;
    if (auto exact = byRequest_.find(frame.data); exact != byRequest_.end())
        return exact->second.Next();
    const uint8_t sid = frame.data[0];
    if (auto service = byService_.find(sid); service != byService_.end())
        return service->second.Next();
    // Key bytes as ISO 14230-2 5.2.4.1 gives them for both header formats.
    if (sid == kStartCommunication)
        return Answer{EncodeFrame(kTester, ecuAddress_, {0xC1, 0xEF, 0x8F}), kDefaultP2Micros};
    if (sid == kStopCommunication)
        return Answer{EncodeFrame(kTester, ecuAddress_, {0xC2}), kDefaultP2Micros};
    return std::nullopt;
}

size_t TraceReplay::AnswerCount(uint8_t sid) const {
    const auto service = byService_.find(sid);
    return service == byService_.end() ? 0 : service->second.list.size();
}

bool LoadReplay(std::istream& in, TraceReplay& replay, std::string& error) {
    std::vector<platform::TraceLine> lines;
    platform::TraceError wrong;
    if (!platform::ReadTrace(in, lines, wrong) || !replay.Load(lines, wrong)) {
        error = std::to_string(wrong.line) + ": " + wrong.what;
        return false;
    }
    return true;
}

}  // namespace sim
