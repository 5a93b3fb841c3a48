// The fault list "Ошибки ЭБУ": a work window that connects, reads the ECU's trouble codes
// once and lists each with its description and whether it is present now and stored.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "link/connector.h"
#include "link/station.h"
#include "services/fault_codes.h"
#include "services/fault_report.h"
#include "window_kit/child_window.h"

class QTableWidget;
class QMenu;
class QTimer;

namespace services {

class TErrors_form final : public kline::ShownOnceWindow {
    Q_OBJECT
  public:
    // Connects through `connector` (the main window hands over the connecting dialog).
    TErrors_form(kline::Station& station, kline::Connector& connector, QWidget* parent = nullptr);
    ~TErrors_form() override;

    // The grid's first row is its fixed header, drawn by the table's header; the rows below
    // it are the table's rows.
    QTableWidget* Grid;
    QTimer* Timer1;  // 1 ms: "Блок не инициализирован!", then close
    QTimer* Timer2;  // 1 ms: "Блок не отвечает!", then close

    // The grid as the user sees it, the header row counted as row 0.
    int RowCount() const;
    QString Cell(int column, int row) const;

    void FormShow() override;

    // The grid's context menu: "Копировать" (every row as tab-separated text, header
    // included, to the clipboard) and "Сохранить отчёт..." (a PDF report).
    QMenu* GridMenu;
    void CopyRows();
    void SaveReport();
    // Asks where the report goes, given a proposed file name; "" when the user cancels.
    std::function<QString(const QString&)> askReportPath;
    void Timer1Timer();
    void Timer2Timer();

  private:
    bool ReadCodes(kline::KwpMessage& answer);
    void FillGrid(const std::vector<FaultRow>& rows);
    void BuildGridMenu();
    void SetCell(int column, int row, const std::string& text);

    kline::Station& station_;
    kline::Connector& connector_;
    std::vector<FaultRow> rows_;  // what the grid lists
};

// Draws `report` on A4 pages of a PDF file in type of 10 pt: rows that do not fit go on to
// the next page, under the column headers again. False when the file cannot be written.
bool WriteReportPdf(const FaultReport& report, const QString& path);

// The open fault list, if any; set while the window exists.
extern TErrors_form* Errors_form;

}  // namespace services
