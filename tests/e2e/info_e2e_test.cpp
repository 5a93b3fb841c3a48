// The identification, the fault codes and the equipment read from the main window against
// kline-sim, for both ECU families.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>
#include <map>

#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "tests/e2e/station_fixture.h"
#include "tests/support/row_names.h"

namespace {

using Info = e2e::StationTest;

using e2e::WaitFor;

struct PassportCase {
    const char* name;
    int type;
    const char* vehicle;
    const char* date;
    const char* serial;
};

class Passports : public e2e::StationTest, public testing::WithParamInterface<PassportCase> {};

TEST_P(Passports, FieldsComeFromTheEcu) {
    const PassportCase& c = GetParam();
    Start(c.type);
    std::map<std::string, QString> shown;
    ReadPassport([&](services::TPassport& passport) {
        shown["vehicle"] = passport.Auto_type->text();
        shown["date"] = passport.Data_progr->text();
        shown["serial"] = passport.Serial_num->text();
        shown["body"] = passport.Kuz_num->text();
    });
    // Text fields keep the ECU's trailing blanks; the simulator pads its texts with them.
    EXPECT_EQ(shown["vehicle"].trimmed().toStdString(), c.vehicle);
    EXPECT_EQ(shown["date"].toStdString(), c.date);
    EXPECT_EQ(shown["serial"].toStdString(), c.serial);
    EXPECT_EQ(shown["body"].toStdString(), "");
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(form->station.connected, 0);
    EXPECT_NE(SimState().find("session ended"), std::string::npos) << SimState();
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, Passports,
                         testing::Values(PassportCase{"Type0", 0, "СЕДАН 1.5i 16кл", "14/11/2003",
                                                      ""},
                                         PassportCase{"Type1", 1, "УНИВЕРСАЛ 1.6i 8кл",
                                                      "21.04.2004", "5100437021093311"}),
                         testing_support::RowName);

class FaultLists : public e2e::StationTest, public testing::WithParamInterface<int> {};

TEST_P(FaultLists, ShowTheSimulatorsCodesAndStatuses) {
    Start(GetParam(), {"--dtc", "P0130:60,P0505:20,P1622:40"});
    RunEcuEntry(4);  // "Список ошибок"
    ASSERT_TRUE(
        WaitFor([&] { return services::Errors_form && services::Errors_form->RowCount() == 4; }));
    const auto* grid = services::Errors_form;
    EXPECT_EQ(grid->Cell(0, 1), "P0130");
    EXPECT_EQ(grid->Cell(2, 1), "Да");
    EXPECT_EQ(grid->Cell(3, 1), "Да");
    EXPECT_EQ(grid->Cell(0, 2), "P0505");
    EXPECT_EQ(grid->Cell(1, 2), "Ошибка регулятора холостого хода");
    EXPECT_EQ(grid->Cell(2, 2), "Нет");
    EXPECT_EQ(grid->Cell(3, 2), "Да");
    EXPECT_EQ(grid->Cell(0, 3), "P1622");
    EXPECT_EQ(grid->Cell(1, 3), "Ошибка EEPROM");
    EXPECT_EQ(grid->Cell(1, 1), GetParam() == 0 ? QString("Неверный сигнал датчика кислорода")
                                                : QString("Неизвестный код ошибки"));
    EXPECT_TRUE(sink.Reports().empty());
    EXPECT_EQ(form->station.connected, 0);
    services::Errors_form->close();
    EXPECT_TRUE(WaitFor([&] { return form->MdiArea->subWindowList().isEmpty(); }));
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, FaultLists, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_F(Info, EquipmentOfTheSecondFamily) {
    Start(1);
    RunEcuEntry(7);  // "Комплектация"
    ASSERT_TRUE(
        WaitFor([&] { return services::Complect && services::Complect->List_Compl->count() > 0; }));
    QStringList lines;
    for (int i = 0; i < services::Complect->List_Compl->count(); ++i)
        lines << services::Complect->List_Compl->item(i)->text();
    EXPECT_EQ(lines, (QStringList{"Датчик кислорода", "Адсорбер", "Датчик детонации", "Датчик фазы",
                                  "Aдаптация нуля дросселя", "Постоянное хранение ошибок",
                                  "Датчик скорости автомобиля"}));
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(Info, FirstFamilyListsNoEquipmentEntry) {
    Start(0);
    form->Label2Click();
    EXPECT_EQ(form->ListBox1->count(), 6);
}

}  // namespace
