// The serial backend of the simulated devices: ports that talk in-process to the K-line
// adapter and the ECU of sim/, timed on the clock given at construction.
//
// Timing, with the clock's `now`:
// - WriteByte puts the byte on the line and returns when it has ended (the clock advances by
//   one byte time, kByteMicros); the adapter's echo has then arrived.
// - ReadByte returns the next byte that arrives within the per-byte time-out of SetTimeouts
//   (read total multiplier + constant: 110 ms for the station), advancing the clock to its
//   arrival; otherwise it advances the clock by the whole time-out and returns 0. A zero
//   time-out returns only what has already arrived.
// - SetBreak and ClearBreak reach the ECU as the cable makes them (SetCable; by default at
//   `now`); the adapter reads the break as one 0x00.
// - A byte written while the port is set to another rate than 10400 baud (the wake-up byte at
//   360 baud) takes that rate's time on the line.
// - PurgeReceive drops what has arrived by `now`; an answer still on its way arrives later.
// Tests use a platform::VirtualClock (also installed with platform::UseClock for the
// station's sleeps); the system clock runs the devices in real time.
//
// A port left with XON/XOFF output control swallows the bytes 0x11 and 0x13 it receives,
// as a real driver does. Only one port is open at a time: a second Open is refused.
// Every method may be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim/cable.h"
#include "sim/ecu.h"
#include "sim/kline_bus.h"

namespace sim {

// The calls of the port that a test can make fail; Open fails as if the port were busy,
// WriteByte as if the adapter had been pulled (nothing is sent).
enum class PortCall : uint8_t {
    Open,
    GetState,
    SetState,
    ClearDtr,
    ClearRts,
    GetTimeouts,
    SetTimeouts,
    WriteByte
};

// What the station has done to the port.
struct PortSnapshot {
    bool open = false;
    int opens = 0;  // successful opens so far
    int closes = 0;
    std::vector<std::string> names;  // the names of the successful opens
    platform::LineSettings line;     // what SetState wrote last (or the initial settings)
    platform::CommTimeouts timeouts;
    bool dtrCleared = false;  // since the last open
    bool rtsCleared = false;
};

class SimulatedBackend final : public platform::SerialBackend {
  public:
    explicit SimulatedBackend(platform::Clock& clock, const EcuOptions& options = {});
    ~SimulatedBackend() override;

    // Opens a port of any name, unless one is open or Open is made to fail.
    std::unique_ptr<platform::SerialPort> Open(const std::string& name) override;

    void FailCall(PortCall call, bool fail = true);
    void SetAdapter(AdapterMode mode);
    void SetCable(const CableOptions& options);
    // From now on `source` answers instead of the ECU model (nullptr: the model again); it
    // must outlive its use.
    void SetAnswerSource(AnswerSource* source);

    // Runs `f` on the ECU model under the lock (fault codes, trim, engine, injected faults).
    template <class F>
    auto WithEcu(F&& f);
    // Shorthands for the common ones.
    void SetFault(uint8_t sid, const Fault& fault);
    void SetFaultForAll(const Fault& fault);
    void ClearInjectedFaults();
    std::vector<Dtc> Dtcs();
    void SetDtcs(const std::vector<Dtc>& dtcs);
    int8_t CoTrim();
    void SetEngineRunning(bool running);
    bool SessionActive();

    // What happened on the line up to now, and the request frames the ECU's receiver took.
    std::vector<LineEvent> Log();
    std::vector<RequestFrame> Requests();
    void ClearLog();
    PortSnapshot Port();

    // The state the ports share with the backend; it lives as long as the last of them.
    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

struct SimulatedBackend::Shared {
    Shared(platform::Clock& c, const EcuOptions& options) : clock(c), bus(options) {}
    bool Fails(PortCall call) const;

    std::mutex mutex;
    platform::Clock& clock;
    KLineBus bus;
    Cable cable;
    int64_t breakRequestedAt = 0;  // when the station last asked for the break
    std::vector<PortCall> failing;
    PortSnapshot port;
    uint64_t portGeneration = 0;  // which opening the open port belongs to
};

template <class F>
auto SimulatedBackend::WithEcu(F&& f) {
    std::lock_guard lock(shared_->mutex);
    return f(shared_->bus.GetEcu());
}

}  // namespace sim
