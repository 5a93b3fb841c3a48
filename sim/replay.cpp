#include "sim/replay.h"

#include <cstdio>

#include "sim/ecu_records.h"
#include "sim/kwp_frame.h"
#include "sim/line_timing.h"

namespace sim {

namespace {

constexpr uint8_t kTester = 0xF1;
constexpr uint8_t kStartCommunication = 0x81;
constexpr uint8_t kStopCommunication = 0x82;
constexpr uint8_t kLiveData = 0x21;

// Only physical addressing (format 10xxxxxx) carries a frame for the tester.
bool AddressedFrame(uint8_t format) {
    return (format & 0xC0) == 0x80;
}

size_t DataStart(const std::vector<uint8_t>& frame) {
    return (frame[0] & 0x3F) ? 3 : 4;
}

struct Request {
    uint8_t target = 0;
    std::vector<uint8_t> data;  // SID first
};

// The tester's bytes as one request frame; nothing for other bytes (the adapter's 0xAA) or a
// frame without a SID.
std::optional<Request> RequestOf(const std::vector<uint8_t>& bytes) {
    if (!AddressedFrame(bytes[0]) || platform::KwpFrameSize(bytes) != bytes.size() ||
        bytes.size() <= DataStart(bytes) + 1)
        return std::nullopt;
    const auto data = bytes.begin() + static_cast<std::ptrdiff_t>(DataStart(bytes));
    return Request{bytes[1], {data, bytes.end() - 1}};
}

// The bytes hold as many as their frame's format and length bytes say, or more.
bool HoldWholeFrame(const std::vector<uint8_t>& bytes) {
    const size_t size = platform::KwpFrameSize(bytes);
    return size != 0 && bytes.size() >= size;
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
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
    *this = TraceReplay();
    std::optional<Pending> pending;
    std::vector<uint8_t> joining;  // the tester's frame, maybe split over lines
    int64_t joiningEnd = 0;
    const auto finish = [&](bool last) {
        const bool ok = !pending || Finish(*pending, last, error);
        pending.reset();
        return ok;
    };
    for (const platform::TraceLine& line : lines) {
        const int64_t span = static_cast<int64_t>(line.bytes.size()) * kByteMicros;
        if (line.kind != platform::TraceKind::Tester)
            joining.clear();  // an unfinished frame of the tester is no request
        switch (line.kind) {
            case platform::TraceKind::Tester:
                if (line.micros - joiningEnd > kFrameDropIdleMicros)
                    joining.clear();  // the ECU's receiver has dropped the unfinished frame
                if (joining.empty() && !finish(false))
                    return false;
                joining.insert(joining.end(), line.bytes.begin(), line.bytes.end());
                joiningEnd = line.micros + span;
                if (!HoldWholeFrame(joining))
                    break;  // an older trace may hold the rest on the next line
                if (std::optional<Request> request = RequestOf(joining))
                    pending = Pending{*request, line.micros + span, false, {}, 0, 0};
                joining.clear();
                break;
            case platform::TraceKind::Echo:
                // The station's own trace times a byte when it has arrived: the echo of the
                // request's last byte ends one byte time after it began.
                if (pending && pending->answer.empty()) {
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
    if (byService_.empty())
        error = {0, "no ECU answer to replay"};
    return !byService_.empty();
}

bool TraceReplay::Finish(Pending& pending, bool last, platform::TraceError& error) {
    if (pending.answer.empty())
        return true;  // unanswered: the replay answers what was answered
    for (size_t at = 0; last && at < pending.answer.size();) {
        if (!AddressedFrame(pending.answer[at])) {
            error = {pending.answerLine, "the ECU's answer is no KWP frame"};
            return false;
        }
        const std::span<const uint8_t> rest(pending.answer.begin() + static_cast<long>(at),
                                            pending.answer.end());
        const size_t size = platform::KwpFrameSize(rest);
        if (size == 0 || size > rest.size()) {
            const std::string held =
                std::to_string(rest.size()) +
                (size ? " of " + std::to_string(size) + " bytes" : " bytes of a longer frame");
            warnings_.push_back({pending.answerLine,
                                 "the trace ends inside an exchange: its answer is cut short (" +
                                     held + ") and is left out"});
            return true;
        }
        at += size;
    }
    if (ecuAddress_ != 0 && pending.request.target != ecuAddress_) {
        error = {pending.answerLine, "answers for two ECU addresses: 0x" + Hex(ecuAddress_) +
                                         " and 0x" + Hex(pending.request.target)};
        return false;
    }
    ecuAddress_ = pending.request.target;
    // The station's own trace times a byte when it read it: a delay beyond the ECU's P2max
    // there is the station's lateness in reading, which the replay must not repeat.
    const int64_t delay = std::max<int64_t>(0, pending.answerStart - pending.requestEnd);
    const Recorded recorded{pending.answer,
                            pending.echoSeen ? std::min(delay, kP2MaxMicros) : delay};
    const uint8_t sid = pending.request.data[0];
    byRequest_[pending.request.data].list.push_back(recorded);
    byService_[sid].list.push_back(recorded);
    const size_t answerSid = DataStart(pending.answer);
    if (sid == kLiveData && answerSid < pending.answer.size() &&
        pending.answer[answerSid] == (kLiveData | 0x40))
        ++positiveLiveAnswers_;
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

std::optional<int> TraceReplay::EcuType() const {
    for (int type : {0, 1})
        if (FamilyOf(type).address == ecuAddress_)
            return type;
    return std::nullopt;
}

std::string TraceReplay::Summary() const {
    const std::optional<int> type = EcuType();
    std::string text = type ? "ECU type " + std::to_string(*type) : "an ECU of no known type";
    text += " at address 0x" + Hex(ecuAddress_) + "; answers by service:";
    for (const auto& [sid, answers] : byService_)
        text += (sid == byService_.begin()->first ? " " : ", ") + Hex(sid) + " x" +
                std::to_string(answers.list.size());
    return text;
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
