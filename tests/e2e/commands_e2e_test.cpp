// The adapter check, the controller reset and the fault clearing, run from the main window
// against kline-sim.
#include "tests/e2e/station_fixture.h"

namespace {

using Commands = e2e::StationTest;

TEST_F(Commands, AdapterCheckPassesWithTheSimulator) {
    Start(1);
    form->RunMenuCommand(21);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Адаптер функционирует нормально!"});
    EXPECT_FALSE(form->station.port.IsOpen());
}

TEST_F(Commands, AdapterCheckFailsWithoutAnAdapter) {
    Start(0, {"--fault", "no-adapter"});
    form->RunMenuCommand(21);
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{"Адаптер не функционирует! Проверьте правильность "
                                       "подсоединения питания и адаптера и повторите проверку!"});
}

TEST_F(Commands, ResetOfBothFamiliesWithTheEngineOff) {
    for (int type : {0, 1}) {
        Start(type, {"--engine-off"});
        RunEcuEntry(5);  // "Сброс контроллера"
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Адаптер был удачно сброшен!"}) << type;
        EXPECT_EQ(form->station.connected, 0);
        EXPECT_FALSE(form->station.port.IsOpen());
        TearDown();
        sink.Clear();
    }
}

TEST_F(Commands, RunningEngineRefusesTheReset) {
    Start(1);
    RunEcuEntry(5);
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{
                  "Включен двигатель! Сброс выполняется только на выключеном двигателе!"});
    EXPECT_NE(SimState().find("session ended"), std::string::npos) << SimState();
}

TEST_F(Commands, ClearingEmptiesTheSimulatorsFaultList) {
    for (int type : {0, 1}) {
        Start(type, {"--dtc", "P0130:60,P0505:20"});
        EXPECT_NE(SimState().find("dtc P0130:60 P0505:20"), std::string::npos) << SimState();
        RunEcuEntry(6);  // "Сброс ошибок"
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Ошибки были удачно сброшены!"}) << type;
        EXPECT_NE(SimState().find("dtc none"), std::string::npos) << SimState();
        TearDown();
        sink.Clear();
    }
}

}  // namespace
