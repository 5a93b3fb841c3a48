#include "link/port.h"

#include "platform/messages.h"

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

bool Fail(const char* message, Port& port) {
    platform::ShowMessage(message, platform::kAttention, platform::Icon::Warning);
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

}  // namespace

bool OpenPort(platform::SerialBackend& backend, const std::string& portName, uint32_t baudRate,
              Port& port) {
    port.device = backend.Open(portName);
    if (!port.IsOpen()) {
        platform::ShowMessage(kPortBusy, platform::kAttention, platform::Icon::Warning);
        return false;
    }
    platform::LineSettings line;
    if (!port.device->GetState(line))
        return Fail(kPortReadSettingsFailed, port);
    ConfigureLine(line, baudRate);
    if (!port.device->SetState(line))
        return Fail(kPortWriteSettingsFailed, port);
    if (!port.device->ClearDtr() || !port.device->ClearRts())
        return Fail(kPortModemLinesFailed, port);
    platform::CommTimeouts timeouts;
    if (!port.device->GetTimeouts(timeouts))
        return Fail(kPortReadTimeoutsFailed, port);
    if (!port.device->SetTimeouts(LineTimeouts()))
        return Fail(kPortWriteTimeoutsFailed, port);
    return true;
}

void ClosePort(Port& port) {
    if (!port.IsOpen())
        return;
    port.device->WriteByte(kAdapterByte);
    port.device->Close();
    port.device.reset();
}

}  // namespace kline
