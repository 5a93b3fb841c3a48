#include "link/line_commands.h"

#include "link/connection.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace kline {

namespace {

constexpr int kResetAttempts = 20;
constexpr int kClearAttempts = 20;

void Tell(const char* text, platform::Icon icon) {
    platform::ShowMessage(text, platform::kAttention, icon);
}

}  // namespace

void AdapterCheck(Station& station) {
    // A connection that a window left open owns the port: end it before the probe.
    EndLeftoverConnection(station);
    if (!OpenPort(station.lineTap, station.PortName(), station.Protocol().BaudRate(), station.port))
        return;
    const FailureReason probe = ProbeAdapter(station.port);
    if (probe == FailureReason::None) {
        Tell(kAdapterWorks, platform::Icon::Information);
    } else {
        // No echo at all and a wrong echo have different causes: the details tell which.
        platform::ShowMessage(kAdapterFails, platform::kAttention, platform::Icon::Information,
                              FailureText(probe));
    }
    ClosePort(station.port);
}

bool RefusedOnRecording(const Station& station) {
    if (station.playsRecording)
        Tell(kRecordingUnchangeable, platform::Icon::Information);
    return station.playsRecording;
}

void ControllerReset(Station& station, Connector& connector) {
    if (RefusedOnRecording(station))
        return;
    connector.ShowWaiter();  // whatever `connected` says
    bool reset = false;
    if (station.connected) {
        // The engine can only be asked over a started connection, so the check runs here,
        // before the first reset attempt.
        platform::Sleep(station.RequestDelay());
        if (station.Protocol().IsEngineRunning(station.port)) {
            Disconnect(station);
            Tell(kEngineRunning, platform::Icon::Information);
            return;
        }
        reset = Retry(station, kResetAttempts,
                      [&] { return station.Protocol().ResetController(station.port); });
    }
    ClosePort(station.port);  // the ECU restarts: no StopCommunication after a reset
    station.connected = 0;
    if (reset) {
        Tell(kResetDone, platform::Icon::Information);
    } else {
        Tell(kResetFailed, platform::Icon::Warning);
    }
}

void FaultClearing(Station& station, Connector& connector) {
    if (RefusedOnRecording(station))
        return;
    connector.ShowWaiter();  // whatever `connected` says
    bool cleared = false;
    bool stopped = false;
    if (station.connected) {
        cleared = Retry(station, kClearAttempts,
                        [&] { return station.Protocol().ClearFaults(station.port); });
        stopped = Disconnect(station);
    } else {
        ClosePort(station.port);
        station.connected = 0;
    }
    if (cleared) {
        Tell(kFaultsCleared, platform::Icon::Information);
    } else {
        Tell(kFaultsNotCleared, platform::Icon::Warning);
    }
    if (!stopped)
        Tell(kStopFailed, platform::Icon::Warning);
}

}  // namespace kline
