#include "link/port.h"

#include <algorithm>

#include "link/failure_details.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/port_list.h"
#include "platform/serial_rules.h"

namespace kline {

platform::CommTimeouts LineTimeouts() {
    platform::CommTimeouts t;
    t.readInterval = 20;
    t.readTotalMultiplier = 20;
    t.readTotalConstant = 90;
    t.writeTotalMultiplier = 20;
    t.writeTotalConstant = 90;
    return t;
}

namespace {

bool Fail(const char* message, Port& port, const std::string& details = {}) {
    platform::ShowMessage(message, platform::kAttention, platform::Icon::Warning, details);
    ClosePort(port);
    return false;
}

// 8N1 at the caller's baud rate, and no flow control or character handling at all.
void ConfigureLine(platform::LineSettings& s, uint32_t baudRate) {
    s.baudRate = baudRate;
    s.dataBits = 8;
    s.parity = platform::Parity::None;
    s.stopBits = platform::StopBits::One;
    s.xonXoffOutput = s.xonXoffInput = false;
    s.ctsFlow = s.dsrFlow = false;
    s.dtrHandshake = s.rtsHandshake = false;
    s.replaceParityErrors = s.stripNulls = false;
}

// The kernel or the driver rounds a rate the chip cannot make; the rate read back tells it.
std::string RateRefused(platform::SerialPort& device, uint32_t baudRate) {
    platform::LineSettings got;
    if (!device.GetState(got) || platform::SameRate(got.baudRate, baudRate))
        return {};
    return RateDetails(baudRate, got.baudRate);
}

// The steps of the set-up in their order: the message of the first one that fails, or
// nullptr when all went through.
const char* ConfigurePort(platform::SerialPort& device, uint32_t baudRate) {
    platform::LineSettings line;
    if (!device.GetState(line))
        return kPortReadSettingsFailed;
    ConfigureLine(line, baudRate);
    if (!device.SetState(line))
        return kPortWriteSettingsFailed;
    if (!device.ClearDtr() || !device.ClearRts())
        return kPortModemLinesFailed;
    platform::CommTimeouts timeouts;
    if (!device.GetTimeouts(timeouts))
        return kPortReadTimeoutsFailed;
    if (!device.SetTimeouts(LineTimeouts()))
        return kPortWriteTimeoutsFailed;
    return nullptr;
}

std::string Details(const platform::OpenFailure& failure) {
    if (failure.error == platform::OpenError::Unknown)
        return {};
    return OpenFailureDetails(failure, platform::PresentSerialPorts());
}

}  // namespace

bool OpenPort(platform::SerialBackend& backend, const std::string& portName, uint32_t baudRate,
              Port& port) {
    port.device = backend.Open(portName);
    if (!port.IsOpen()) {
        platform::ShowMessage(kPortBusy, platform::kAttention, platform::Icon::Warning,
                              Details(backend.LastOpenFailure()));
        return false;
    }
    const char* failed = ConfigurePort(*port.device, baudRate);
    if (!failed)
        return true;
    // A device with no chip behind it refuses every step; the system tells that case.
    std::string details = Details(backend.ExamineOpenedPort(portName));
    if (details.empty() && failed == kPortWriteSettingsFailed)
        details = RateRefused(*port.device, baudRate);
    return Fail(failed, port, details);
}

namespace {

// ISO 14230-2 5.2.4.2.3 fast initialisation: TiniL = 25 ms low, then the line high until
// TWuP = 50 ms after the line went low, when StartCommunication begins.
constexpr int kWakeUpLowMs = 25;
constexpr int kWakeUpIdleMs = 25;
constexpr int64_t kWakeUpPatternMicros = 50'000;
// A USB frame or a busy scheduler makes clear-break return a few milliseconds late; a driver
// that stands in for the break with a slow byte makes it about 200 ms late.
constexpr int64_t kBreakLateMicros = 15'000;

bool SetRate(platform::SerialPort& device, uint32_t baudRate) {
    platform::LineSettings line;
    if (!device.GetState(line))
        return false;
    line.baudRate = baudRate;
    return device.SetState(line);
}

bool PullLowByBreak(platform::SerialPort& device) {
    const int64_t asked = platform::NowMicros();
    device.SetBreak();
    platform::Sleep(kWakeUpLowMs);
    device.ClearBreak();
    return platform::NowMicros() - asked > kWakeUpLowMs * 1000 + kBreakLateMicros;
}

// When the low byte was handed to the chip (or, on a refused rate, would have been): the
// wake-up pattern is timed from there; and whether its echo came back.
struct LowByteTimes {
    int64_t began = 0;
    bool echoed = false;
};

// The chip times the byte; a drain call would return when the driver's buffer is empty, not
// the chip's, so the echo is what says the byte has left and the rate may change back.
bool PullLowByByte(platform::SerialPort& device, uint32_t baudRate, LowByteTimes& times) {
    bool taken = SetRate(device, kLowByteBaud);
    times.began = platform::NowMicros();
    if (taken) {
        device.PurgeReceive();
        const int64_t called = platform::NowMicros();
        const bool written = device.WriteByte(0x00) == 1;
        times.began = ByteBegan(called, platform::NowMicros(), ByteMicros(kLowByteBaud));
        uint8_t echo = 0;
        times.echoed = written && device.ReadByte(echo) == 1;
    }
    return SetRate(device, baudRate) && taken;
}

void SleepUntil(int64_t micros) {
    platform::CurrentClock().SleepMicros(micros - platform::NowMicros());
}

}  // namespace

int64_t ByteBegan(int64_t called, int64_t returned, int64_t byteMicros) {
    if (returned - called < byteMicros / 2)
        return returned;
    return std::max(called, returned - byteMicros);
}

WakeUpLine WakeUp(Port& port, WakeUpMethod method, uint32_t baudRate) {
    WakeUpLine line;
    if (!port.IsOpen())
        return line;
    if (method == WakeUpMethod::Break) {
        line.breakLate = PullLowByBreak(*port.device);
        platform::Sleep(kWakeUpIdleMs);
        return line;
    }
    // The echo comes back 27.8 ms after the byte began (its stop bit included), later still
    // through a USB chip's latency timer: the high part is timed from the byte's start, not
    // from the echo, so that StartCommunication begins 50 ms after the line went low.
    LowByteTimes times;
    line.rateRefused = !PullLowByByte(*port.device, baudRate, times);
    // Without an echo nothing says the byte was on the line: no window to keep.
    if (times.echoed && !line.rateRefused)
        line.startBy = times.began + kLatestStartMicros;
    SleepUntil(times.began + kWakeUpPatternMicros);
    return line;
}

FailureReason ProbeAdapter(Port& port) {
    if (!port.IsOpen())
        return FailureReason::PortClosed;
    port.device->WriteByte(kAdapterByte);  // a refused write shows as a missing echo
    uint8_t answer = 0;
    if (port.device->ReadByte(answer) != 1)
        return FailureReason::NoEcho;
    return answer == kAdapterByte ? FailureReason::None : FailureReason::EchoDiffers;
}

void ClosePort(Port& port) {
    if (!port.IsOpen())
        return;
    port.device->WriteByte(kAdapterByte);
    port.device->Close();
    port.device.reset();
}

}  // namespace kline
