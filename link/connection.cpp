#include "link/connection.h"

#include "platform/clock.h"

namespace kline {

namespace {

bool OpenStationPort(Station& station) {
    return OpenPort(*station.backend, station.PortName(), station.Protocol().BaudRate(),
                    station.port);
}

bool WakeUp(Station& station) {
    platform::Sleep(station.RequestDelay());
    return station.Protocol().StartCommunication(station.port);
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
