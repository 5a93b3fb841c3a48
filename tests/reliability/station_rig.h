// The whole station in-process, built as the program builds it (the main window, which builds
// the connecting dialog and the CO trim dialog), on its own auto.ini, against the simulated adapter
// and ECU on the virtual clock. Reports are real message boxes unless a test installs its own sink.
#pragma once

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "sim/simulated_backend.h"

namespace reliability {

// A record with both families' groups filled (group 1 of each with `count` parameters).
settings::SettingsRecord RigSettings(int ecuType, int count = 4);

class StationRig {
  public:
    // `family` is the ECU on the line (0 or 1). The line runs on the virtual clock, or at its
    // real pace when `realTime` (a silent ECU then takes as long to give up as in a car).
    explicit StationRig(int family, bool realTime = false);
    ~StationRig();

    // Writes `record` as auto.ini and starts the station on it; the main window is shown.
    void Start(const settings::SettingsRecord& record);
    // Starts the station again on the auto.ini the last run left.
    void Restart();
    // Ends the run as the program does after its main window has closed: the main window
    // goes, and writes auto.ini.
    void End();
    // auto.ini as it is on disk now; empty when there is none.
    std::string FileBytes() const;

    TMainForm& Form() { return *form_; }
    bool Running() const { return form_ != nullptr; }  // false while the main window goes
    kline::Station& Station() { return form_->station; }

    platform::VirtualClock clock;
    platform::SystemClock systemClock;
    sim::SimulatedBackend backend;
    std::string path;

  private:
    QTemporaryDir dir_;
    QString previousDir_;
    std::unique_ptr<TMainForm> form_;
};

// Serves every event (the user's too) until `done` holds or `ms` of real time have passed.
bool ServeUntil(const std::function<bool()>& done, int ms = 10'000);

}  // namespace reliability
