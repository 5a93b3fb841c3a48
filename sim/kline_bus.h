// The K-line with its devices: the adapter, which puts every byte of the tester on the line
// and echoes it back, and the ECU, whose receiver reads the line byte by byte. Time is given
// by the caller, so the same line runs on a virtual clock in tests and on the real clock
// behind a pseudo-terminal.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/ecu.h"
#include "sim/kwp_frame.h"

namespace sim {

// Below this rate a byte is a long low pulse to the ECU, not a character.
inline constexpr uint32_t kSlowByteBaud = 1200;

enum class AdapterMode : uint8_t {
    Normal,
    Absent,  // no adapter: nothing reaches the line, nothing comes back
    NoEcu,   // an adapter with no ECU on the line: echoes only
};

enum class LineEventKind : uint8_t {
    TesterByte,  // a byte the tester sent (with an absent adapter it reaches nothing)
    EcuByte,     // a byte of the ECU's answer
    BreakSet,    // the adapter pulls the line low
    BreakClear,
};

// One event on the line; bytes at the time they begin, each lasting kByteMicros.
struct LineEvent {
    int64_t micros = 0;
    LineEventKind kind = LineEventKind::TesterByte;
    uint8_t byte = 0;
};

// Answers the ECU's requests in place of the ECU model (a recorded trace played back).
class AnswerSource {
  public:
    virtual ~AnswerSource() = default;
    virtual std::optional<Answer> OnRequest(const RequestFrame& frame, bool wokenUp) = 0;
};

class KLineBus {
  public:
    explicit KLineBus(const EcuOptions& options = {});

    // The tester sends a byte at `now`; the adapter puts it on the line as soon as the line is
    // free of its previous byte. Returns the time the byte has ended.
    int64_t SendByte(uint8_t byte, int64_t now);
    // A byte sent at another rate (the wake-up byte 0x00 at 360 baud): the ECU's receiver at
    // 10400 baud sees only the line low for the start bit and the zero bits after it, then
    // high; the adapter, at the tester's rate, echoes the byte once it has ended.
    // Returns the time the byte has ended. Rates from kSlowByteBaud up count as the line's own.
    int64_t SendByteAtRate(uint8_t byte, uint32_t baud, int64_t now);
    void SetBreak(int64_t now);
    void ClearBreak(int64_t now);

    // Arrival time of the next byte the adapter hands back (an echo or the ECU's), which may
    // already have passed; nothing when none is on its way.
    std::optional<int64_t> NextArrival() const;
    // The next byte that has arrived by `now`.
    std::optional<uint8_t> TakeByte(int64_t now);
    // Drops what has arrived by `now`; bytes still on their way stay.
    void DropArrived(int64_t now);

    void SetAdapter(AdapterMode mode) { adapter_ = mode; }
    AdapterMode Adapter() const { return adapter_; }
    Ecu& GetEcu() { return ecu_; }
    // From now on `source` answers the requests instead of the ECU model (nullptr: the model).
    void SetAnswerSource(AnswerSource* source) { answers_ = source; }

    // What happened on the line up to `now`, in time order.
    const std::vector<LineEvent>& Log(int64_t now);
    // Every frame the ECU's receiver completed, whoever it was for and whatever its checksum.
    const std::vector<RequestFrame>& Requests() const { return requests_; }
    // Hands over and forgets the log up to `now` and the received frames (for long runs).
    std::vector<LineEvent> TakeLog(int64_t now);
    std::vector<RequestFrame> TakeRequests();

  private:
    struct Scheduled {  // an ECU byte not yet on the line
        int64_t start;
        uint8_t byte;
        uint64_t answer;
    };
    struct Arriving {  // a byte on its way back to the tester
        int64_t arrival;
        uint8_t byte;
    };

    // Puts the ECU bytes that have begun by `now` on the line.
    void Commit(int64_t now);
    // Drops answers that have not begun: the tester or a break took the line first.
    void CancelPendingAnswers();
    void Deliver(int64_t arrival, uint8_t byte);
    void Record(const LineEvent& event);
    void Receive(uint8_t byte, int64_t start, int64_t end);
    bool WokenUp(const RequestFrame& frame) const;
    void Schedule(const Answer& answer, int64_t requestEnd);
    // The line pulled low from `start` to `end`: a wake-up when it lasted 25 +- 1 ms.
    void LineLow(int64_t start, int64_t end);

    bool idleWakeUp_;
    bool strictWakeUp_;
    Ecu ecu_;
    AnswerSource* answers_ = nullptr;
    FrameReceiver receiver_;
    AdapterMode adapter_ = AdapterMode::Normal;
    std::deque<Scheduled> ecuOut_;
    std::deque<Arriving> toTester_;
    std::vector<LineEvent> log_;
    std::vector<RequestFrame> requests_;
    int64_t testerFreeAt_ = 0;     // the adapter's previous byte has ended
    int64_t ecuFreeAt_ = 0;        // the ECU's previous answer has ended
    int64_t ecuCommittedEnd_ = 0;  // the last ECU byte on the line has ended
    int64_t lastActivityEnd_ = 0;  // the last byte or break on the line has ended
    int64_t idleBeforeFrame_ = 0;  // idle line before the frame being received
    uint64_t nextAnswer_ = 1;
    uint64_t answerOnLine_ = 0;  // the answer whose first byte has begun
    bool breakOn_ = false;
    int64_t breakStart_ = 0;      // the line last went low (a break or a slow byte)
    bool wakeUpPending_ = false;  // a break long enough for a wake-up has ended
    int64_t breakEnd_ = 0;
};

}  // namespace sim
