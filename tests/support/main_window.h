// The main window in tests: a first run (no settings file yet) in a folder of its own, over
// the simulated adapter and ECU of a family on the virtual clock, with the reports handed over
// as the station's message boxes are. Its connecting dialog looks every 5 ms, not every 500.
#pragma once

#include <QTemporaryDir>

#include "app/main_form.h"
#include "link/ui/waiter.h"
#include "sim/simulated_backend.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/station_fixture.h"

namespace testing_support {

struct MainWindowOnSim {
    explicit MainWindowOnSim(int family)
        : backend(MakeLine<sim::SimulatedBackend>(clock, family)),
          main(dir.filePath("auto.ini").toStdString(), &backend) {
        main.ConnectingDialog().Timer1->setInterval(5);
        sink.reports.clear();  // the settings file of a first run is missing
        UseFamily(main.station, family);
    }

    ScopedVirtualClock clock;
    sim::SimulatedBackend backend;
    HandOverSink sink;
    QTemporaryDir dir;
    TMainForm main;
};

}  // namespace testing_support
