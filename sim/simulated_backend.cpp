#include "sim/simulated_backend.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;

// One opened port. After Close (or once another opening has replaced it) every call fails.
class SimulatedPort final : public platform::SerialPort {
  public:
    SimulatedPort(std::shared_ptr<SimulatedBackend::Shared> shared, uint64_t generation)
        : shared_(std::move(shared)), generation_(generation) {}
    ~SimulatedPort() override { Close(); }

    bool GetState(platform::LineSettings& s) override {
        return Step(PortCall::GetState, [&](PortSnapshot& p) { s = p.line; });
    }
    bool SetState(const platform::LineSettings& s) override {
        return Step(PortCall::SetState, [&](PortSnapshot& p) { p.line = s; });
    }
    bool ClearDtr() override {
        return Step(PortCall::ClearDtr, [](PortSnapshot& p) { p.dtrCleared = true; });
    }
    bool ClearRts() override {
        return Step(PortCall::ClearRts, [](PortSnapshot& p) { p.rtsCleared = true; });
    }
    bool GetTimeouts(platform::CommTimeouts& t) override {
        return Step(PortCall::GetTimeouts, [&](PortSnapshot& p) { t = p.timeouts; });
    }
    bool SetTimeouts(const platform::CommTimeouts& t) override {
        return Step(PortCall::SetTimeouts, [&](PortSnapshot& p) { p.timeouts = t; });
    }

    bool PurgeReceive() override {
        std::lock_guard lock(shared_->mutex);
        if (!Open())
            return false;
        // Bytes still in the chip, waiting for its latency timer, are out of the driver's reach.
        shared_->bus.DropArrived(shared_->cable.DeliveredBy(shared_->clock.NowMicros()));
        return true;
    }

    int ReadByte(uint8_t& byte) override;
    int WriteByte(uint8_t byte) override;

    bool SetBreak() override;
    bool ClearBreak() override;

    bool Close() override {
        std::lock_guard lock(shared_->mutex);
        if (!Open())
            return false;
        shared_->port.open = false;
        ++shared_->port.closes;
        return true;
    }

  private:
    bool ChangeBreak(bool set);

    bool Open() const { return shared_->port.open && shared_->portGeneration == generation_; }

    // A set-up call: fails when the port is closed or the test makes it fail.
    template <class Apply>
    bool Step(PortCall call, Apply&& apply) {
        std::lock_guard lock(shared_->mutex);
        if (!Open() || shared_->Fails(call))
            return false;
        apply(shared_->port);
        return true;
    }

    // The time a single-byte read waits (Win32 semantics: total multiplier x 1 + constant).
    int64_t ReadTimeoutMicros() const {
        const platform::CommTimeouts& t = shared_->port.timeouts;
        return (int64_t{t.readTotalMultiplier} + t.readTotalConstant) * 1000;
    }

    // Lets the clock run on to `until` without holding the devices.
    void SleepUntil(std::unique_lock<std::mutex>& lock, int64_t until) {
        const int64_t now = shared_->clock.NowMicros();
        if (until <= now)
            return;
        lock.unlock();
        shared_->clock.SleepMicros(until - now);
        lock.lock();
    }

    std::shared_ptr<SimulatedBackend::Shared> shared_;
    uint64_t generation_;
};

bool SimulatedPort::SetBreak() {
    return ChangeBreak(true);
}

bool SimulatedPort::ClearBreak() {
    return ChangeBreak(false);
}

// The break reaches the line as the cable makes it: a stretched cable sends a slow zero byte
// instead, and its driver restores the rate only after that byte, so the clear returns late.
bool SimulatedPort::ChangeBreak(bool set) {
    std::unique_lock lock(shared_->mutex);
    if (!Open())
        return false;
    Cable& cable = shared_->cable;
    const int64_t now = shared_->clock.NowMicros();
    if (set)
        shared_->breakRequestedAt = now;
    if (cable.Kind() == CableKind::StretchedBreak) {
        if (set)
            shared_->bus.SendByteAtRate(0x00, kStretchedBreakBaud, now);
        else
            SleepUntil(lock, shared_->breakRequestedAt + kStretchedClearMicros);
    } else if (cable.MakesBreak()) {
        const int64_t effect = cable.ControlTakesEffect(now);
        SleepUntil(lock, effect);
        if (set)
            shared_->bus.SetBreak(effect);
        else
            shared_->bus.ClearBreak(effect);
    }
    SleepUntil(lock, shared_->clock.NowMicros() + cable.CallerDelay());
    return true;
}

int SimulatedPort::ReadByte(uint8_t& byte) {
    platform::Clock& clock = shared_->clock;
    std::unique_lock lock(shared_->mutex);
    if (!Open())
        return 0;
    const int64_t deadline = clock.NowMicros() + ReadTimeoutMicros();
    for (;;) {
        const int64_t now = clock.NowMicros();
        std::optional<int64_t> next = shared_->bus.NextArrival();
        if (next)
            next = shared_->cable.Delivered(*next);
        const bool comes = next && *next <= deadline;
        const int64_t wakeAt = comes ? *next : deadline;
        if (wakeAt > now) {
            // Other threads (a test injecting faults) may use the devices meanwhile.
            lock.unlock();
            clock.SleepMicros(wakeAt - now);
            lock.lock();
            if (!Open())
                return 0;
        }
        if (!comes)
            return 0;
        std::optional<uint8_t> got = shared_->bus.TakeByte(std::min(clock.NowMicros(), deadline));
        if (!got)
            continue;
        // A driver with XON/XOFF output control takes these bytes for itself.
        const bool flowControl =
            shared_->port.line.xonXoffOutput && (*got == kXon || *got == kXoff);
        if (flowControl)
            continue;
        byte = *got;
        return 1;
    }
}

