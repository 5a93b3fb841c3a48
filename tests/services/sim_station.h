// The station against the simulated adapter and ECU of one family, in-process on a virtual
// clock, with the connecting dialog of the run: the information windows see the bytes a real
// ECU of that family sends.
#pragma once

#include <QMdiArea>
#include <QTimer>
#include <memory>

#include "link/port.h"
#include "link/station.h"
#include "link/ui/child_window.h"
#include "link/ui/waiter.h"
#include "sim/simulated_backend.h"
#include "tests/support/connecting.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"

namespace services_test {

inline sim::EcuOptions SimFamily(int family) {
    sim::EcuOptions options;
    options.type = family;
    return options;
}

struct SimStation {
    explicit SimStation(int family) : backend(clock, SimFamily(family)) {
        clock.Advance(1'000'000);  // the line has been idle a while
        testing_support::PrepareStation(station, backend, family, 100);
        waiter = testing_support::MakeWaiter(station);
    }
    ~SimStation() {
        waiter.reset();
        kline::ClosePort(station.port);
    }

    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend;
    kline::Station station;
    std::unique_ptr<kline::TWaiter> waiter;
};

// A frame with one work window in it, opened the way the main window opens it.
struct SimFrame {
    SimFrame(kline::ChildWindow* child, QSize size) {
        area.resize(size);
        area.show();
        area.addSubWindow(child);
        child->showMaximized();
    }
    QMdiArea area;
};

}  // namespace services_test
