// The devices the station runs inside itself, with no cable and no second program: the
// simulated adapter with the ECU model of one family (the demonstration: the same devices
// kline-sim serves on a pseudo-terminal), or with the ECU of a recorded line trace (a
// recording played back as kline-sim --replay plays it). The station reaches them through
// the serial backend interface, as it reaches a port, on the clock given: in the station that
// is the system clock, so the line keeps its real pace.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/line_trace.h"
#include "sim/replay.h"
#include "sim/simulated_backend.h"

namespace sim {

// Why a trace cannot be played in the station.
enum class RecordingError : uint8_t {
    None,
    Unreadable,  // no file, no line trace, or a damaged one
    NoLiveData,  // no answer to the live-data request: nothing for the diagnostics window
    OtherEcu,    // the answers come from an address that neither family has
};

class InProcessLine {
  public:
    // The adapter and the ECU model of `family` (0 or 1; any other: the second family).
    InProcessLine(platform::Clock& clock, int family);
    ~InProcessLine();
    InProcessLine(const InProcessLine&) = delete;
    InProcessLine& operator=(const InProcessLine&) = delete;

    // The adapter and the recorded ECU of the line trace `file`. Nothing, with the reason (and
    // for a damaged trace the loader's "LINE: what"), when it cannot be played.
    static std::unique_ptr<InProcessLine> PlayRecording(platform::Clock& clock,
                                                        const std::filesystem::path& file,
                                                        RecordingError& error, std::string& detail);

    // The station opens its ports here; tests look at the devices through it.
    SimulatedBackend& Backend() { return backend_; }
    // The family whose address answers: the model's, or the recorded ECU's.
    int Family() const { return family_; }
    bool PlaysRecording() const { return replay_ != nullptr; }
    // The pause the recording station left between an answer and its next live-data request,
    // in milliseconds (the station's request delay and its own work): the pace the recording
    // was made at. 0 when the trace does not tell, or for the demonstration.
    int RecordedPauseMs() const { return recordedPauseMs_; }

  private:
    InProcessLine(platform::Clock& clock, std::unique_ptr<TraceReplay> replay, int family);

    platform::FineSleeps fineSleeps_;      // the real pace, while the line is in use
    std::unique_ptr<TraceReplay> replay_;  // goes after the devices that ask it
    SimulatedBackend backend_;
    int family_;
    int recordedPauseMs_ = 0;
};

// The middle one of the pauses between the end of an ECU answer and the next live-data
// request (0x21) in `lines`, so that a stall here and there does not count; 0 when there are
// none.
int RecordedPauseMs(const std::vector<platform::TraceLine>& lines);

}  // namespace sim
