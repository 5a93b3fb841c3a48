// Any file given to kline-sim --replay: the trace is read or refused with a line number,
// never crashing; a trace that loads answers requests with the frames it recorded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "sim/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    sim::TraceReplay replay;
    std::string error;
    if (!sim::LoadReplay(in, replay, error)) {
        if (error.empty())
            std::abort();  // a refusal always says where and why
        return 0;
    }
    sim::RequestFrame request;
    request.addressed = true;
    request.target = replay.EcuAddress();
    request.checksumOk = true;
    for (const uint8_t sid : {0x81, 0x21, 0x18, 0x82}) {
        request.data = {sid, 0x01};
        const std::optional<sim::Answer> answer = replay.OnRequest(request, false);
        // An answer the line broke off is played as it was recorded, so it may be short,
        // but never empty and never before the request.
        if (answer && (answer->frame.empty() || answer->delayMicros < 0))
            std::abort();
    }
    return 0;
}
