#include "link/port.h"

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

}  // namespace

bool OpenPort(platform::SerialBackend& backend, const std::string& portName, uint32_t baudRate,
              Port& port) {
    port.device = backend.Open(portName);
    if (!port.IsOpen()) {
        platform::ShowMessage(
            kPortBusy, platform::kAttention, platform::Icon::Warning,
            OpenFailureDetails(backend.LastOpenFailure(), platform::PresentSerialPorts()));
        return false;
    }
    platform::LineSettings line;
    if (!port.device->GetState(line))
        return Fail(kPortReadSettingsFailed, port);
    ConfigureLine(line, baudRate);
    if (!port.device->SetState(line))
        return Fail(kPortWriteSettingsFailed, port, RateRefused(*port.device, baudRate));
    if (!port.device->ClearDtr() || !port.device->ClearRts())
        return Fail(kPortModemLinesFailed, port);
    platform::CommTimeouts timeouts;
    if (!port.device->GetTimeouts(timeouts))
        return Fail(kPortReadTimeoutsFailed, port);
    if (!port.device->SetTimeouts(LineTimeouts()))
        return Fail(kPortWriteTimeoutsFailed, port);
    return true;
}

namespace {

// ISO 14230-2 5.2.4.2.3 fast initialisation: TiniL = 25 ms low, then 25 ms idle (TWuP - TiniL).
constexpr int kWakeUpLowMs = 25;
constexpr int kWakeUpIdleMs = 25;
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

// The chip times the byte; a drain call would return when the driver's buffer is empty, not
// the chip's, so the echo is what says the byte has left and the rate may change back.
bool PullLowByByte(platform::SerialPort& device, uint32_t baudRate) {
    bool taken = SetRate(device, kLowByteBaud);
    if (taken) {
        device.PurgeReceive();
        uint8_t echo = 0;
        if (device.WriteByte(0x00) == 1)
            device.ReadByte(echo);
    }
    return SetRate(device, baudRate) && taken;
}

}  // namespace

WakeUpLine WakeUp(Port& port, WakeUpMethod method, uint32_t baudRate) {
    WakeUpLine line;
    if (!port.IsOpen())
        return line;
    if (method == WakeUpMethod::Break) {
        line.breakLate = PullLowByBreak(*port.device);
    } else {
        line.rateRefused = !PullLowByByte(*port.device, baudRate);
    }
    platform::Sleep(kWakeUpIdleMs);
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
