// The three commands of the main window that work on the link directly: the adapter check,
// the controller reset and the fault clearing. Each runs to its end on the user-interface
// thread and reports in message boxes.
#pragma once

#include "link/connector.h"
#include "link/station.h"

namespace kline {

// Opens the port, sends the probe 0xAA and expects it back; needs no ECU.
void AdapterCheck(Station& station);
// Connects through `connector`, refuses while the engine runs, then up to 20 ECUReset attempts.
void ControllerReset(Station& station, Connector& connector);
// Connects through `connector`, up to 20 ClearDiagnosticInformation attempts, then
// StopCommunication.
void FaultClearing(Station& station, Connector& connector);

// A command that would write to the ECU asks this first: while the line plays a recording it
// tells the user that a recording cannot be changed and answers true; nothing is sent then.
bool RefusedOnRecording(const Station& station);

inline constexpr const char* kAdapterWorks = "Адаптер функционирует нормально!";
inline constexpr const char* kAdapterFails =
    "Адаптер не функционирует! Проверьте правильность подсоединения питания и адаптера и "
    "повторите проверку!";
inline constexpr const char* kEngineRunning =
    "Включен двигатель! Сброс выполняется только на выключеном двигателе!";
inline constexpr const char* kResetDone = "Адаптер был удачно сброшен!";
inline constexpr const char* kResetFailed = "Адаптер не был сброшен!";
inline constexpr const char* kFaultsCleared = "Ошибки были удачно сброшены!";
inline constexpr const char* kFaultsNotCleared = "Ощибки не были сброшены!";
inline constexpr const char* kStopFailed = "Связь с адаптером завершена не корректно!!";
inline constexpr const char* kRecordingUnchangeable =
    "Открыта запись, а не блок управления: запись изменить нельзя! В блок ничего не записано.";

}  // namespace kline
