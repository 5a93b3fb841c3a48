// The diagnostics window in tests: what they look at from outside, and what the main window
// would give it.
#pragma once

#include <QCoreApplication>
#include <QMdiArea>
#include <QPointer>
#include <QString>
#include <memory>

#include "diag/ui/diag_form.h"
#include "link/station.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "tests/support/connecting.h"
#include "tests/support/station_fixture.h"
#include "widgets/value_panel.h"

namespace testing_support {

// Every panel of the window shows a decoded value: none shows its start text any more.
// False for no window or a window without panels.
inline bool AllValuesShown(const diag::TDiag_form* form) {
    if (!form || form->Panels().empty())
        return false;
    for (const widgets::stPanel* panel : form->Panels())
        if (panel->ValueLabel->text() == QStringLiteral("-10000"))
            return false;
    return true;
}

// A panel or graph of an earlier group: off the screen at once, deleted once the event loop
// gets to it (a group change may run inside a click still being delivered to it).
template <class Widget>
bool Replaced(const QPointer<Widget>& old) {
    if (old && old->isVisible())
        return false;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return old.isNull();
}

}  // namespace testing_support

namespace testing_support {

// The station of the long polling runs: the second family, 50 ms between requests, sixteen
// parameters in the first group, on a line that has been idle for a second.
inline void PrepareSixteenParams(platform::VirtualClock& clock, kline::Station& station,
                                 platform::SerialBackend& backend) {
    clock.Advance(1'000'000);
    PrepareStation(station, backend, 1, 50);
    ShowFirstParams(station.settings, 1, 16);
}

// What the main window gives the diagnostics window, for the tests that run without one: the
// connecting dialog, the CO trim dialog that "Регулировка СО" shows, and a frame to open in.
struct DiagWindowRig {
    explicit DiagWindowRig(kline::Station& station)
        : station(station),
          waiter(MakeWaiter(station)),
          coTrim(std::make_unique<services::TCorrCO>(station, *waiter)) {
        area.resize(1000, 800);
        area.show();
    }

    // A diagnostics window in the frame, not shown yet.
    diag::TDiag_form* NewDiagnostics() {
        auto* form = new diag::TDiag_form(
            station, *waiter, [this] { coTrim->exec(); }, nullptr);
        area.addSubWindow(form);
        return form;
    }
    // One opened the way the main window opens a child: maximised, so it connects and polls.
    diag::TDiag_form* OpenDiagnostics() {
        diag::TDiag_form* form = NewDiagnostics();
        form->showMaximized();
        return form;
    }

    kline::Station& station;
    std::unique_ptr<kline::TWaiter> waiter;
    std::unique_ptr<services::TCorrCO> coTrim;  // goes before the dialog it connects with
    QMdiArea area;                              // and the frame before both
};

}  // namespace testing_support
