#include "link/connection.h"

#include "platform/clock.h"

namespace kline {

namespace {

bool OpenStationPort(Station& station) {
    return OpenPort(station.lineTap, station.PortName(), station.Protocol().BaudRate(),
                    station.port);
}

bool Usable(const CableKnowledge& cable, WakeUpMethod method) {
    return method == WakeUpMethod::Break ? !cable.noBreak : !cable.noLowByte;
}

// Learns from one attempt. Only an ECU that stays silent behind an echoing adapter tells
// something of the wake-up: then, until one way has been answered on this port, the other way
// is tried next. A missing echo is the adapter's fault, a garbled answer is an awake ECU.
void Learn(CableKnowledge& cable, const EcuProtocol::StartAttempt& attempt, bool answered) {
    if (answered) {
        cable.confirmed = true;
        return;
    }
    if (cable.method == WakeUpMethod::LowByte && attempt.line.rateRefused)
        cable.noLowByte = true;
    const WakeUpMethod other =
        cable.method == WakeUpMethod::Break ? WakeUpMethod::LowByte : WakeUpMethod::Break;
    const bool silent = attempt.response.reason == FailureReason::Silent;
    if ((silent && !cable.confirmed && Usable(cable, other)) || !Usable(cable, cable.method))
        cable.method = other;
}

// Wakes the ECU the way this port's cable can and sends StartCommunication.
bool WakeUp(Station& station) {
    platform::Sleep(station.RequestDelay());
    CableKnowledge& cable = station.cables.ports[station.PortName()];
    EcuProtocol::StartAttempt attempt;
    bool ok = station.Protocol().StartCommunication(station.port, cable.method, attempt);
    if (!ok && attempt.line.breakLate) {
        // The driver stood in for the break with a slow byte: the line was low for far too
        // long. The chip itself times the low byte, so that is the way on this cable.
        cable.noBreak = true;
        cable.method = WakeUpMethod::LowByte;
        platform::Sleep(kIdleBeforeNewWakeUpMs);
        ok = station.Protocol().StartCommunication(station.port, cable.method, attempt);
    }
    Learn(cable, attempt, ok);
    return ok;
}

}  // namespace

void RunConnectionAttempt(Station& station, std::atomic<bool>& terminate) {
    if (!station.connected && OpenStationPort(station)) {
        bool ok = WakeUp(station);
        while (!ok) {
            platform::Sleep(station.RequestDelay());
            station.Protocol().StopCommunication(station.port);
            ClosePort(station.port);
            if (OpenStationPort(station)) {
                ok = WakeUp(station);
            } else {
                terminate = true;  // the port is gone: give up after this attempt
            }
            if (terminate)
                break;
        }
        if (ok) {
            station.connected = 1;
        } else {
            platform::Sleep(station.RequestDelay());
            station.Protocol().StopCommunication(station.port);
            ClosePort(station.port);
        }
    }
    station.connecting = 0;
}

void EndLeftoverConnection(Station& station) {
    if (station.connected)
        Disconnect(station);
}

bool Disconnect(Station& station) {
    const bool stopped =
        Retry(station, 10, [&] { return station.Protocol().StopCommunication(station.port); });
    ClosePort(station.port);
    station.connected = 0;
    return stopped;
}

}  // namespace kline
