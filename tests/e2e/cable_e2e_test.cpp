// A cable whose break never reaches the line, end to end: kline-sim on a pseudo-terminal
// (which carries no break) wakes its ECU only on the byte 0x00 sent at 360 baud, and only when
// StartCommunication follows 50 +- 1 ms after the byte began (ISO 14230-2). The station finds
// that by itself and shows the passport and the live data of both families.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "diag/ui/diag_form.h"
#include "services/ui/passport_window.h"
#include "tests/e2e/station_fixture.h"
#include "tests/support/row_names.h"
#include "widgets/value_panel.h"

namespace {

using e2e::WaitFor;

struct CableCase {
    const char* name;
    int type;
    const char* vehicle;
    const char* cable;  // kline-sim's --cable
};

class NoBreakCable : public e2e::StationTest, public testing::WithParamInterface<CableCase> {
  protected:
    // The first group shows the first four parameters of the family.
    void PrepareSettings(settings::SettingsRecord& record) override {
        const int type = GetParam().type;
        for (uint8_t slot = 0; slot < 4; ++slot) record.groupLists[type][0][slot] = slot;
        record.groupCounts[type][0] = 4;
    }
};

TEST_P(NoBreakCable, StationWakesTheEcuByItselfForPassportAndLiveData) {
    Start(GetParam().type, {"--cable", GetParam().cable, "--strict-wakeup"});
    QString vehicle;
    ReadPassport([&](services::TPassport& passport) { vehicle = passport.Auto_type->text(); });
    EXPECT_EQ(vehicle.trimmed().toStdString(), GetParam().vehicle);
    EXPECT_EQ(form->station.cables.ports.at(sim->portName).method, kline::WakeUpMethod::LowByte);

    // The diagnostics window: its connection wakes the ECU with the byte straight away.
    form->RunMenuCommand(23);
    QPointer<diag::TDiag_form> window = diag::Diag_form;
    ASSERT_TRUE(window);
    const auto liveDataShown = [&] {
        if (window.isNull())
            return false;
        for (widgets::stPanel* panel : window->Panels())
            if (panel->ValueLabel->text() == QStringLiteral("-10000"))
                return false;
        return !window->Panels().empty();
    };
    ASSERT_TRUE(WaitFor(liveDataShown)) << testing::PrintToString(sink.Texts());
    window->close();
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); }));
    EXPECT_TRUE(sink.Reports().empty()) << testing::PrintToString(sink.Texts());
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, NoBreakCable,
                         testing::Values(CableCase{"Type0", 0, "СЕДАН 1.5i 16кл", "no-break"},
                                         CableCase{"Type1", 1, "УНИВЕРСАЛ 1.6i 8кл", "no-break"},
                                         // Its bytes also wait for a 16 ms latency timer.
                                         CableCase{"Type1UsbLatency", 1, "УНИВЕРСАЛ 1.6i 8кл",
                                                   "usb-latency"}),
                         testing_support::RowName);

}  // namespace
