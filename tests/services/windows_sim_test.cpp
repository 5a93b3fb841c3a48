// The three information windows against the simulated ECU of each family: what a real ECU
// of that family answers reaches the fields, the grid and the list.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>

#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "sim/simulated_backend.h"
#include "tests/support/connecting.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"
#include "tests/support/work_window.h"

namespace {

using testing_support::OpenChild;

class SimWindowsTest : public testing::TestWithParam<int> {
  protected:
    testing_support::RecordingSink sink;
    testing_support::StationOn<sim::SimulatedBackend> sim{GetParam(), 100};
    std::unique_ptr<kline::TWaiter> waiter = testing_support::MakeWaiter(sim.station);
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, SimWindowsTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(SimWindowsTest, PassportShowsTheEcuOwnRecord) {
    services::TPassport dialog(sim.station, *waiter);
    dialog.show();
    EXPECT_TRUE(sink.Reports().empty());
    const bool first = GetParam() == 0;
    const std::vector<std::pair<QLineEdit*, QString>> fields =
        first ? std::vector<std::pair<QLineEdit*, QString>>{
                    {dialog.Auto_type, "СЕДАН 1.5i 16кл  "},
                    {dialog.Soft_code, "KX42-0112-03"},
                    {dialog.Ebu_code, "KX42-11020"},
                    {dialog.Sys_drive, "ДВС-16"},
                    {dialog.Data_progr, "14/11/2003"},
                    {dialog.Serial_num, ""},
                    {dialog.Soft_serial, "0000104377"},
                    {dialog.Zap_code, ""},
                }
              : std::vector<std::pair<QLineEdit*, QString>>{
                    {dialog.Auto_type, "УНИВЕРСАЛ 1.6i 8кл "},
                    {dialog.Soft_code, "K51-0402"},
                    {dialog.Ebu_code, "КРН51-1411"},
                    {dialog.Sys_drive, "Впрыск 1.6 8кл."},
                    {dialog.Data_progr, "21.04.2004"},
                    {dialog.Serial_num, "5100437021093311"},
                    {dialog.Soft_serial, "0000271834"},
                    {dialog.Zap_code, "1411020"},
                };
    for (const auto& [edit, text] : fields)
        EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
    for (QLineEdit* edit : {dialog.Kuz_num, dialog.Drive_num, dialog.Data_izg})
        EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_EQ(sim.station.connected, 0);
    EXPECT_FALSE(sim.backend.SessionActive());  // the ECU was told to stop
    EXPECT_FALSE(sim.backend.Port().open);
}

TEST_P(SimWindowsTest, FaultListShowsTheStoredCodes) {
    sim.backend.SetDtcs({{0x03, 0x40, 0x60}, {0x05, 0x05, 0x20}, {0x01, 0x30, 0x40}});
    auto* form = new services::TErrors_form(sim.station, *waiter);
    OpenChild frame(form, {700, 300});
    EXPECT_TRUE(sink.Reports().empty());
    ASSERT_EQ(form->RowCount(), 4);
    const auto row = [&](int r) {
        std::vector<std::string> cells;
        for (int c = 0; c < 4; ++c) cells.push_back(form->Cell(c, r).toStdString());
        return cells;
    };
    using Row = std::vector<std::string>;
    EXPECT_EQ(row(1), (Row{"P0340", "Ошибка датчика фазы", "Да", "Да"}));
    EXPECT_EQ(row(2), (Row{"P0505", "Ошибка регулятора холостого хода", "Нет", "Да"}));
    EXPECT_EQ(row(3),
              (Row{"P0130",
                   GetParam() == 0 ? "Неверный сигнал датчика кислорода" : "Неизвестный код ошибки",
                   "Да", "Нет"}));
    EXPECT_EQ(sim.station.connected, 0);
    EXPECT_FALSE(sim.backend.Port().open);
}

TEST_P(SimWindowsTest, FaultListLeavesTheConnectionToASilentEcuOpen) {
    sim.backend.SetFault(0x18, sim::Fault{sim::FaultKind::Silent});
    auto* form = new services::TErrors_form(sim.station, *waiter);
    OpenChild frame(form, {700, 300});
    EXPECT_EQ(sim.station.connected, 1);
    EXPECT_TRUE(sim.backend.Port().open);
    EXPECT_TRUE(sim.backend.SessionActive());
}

class SimEquipmentTest : public SimWindowsTest {};
INSTANTIATE_TEST_SUITE_P(SecondFamily, SimEquipmentTest, testing::Values(1),
                         testing_support::FamilyName);

TEST_P(SimEquipmentTest, EquipmentListsTheConfiguredOptions) {
    sim.backend.WithEcu([](sim::Ecu& ecu) { ecu.SetEquipment(0x2B, 0x1A); });
    auto* window = new services::TComplect(sim.station, *waiter);
    OpenChild frame(window, {500, 300});
    EXPECT_TRUE(sink.Reports().empty());
    std::vector<std::string> lines;
    for (int i = 0; i < window->List_Compl->count(); ++i)
        lines.push_back(window->List_Compl->item(i)->text().toStdString());
    EXPECT_EQ(lines, (std::vector<std::string>{"Датчик кислорода", "Адсорбер", "Датчик детонации",
                                               "Датчик фазы", "Aдаптация нуля дросселя",
                                               "Постоянное хранение ошибок",
                                               "Датчик скорости автомобиля"}));
    EXPECT_FALSE(sim.backend.Port().open);
}

}  // namespace
