// kline-sim --replay: the ECU of a recorded line trace. Each request is answered with the
// answers recorded for the same request (or, failing that, the same service), in recorded
// order and starting again from the first when they are used up, each after its recorded
// delay. So the live data of a drive recorded on a car plays again, in a loop.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/line_trace.h"
#include "sim/kline_bus.h"

namespace sim {

class TraceReplay final : public AnswerSource {
  public:
    // Takes the answers of a trace. False, with the wrong line, when the trace's last answer is
    // cut short or no frame at all (the file was cut off), or when it holds no answer. An
    // answer the line broke off before later ones is kept as it was: it plays the same fault.
    bool Load(const std::vector<platform::TraceLine>& lines, platform::TraceError& error);

    // A frame for the recorded ECU's address with a good checksum gets the next recorded
    // answer of its request. StartCommunication and StopCommunication, which a recording
    // begun during a session lacks, get the usual positive answers.
    std::optional<Answer> OnRequest(const RequestFrame& frame, bool wokenUp) override;

    // How many answers were recorded for service `sid`.
    size_t AnswerCount(uint8_t sid) const;
    uint8_t EcuAddress() const { return ecuAddress_; }

  private:
    struct Recorded {
        std::vector<uint8_t> bytes;
        int64_t delayMicros = 0;
    };
    struct Answers {
        std::vector<Recorded> list;
        size_t next = 0;
        std::optional<Answer> Next();
    };
    struct Pending;  // a request of the trace and what followed it
    bool Finish(Pending& pending, bool last, platform::TraceError& error);

    std::map<std::vector<uint8_t>, Answers> byRequest_;  // the request's data, SID first
    std::map<uint8_t, Answers> byService_;
    uint8_t ecuAddress_ = 0;
};

// Reads and loads the trace in `in`; on failure `error` is "LINE: what" (LINE 0: the file).
bool LoadReplay(std::istream& in, TraceReplay& replay, std::string& error);

}  // namespace sim
