// The fault list as the customer takes it away: tab-separated text for the clipboard, and
// the lines of a printed report (date and time, ECU family, the rows with descriptions and
// status columns). The window draws the report; what it says is decided here.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "services/fault_codes.h"

namespace services {

inline constexpr const char* kReportTitle = "Ошибки ЭБУ";
inline constexpr const char* kReportNoCodes = "Кодов ошибок нет.";

// The family's name as the ECU-type dialog lists it ("TAVRO - KX4.2"); "" for no family.
std::string EcuFamilyName(int ecuType);

// The header row and one line per row, cells separated by tabs, lines ended by "\n".
std::string FaultListText(const std::vector<FaultRow>& rows);

struct FaultReport {
    std::string title;                              // "Ошибки ЭБУ"
    std::string when;                               // "Дата и время: 08.12.2026 10:15"
    std::string family;                             // "Блок: TAVRO - KX4.2"
    std::vector<std::array<std::string, 4>> table;  // the header row first, then the codes
    std::string empty;                              // kReportNoCodes when there is no code
};

// `when` is the local date and time as the report shows it ("08.12.2026 10:15").
FaultReport MakeFaultReport(const std::vector<FaultRow>& rows, int ecuType,
                            const std::string& when);

}  // namespace services