int SimulatedPort::WriteByte(uint8_t byte) {
    platform::Clock& clock = shared_->clock;
    int64_t end = 0;
    {
        std::lock_guard lock(shared_->mutex);
        if (!Open() || shared_->Fails(PortCall::WriteByte))
            return 0;
        end = shared_->bus.SendByteAtRate(byte, shared_->port.line.baudRate, clock.NowMicros());
    }
    // The write returns once the byte is on the line.
    const int64_t now = clock.NowMicros();
    if (end > now)
        clock.SleepMicros(end - now);
    return 1;
}

}  // namespace

bool SimulatedBackend::Shared::Fails(PortCall call) const {
    return std::find(failing.begin(), failing.end(), call) != failing.end();
}

SimulatedBackend::SimulatedBackend(platform::Clock& clock, const EcuOptions& options)
    : shared_(std::make_shared<Shared>(clock, options)) {
    // A port as another program may have left it: flow control on, modem lines driven.
    platform::LineSettings& line = shared_->port.line;
    line.xonXoffOutput = line.xonXoffInput = true;
    line.dtrHandshake = line.rtsHandshake = true;
}

SimulatedBackend::~SimulatedBackend() = default;

std::unique_ptr<platform::SerialPort> SimulatedBackend::Open(const std::string& name) {
    std::lock_guard lock(shared_->mutex);
    PortSnapshot& port = shared_->port;
    if (port.open || shared_->Fails(PortCall::Open))
        return nullptr;
    port.open = true;
    ++port.opens;
    port.names.push_back(name);
    port.dtrCleared = port.rtsCleared = false;
    return std::make_unique<SimulatedPort>(shared_, ++shared_->portGeneration);
}

void SimulatedBackend::FailCall(PortCall call, bool fail) {
    std::lock_guard lock(shared_->mutex);
    std::erase(shared_->failing, call);
    if (fail)
        shared_->failing.push_back(call);
}

void SimulatedBackend::SetAdapter(AdapterMode mode) {
    std::lock_guard lock(shared_->mutex);
    shared_->bus.SetAdapter(mode);
}

void SimulatedBackend::SetCable(const CableOptions& options) {
    std::lock_guard lock(shared_->mutex);
    shared_->cable = Cable(options);
}

void SimulatedBackend::SetAnswerSource(AnswerSource* source) {
    std::lock_guard lock(shared_->mutex);
    shared_->bus.SetAnswerSource(source);
}

void SimulatedBackend::SetFault(uint8_t sid, const Fault& fault) {
    WithEcu([&](Ecu& ecu) { ecu.SetFault(sid, fault); });
}

void SimulatedBackend::SetFaultForAll(const Fault& fault) {
    WithEcu([&](Ecu& ecu) { ecu.SetFaultForAll(fault); });
}

void SimulatedBackend::ClearInjectedFaults() {
    WithEcu([](Ecu& ecu) { ecu.ClearInjectedFaults(); });
}

std::vector<Dtc> SimulatedBackend::Dtcs() {
    return WithEcu([](Ecu& ecu) { return ecu.Dtcs(); });
}

void SimulatedBackend::SetDtcs(const std::vector<Dtc>& dtcs) {
    WithEcu([&](Ecu& ecu) { ecu.SetDtcs(dtcs); });
}

int8_t SimulatedBackend::CoTrim() {
    return WithEcu([](Ecu& ecu) { return ecu.CoTrim(); });
}

void SimulatedBackend::SetEngineRunning(bool running) {
    const int64_t now = shared_->clock.NowMicros();
    WithEcu([&](Ecu& ecu) { ecu.SetEngineRunning(running, now); });
}

bool SimulatedBackend::SessionActive() {
    const int64_t now = shared_->clock.NowMicros();
    return WithEcu([&](Ecu& ecu) { return ecu.SessionActive(now); });
}

std::vector<LineEvent> SimulatedBackend::Log() {
    std::lock_guard lock(shared_->mutex);
    return shared_->bus.Log(shared_->clock.NowMicros());
}

std::vector<RequestFrame> SimulatedBackend::Requests() {
    std::lock_guard lock(shared_->mutex);
    return shared_->bus.Requests();
}

void SimulatedBackend::ClearLog() {
    std::lock_guard lock(shared_->mutex);
    shared_->bus.TakeLog(shared_->clock.NowMicros());
    shared_->bus.TakeRequests();
}

PortSnapshot SimulatedBackend::Port() {
    std::lock_guard lock(shared_->mutex);
    return shared_->port;
}

}  // namespace sim
