// The ECU of a recorded line trace, for kline-sim --replay and for any line in-process. Each
// request is answered with the answers recorded for the same request (or, failing that, the
// same service), in recorded order and starting again from the first when they are used up,
// each after its recorded delay. So the live data of a drive recorded on a car plays again,
// in a loop.
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
    // Takes the answers of a trace. A request split over lines (a trace of an older station)
    // is joined by its length byte. A last answer cut short (the file ends inside the
    // exchange) is left out with a warning. False, with the wrong line, when the last answer
    // is no frame at all, when answers come from two ECU addresses, or when it holds no
    // answer. An answer the line broke off before later ones is kept as it was: it plays the
    // same fault.
    bool Load(const std::vector<platform::TraceLine>& lines, platform::TraceError& error);
    // What Load left out, by line.
    const std::vector<platform::TraceError>& Warnings() const { return warnings_; }

    // A frame for the recorded ECU's address with a good checksum gets the next recorded
    // answer of its request. StartCommunication and StopCommunication, which a recording
    // begun during a session lacks, get the usual positive answers.
    std::optional<Answer> OnRequest(const RequestFrame& frame, bool wokenUp) override;

    // How many answers were recorded for service `sid`.
    size_t AnswerCount(uint8_t sid) const;
    uint8_t EcuAddress() const { return ecuAddress_; }
    // A positive live-data answer (service 21) is held: the station has values to show.
    bool HasLiveData() const { return positiveLiveAnswers_ > 0; }
    // The ECU type of the recorded address (0 at 0x11, 1 at 0x10); nothing for another one.
    std::optional<int> EcuType() const;
    // "ECU type 0 at address 0x11; answers by service: 21 x120, 82 x1"
    std::string Summary() const;

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
    size_t positiveLiveAnswers_ = 0;
    std::vector<platform::TraceError> warnings_;
};

// Reads and loads the trace in `in`; on failure `error` is "LINE: what" (LINE 0: the file).
bool LoadReplay(std::istream& in, TraceReplay& replay, std::string& error);

}  // namespace sim
