#include "services/fault_report.h"

namespace services {

namespace {

std::array<std::string, 4> Header() {
    std::array<std::string, 4> header;
    for (size_t c = 0; c < header.size(); ++c) header[c] = kFaultColumns[c].header;
    return header;
}

std::array<std::string, 4> Cells(const FaultRow& row) {
    return {row.code, row.description, row.current, row.stored};
}

std::string TabLine(const std::array<std::string, 4>& cells) {
    std::string line;
    for (size_t c = 0; c < cells.size(); ++c) line += (c ? "\t" : "") + cells[c];
    return line + "\n";
}

}  // namespace

std::string EcuFamilyName(int ecuType) {
    const kline::EcuVariant* variant = kline::VariantOf(ecuType);
    return variant ? variant->Name() : "";
}

std::string FaultListText(const std::vector<FaultRow>& rows) {
    std::string text = TabLine(Header());
    for (const FaultRow& row : rows) text += TabLine(Cells(row));
    return text;
}

FaultReport MakeFaultReport(const std::vector<FaultRow>& rows, int ecuType,
                            const std::string& when) {
    FaultReport report;
    report.title = kReportTitle;
    report.when = "Дата и время: " + when;
    report.family = "Блок: " + EcuFamilyName(ecuType);
    report.table.push_back(Header());
    for (const FaultRow& row : rows) report.table.push_back(Cells(row));
    if (rows.empty())
        report.empty = kReportNoCodes;
    return report;
}

}  // namespace services
