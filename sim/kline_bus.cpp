#include "sim/kline_bus.h"

#include <algorithm>

#include "sim/line_timing.h"

namespace sim {

KLineBus::KLineBus(const EcuOptions& options)
    : idleWakeUp_(options.idleWakeUp), strictWakeUp_(options.strictWakeUp), ecu_(options) {}

int64_t KLineBus::SendByte(uint8_t byte, int64_t now) {
    Commit(now);
    const int64_t start = std::max(now, testerFreeAt_);
    const int64_t end = start + kByteMicros;
    testerFreeAt_ = end;
    Record({start, LineEventKind::TesterByte, byte});
    // While the break holds the line low the byte does not get through.
    if (adapter_ == AdapterMode::Absent || breakOn_)
        return end;
    CancelPendingAnswers();
    Deliver(end, byte);  // the echo
    if (adapter_ == AdapterMode::Normal)
        Receive(byte, start, end);
    lastActivityEnd_ = std::max(lastActivityEnd_, end);
    return end;
}

int64_t KLineBus::SendByteAtRate(uint8_t byte, uint32_t baud, int64_t now) {
    if (baud == 0 || baud >= kSlowByteBaud)
        return SendByte(byte, now);
    Commit(now);
    const int64_t start = std::max(now, testerFreeAt_);
    // Start bit, then the data bits from the lowest: the line stays low up to the first 1.
    int lowBits = 1;
    while (lowBits < 9 && !(byte & (1u << (lowBits - 1)))) ++lowBits;
    const auto bitsMicros = [baud](int bits) { return int64_t{bits} * 1'000'000 / baud; };
    const int64_t end = start + bitsMicros(10);
    testerFreeAt_ = end;
    if (adapter_ == AdapterMode::Absent || breakOn_) {
        Record({start, LineEventKind::TesterByte, byte});
        return end;
    }
    LineLow(start, start + bitsMicros(lowBits));
    Deliver(end, byte);  // the echo, read at the tester's own rate
    lastActivityEnd_ = std::max(lastActivityEnd_, end);
    return end;
}

void KLineBus::LineLow(int64_t start, int64_t end) {
    Record({start, LineEventKind::BreakSet, 0});
    Record({end, LineEventKind::BreakClear, 0});
    CancelPendingAnswers();
    receiver_.Reset();
    breakStart_ = start;
    const int64_t low = end - start;
    wakeUpPending_ = low >= kWakeUpLowMinMicros && low <= kWakeUpLowMaxMicros;
    breakEnd_ = end;
    lastActivityEnd_ = std::max(lastActivityEnd_, end);
}

void KLineBus::Receive(uint8_t byte, int64_t start, int64_t end) {
    if (receiver_.StartsFrame(start))
        idleBeforeFrame_ = start - lastActivityEnd_;
    std::optional<RequestFrame> frame = receiver_.Feed(byte, start, end);
    if (!frame)
        return;
    requests_.push_back(*frame);
    const bool wokenUp = WokenUp(*frame);
    wakeUpPending_ = false;  // the first frame after a wake-up uses it up
    AnswerSource* source = answers_;
    if (std::optional<Answer> answer =
            source ? source->OnRequest(*frame, wokenUp) : ecu_.OnRequest(*frame, wokenUp))
        Schedule(*answer, end);
}

bool KLineBus::WokenUp(const RequestFrame& frame) const {
    if (wakeUpPending_) {
        const int64_t pattern = frame.startMicros - breakStart_;
        const bool woken =
            strictWakeUp_ ? pattern >= kWakeUpPatternMinMicros && pattern <= kWakeUpPatternMaxMicros
                          : frame.startMicros - breakEnd_ >= kWakeUpIdleMinMicros;
        if (woken)
            return true;
    }
    return idleWakeUp_ && idleBeforeFrame_ >= kIdleWakeUpMicros;
}

void KLineBus::Schedule(const Answer& answer, int64_t requestEnd) {
    // The ECU answers after its delay, and never over its own previous answer.
    int64_t start = std::max(requestEnd + answer.delayMicros, ecuFreeAt_);
    const uint64_t id = nextAnswer_++;
    for (uint8_t byte : answer.frame) {
        ecuOut_.push_back({start, byte, id});
        start += kByteMicros;
    }
    ecuFreeAt_ = start;
}

void KLineBus::SetBreak(int64_t now) {
    Commit(now);
    Record({now, LineEventKind::BreakSet, 0});
    if (breakOn_)
        return;
    breakOn_ = true;
    breakStart_ = now;
    if (adapter_ == AdapterMode::Absent)
        return;
    CancelPendingAnswers();
    receiver_.Reset();
    wakeUpPending_ = false;
    // The adapter's own receiver reads the low line as a null byte (with a framing error).
    Deliver(now + kByteMicros, 0x00);
}

void KLineBus::ClearBreak(int64_t now) {
    Commit(now);
    Record({now, LineEventKind::BreakClear, 0});
    if (!breakOn_)
        return;
    breakOn_ = false;
    if (adapter_ == AdapterMode::Absent)
        return;
    const int64_t low = now - breakStart_;
    wakeUpPending_ = low >= kWakeUpLowMinMicros && low <= kWakeUpLowMaxMicros;
    breakEnd_ = now;
    lastActivityEnd_ = std::max(lastActivityEnd_, now);
}

void KLineBus::CancelPendingAnswers() {
    std::erase_if(ecuOut_, [this](const Scheduled& s) { return s.answer != answerOnLine_; });
    ecuFreeAt_ = ecuOut_.empty() ? ecuCommittedEnd_ : ecuOut_.back().start + kByteMicros;
}

void KLineBus::Record(const LineEvent& event) {
    // Events come almost always in time order; an answer byte may begin before a byte the
    // adapter still holds back, so the place is looked for from the end.
    auto at = log_.end();
    while (at != log_.begin() && (at - 1)->micros > event.micros) --at;
    log_.insert(at, event);
}

void KLineBus::Commit(int64_t now) {
    while (!ecuOut_.empty() && ecuOut_.front().start <= now) {
        const Scheduled s = ecuOut_.front();
        ecuOut_.pop_front();
        answerOnLine_ = s.answer;
        Record({s.start, LineEventKind::EcuByte, s.byte});
        const int64_t end = s.start + kByteMicros;
        ecuCommittedEnd_ = end;
        lastActivityEnd_ = std::max(lastActivityEnd_, end);
        if (adapter_ != AdapterMode::Absent)
            Deliver(end, s.byte);
    }
}

void KLineBus::Deliver(int64_t arrival, uint8_t byte) {
    auto at = std::upper_bound(toTester_.begin(), toTester_.end(), arrival,
                               [](int64_t t, const Arriving& a) { return t < a.arrival; });
    toTester_.insert(at, {arrival, byte});
}

std::optional<int64_t> KLineBus::NextArrival() const {
    std::optional<int64_t> next;
    if (!toTester_.empty())
        next = toTester_.front().arrival;
    if (!ecuOut_.empty() && adapter_ != AdapterMode::Absent) {
        const int64_t ecuArrival = ecuOut_.front().start + kByteMicros;
        if (!next || ecuArrival < *next)
            next = ecuArrival;
    }
    return next;
}

std::optional<uint8_t> KLineBus::TakeByte(int64_t now) {
    Commit(now);
    if (toTester_.empty() || toTester_.front().arrival > now)
        return std::nullopt;
    const uint8_t byte = toTester_.front().byte;
    toTester_.pop_front();
    return byte;
}

void KLineBus::DropArrived(int64_t now) {
    Commit(now);
    while (!toTester_.empty() && toTester_.front().arrival <= now) toTester_.pop_front();
}

const std::vector<LineEvent>& KLineBus::Log(int64_t now) {
    Commit(now);
    return log_;
}

std::vector<LineEvent> KLineBus::TakeLog(int64_t now) {
    Commit(now);
    std::vector<LineEvent> taken;
    taken.swap(log_);
    return taken;
}

std::vector<RequestFrame> KLineBus::TakeRequests() {
    std::vector<RequestFrame> taken;
    taken.swap(requests_);
    return taken;
}

}  // namespace sim
