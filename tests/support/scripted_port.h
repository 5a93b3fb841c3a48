// A serial port whose every answer the test writes: bytes waiting to be read, calls that
// fail, and a log of what the station wrote. Each silent read costs 110 ms on the clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "tests/support/frames.h"
#include "tests/support/recording_sink.h"
#include "tests/support/virtual_clock.h"

namespace testing_support {

struct ScriptedLine {
    std::deque<uint8_t> incoming;  // what the next reads return (a purge empties it)
    // Answers of the ECU: the next one arrives once the echo of a newly written request has
    // been read, so that it survives the purge at the start of the exchange.
    std::deque<std::vector<uint8_t>> answers;
    bool wroteSinceAnswer = false;
    std::vector<uint8_t> written;     // every byte the station wrote, in order
    std::vector<std::string> calls;   // names of the calls, in order
    std::vector<int64_t> callTimes;   // clock time of each call, in microseconds
    std::vector<int64_t> writeTimes;  // clock time of each written byte
    platform::LineSettings state;
    platform::CommTimeouts timeouts;
    bool echo = true;             // an adapter: every written byte comes back first
    int64_t writeHeldMicros = 0;  // each write waits this long before its byte goes out
    int64_t readHeldMicros = 0;   // each byte read waits this long (a USB latency timer)
    // Failing calls, by name: "GetState", "SetState", "ClearDtr", "ClearRts", "GetTimeouts",
    // "SetTimeouts", "WriteByte".
    std::vector<std::string> failing;
    uint32_t refusedRate = 0;  // SetState to this rate fails: the chip cannot make it
    int closes = 0;
    bool Fails(const std::string& call) const;
    // What the station wrote, as "82 10 F1 ..." for comparisons.
    std::string Written() const { return Hex(written); }
};

class ScriptedPort final : public platform::SerialPort {
  public:
    explicit ScriptedPort(ScriptedLine& line) : line_(line) {}
    bool GetState(platform::LineSettings& s) override;
    bool SetState(const platform::LineSettings& s) override;
    bool ClearDtr() override;
    bool ClearRts() override;
    bool GetTimeouts(platform::CommTimeouts& t) override;
    bool SetTimeouts(const platform::CommTimeouts& t) override;
    bool PurgeReceive() override;
    int ReadByte(uint8_t& byte) override;
    int WriteByte(uint8_t byte) override;
    bool SetBreak() override;
    bool ClearBreak() override;
    bool Close() override;

  private:
    bool Call(const std::string& name);
    // A call that copies one of the line's settings, unless the line makes it fail.
    template <class T>
    bool CallCopying(const std::string& name, const T& from, T& to) {
        if (!Call(name))
            return false;
        to = from;
        return true;
    }
    ScriptedLine& line_;
};

class ScriptedBackend final : public platform::SerialBackend {
  public:
    ScriptedLine line;
    std::atomic<bool> refuseOpen{false};
    std::vector<std::string> openedNames;
    std::atomic<int> opens{0};       // readable while a worker thread opens ports
    platform::OpenFailure examined;  // what the system tells of a port that refuses settings
    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override;
    platform::OpenFailure ExamineOpenedPort(const std::string&) const override { return examined; }
};

// A port open on a scripted line, on the virtual clock, with the reports recorded: for the
// tests of what one exchange or one ECU operation sends and makes of the answer.
struct PortOnScriptedLine {
    PortOnScriptedLine() { port.device = std::make_unique<ScriptedPort>(line); }
    // The ECU's next answer, given as its data (SID first).
    void Answers(uint8_t ecuAddress, const Bytes& data) {
        line.answers.push_back(AnswerFrame(ecuAddress, data));
    }

    ScopedVirtualClock clock;
    ScriptedLine line;
    kline::Port port;
    RecordingSink sink;
};

}  // namespace testing_support
