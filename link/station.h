// The state the main window holds for the whole run and every window and worker reads:
// the settings record, the connection state and the ECU protocol object.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/ecu_protocol.h"
#include "link/line_tap.h"
#include "link/port.h"
#include "platform/serial_port.h"
#include "settings/settings.h"

namespace kline {

struct Station {
    settings::SettingsRecord settings;
    platform::SerialBackend* backend = &platform::SystemSerialBackend();
    // Every port is opened through here, so that a recording sees the bytes on the line.
    TappedBackend lineTap{backend};
    Port port;  // portHandle
    // The wake-up each port's cable needs, learnt by the connection worker while the program
    // runs (only the worker touches it).
    CableMemory cables;
    std::atomic<uint8_t> connected{
        0};  // the ECU answered StartCommunication; set by the worker only
    std::atomic<uint8_t> connecting{0};  // a connection attempt is running
    std::unique_ptr<EcuProtocol> ecuProtocol = std::make_unique<EcuProtocol>(0);
    // The line plays a recording (the main window sets both): its ECU cannot be changed, and
    // it is asked at the pace it was recorded at, `recordedDelay` ms after each answer instead
    // of the settings' delay (0: the settings' delay).
    bool playsRecording = false;
    int recordedDelay = 0;

    std::string PortName() const { return settings::PortName(settings); }
    int RequestDelay() const { return recordedDelay > 0 ? recordedDelay : settings.requestDelay; }
    // Builds the protocol object for the record's ECU type (at start and after a change of type).
    void BuildProtocol() { ecuProtocol = std::make_unique<EcuProtocol>(settings.ecuType); }
    const EcuProtocol& Protocol() const { return *ecuProtocol; }
};

}  // namespace kline
