// The connecting step that every ECU function begins with, as the commands and work windows
// see it: someone runs one connection attempt to its end while the user waits (on the
// desktop the connecting dialog TWaiter with its worker; in tests a fake). The main window
// owns the one of the run and hands it to whoever connects.
#pragma once

#include "link/station.h"

namespace kline {

class Connector {
  public:
    // Runs one attempt whatever `connected` says; when it returns, no attempt is running
    // and `connected` tells whether the ECU answered (a connection already up stays as it is).
    virtual void ShowWaiter() = 0;

  protected:
    ~Connector() = default;
};

// Runs the connecting step only when `connected` is clear.
inline void Connect(Station& station, Connector& connector) {
    if (!station.connected)
        connector.ShowWaiter();
}

}  // namespace kline
