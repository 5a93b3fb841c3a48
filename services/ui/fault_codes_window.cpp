#include "services/ui/fault_codes_window.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QTableWidget>
#include <QTimer>

#include "link/connection.h"
#include "services/ui/ecu_warnings.h"
#include "window_kit/window_parts.h"

namespace services {

TErrors_form* Errors_form = nullptr;

namespace {

constexpr int kReadAttempts = 10;
constexpr int kRowHeight = 24;
constexpr const char* kReportNotSaved = "Не удалось сохранить отчёт!";

}  // namespace

TErrors_form::TErrors_form(kline::Station& station, kline::Connector& connector, QWidget* parent)
    : kline::ShownOnceWindow(parent), station_(station), connector_(connector) {
    setObjectName("Errors_form");
    setWindowTitle(QStringLiteral("Ошибки ЭБУ"));

    Grid = new QTableWidget(FaultGridRowCount(0) - 1, static_cast<int>(kFaultColumns.size()));
    Grid->setObjectName("Grid");
    Grid->verticalHeader()->hide();  // no fixed column
    Grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Grid->horizontalHeader()->setHighlightSections(false);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    Grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    Grid->setShowGrid(true);
    for (int column = 0; column < Grid->columnCount(); ++column) {
        Grid->setHorizontalHeaderItem(column, new QTableWidgetItem);
        Grid->setColumnWidth(column, kFaultColumns[column].width);
    }
    setWidget(Grid);

    Timer1 = kline::NamedTimer("Timer1", 1, this, &TErrors_form::Timer1Timer);
    Timer2 = kline::NamedTimer("Timer2", 1, this, &TErrors_form::Timer2Timer);

    BuildGridMenu();
    Errors_form = this;
}

TErrors_form::~TErrors_form() {
    kline::ForgetWindow(Errors_form, this);
}

int TErrors_form::RowCount() const {
    return Grid->rowCount() + 1;
}

QString TErrors_form::Cell(int column, int row) const {
    const QTableWidgetItem* item =
        row == 0 ? Grid->horizontalHeaderItem(column) : Grid->item(row - 1, column);
    return item ? item->text() : QString();
}

void TErrors_form::SetCell(int column, int row, const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    if (row == 0) {
        Grid->setHorizontalHeaderItem(column, item);
        return;
    }
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    Grid->setItem(row - 1, column, item);
}

void TErrors_form::FormShow() {
    // A connection that an earlier fault read left open is used at once.
    kline::Connect(station_, connector_);
    if (!station_.connected) {
        Timer1->start();
        return;
    }
    kline::KwpMessage answer;
    if (!ReadCodes(answer)) {
        // The connection stays up: the next fault read goes straight to the request, and
        // every other command either works over it and ends it, or ends it first.
        Timer2->start();
        return;
    }
    if (!kline::Disconnect(station_))
        kline::Warn(kStopIncorrect);
    FillGrid(FaultRows(station_.Protocol(), answer));
}

bool TErrors_form::ReadCodes(kline::KwpMessage& answer) {
    return kline::Retry(station_, kReadAttempts, [&] {
        answer = ReadFaultCodes(station_.Protocol(), station_.port);
        return !answer.error;
    });
}

// Row 0 is the header; row 1 is written empty first, so that an answer without codes
// shows one empty row.
void TErrors_form::FillGrid(const std::vector<FaultRow>& rows) {
    rows_ = rows;
    Grid->setRowCount(FaultGridRowCount(rows.size()) - 1);
    for (int column = 0; column < static_cast<int>(kFaultColumns.size()); ++column) {
        SetCell(column, 0, kFaultColumns[column].header);
        SetCell(column, 1, "");
    }
    int row = 1;
    for (const FaultRow& fault : rows) {
        SetCell(0, row, fault.code);
        SetCell(1, row, fault.description);
        SetCell(2, row, fault.current);
        SetCell(3, row, fault.stored);
        ++row;
    }
}

void TErrors_form::Timer1Timer() {
    WarnAndClose(Timer1, kNotInitialised);
}

void TErrors_form::Timer2Timer() {
    WarnAndClose(Timer2, kNoAnswer);
}

// --- the grid's context menu ------------------------------------------------------------

void TErrors_form::BuildGridMenu() {
    Grid->setContextMenuPolicy(Qt::CustomContextMenu);
    GridMenu = new QMenu(Grid);
    GridMenu->setObjectName("GridMenu");
    GridMenu->addAction(QStringLiteral("Копировать"), this, &TErrors_form::CopyRows);
    GridMenu->addAction(QStringLiteral("Сохранить отчёт..."), this, &TErrors_form::SaveReport);
    connect(Grid, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { GridMenu->popup(Grid->viewport()->mapToGlobal(at)); });
    askReportPath = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить отчёт"), proposed,
                                            QStringLiteral("PDF (*.pdf)"));
    };
}

void TErrors_form::CopyRows() {
    QApplication::clipboard()->setText(QString::fromStdString(FaultListText(rows_)));
}

void TErrors_form::SaveReport() {
    const QDateTime now = QDateTime::currentDateTime();
    const QString proposed = QDir::current().filePath(
        QStringLiteral("Ошибки ЭБУ %1.pdf").arg(now.toString(QStringLiteral("yyyy-MM-dd HH-mm"))));
    const QString path = askReportPath ? askReportPath(proposed) : QString();
    if (path.isEmpty())
        return;
    const FaultReport report =
        MakeFaultReport(rows_, station_.Protocol().EcuType(),
                        now.toString(QStringLiteral("dd.MM.yyyy HH:mm")).toStdString());
    if (!WriteReportPdf(report, path))
        kline::Warn(kReportNotSaved);
}

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The description column takes what the other three leave; they are as wide as the grid's.
constexpr double kColumnShare[4] = {0.12, 0.56, 0.14, 0.18};
// Readable on paper: rows that do not fit go on to the next page instead.
constexpr int kTablePointSize = 10;

void SetFont(QPainter& p, int pointSize, bool bold) {
    QFont font = p.font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    p.setFont(font);
}

// The height of row `cells` with the descriptions wrapped, in the painter's font.
int RowHeight(QPainter& p, const std::array<std::string, 4>& cells, int width, int pad) {
    int height = p.fontMetrics().height();
    for (size_t c = 0; c < cells.size(); ++c) {
        const int w = static_cast<int>(width * kColumnShare[c]) - 2 * pad;
        height = std::max(
            height, p.boundingRect(QRect(0, 0, w, 100000), Qt::TextWordWrap, Q(cells[c])).height());
    }
    return height + 2 * pad;
}

void DrawRow(QPainter& p, const std::array<std::string, 4>& cells, int y, int height, int width,
             int pad) {
    int x = 0;
    for (size_t c = 0; c < cells.size(); ++c) {
        const int w = static_cast<int>(width * kColumnShare[c]);
        const QRect cell(x, y, w, height);
        p.drawRect(cell);
        p.drawText(cell.adjusted(pad, pad, -pad, -pad), Qt::TextWordWrap | Qt::AlignVCenter,
                   Q(cells[c]));
        x += w;
    }
}

// The title, the date and the family; returns where the table begins.
int DrawHeading(QPainter& p, const FaultReport& report, int width) {
    SetFont(p, 16, true);
    int y = 0;
    p.drawText(QRect(0, y, width, p.fontMetrics().height()), Qt::AlignLeft, Q(report.title));
    y += p.fontMetrics().height() * 3 / 2;
    SetFont(p, 11, false);
    for (const std::string& line : {report.when, report.family}) {
        p.drawText(QRect(0, y, width, p.fontMetrics().height()), Qt::AlignLeft, Q(line));
        y += p.fontMetrics().height();
    }
    return y + p.fontMetrics().height();
}

}  // namespace

bool WriteReportPdf(const FaultReport& report, const QString& path) {
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(Q(report.title));
    pdf.setCreator(QStringLiteral("Tavro KX4.2H"));
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    const int width = pdf.width();
    int y = DrawHeading(p, report, width);
    SetFont(p, kTablePointSize, true);
    const int pad = p.fontMetrics().height() / 4;
    const std::array<std::string, 4>& header = report.table.front();
    const int headerHeight = RowHeight(p, header, width, pad);
    DrawRow(p, header, y, headerHeight, width, pad);
    y += headerHeight;
    for (size_t r = 1; r < report.table.size(); ++r) {
        SetFont(p, kTablePointSize, false);
        const int height = RowHeight(p, report.table[r], width, pad);
        if (y + height > pdf.height()) {  // a new page, under the column headers again
            pdf.newPage();
            SetFont(p, kTablePointSize, true);
            DrawRow(p, header, 0, headerHeight, width, pad);
            y = headerHeight;
            SetFont(p, kTablePointSize, false);
        }
        DrawRow(p, report.table[r], y, height, width, pad);
        y += height;
    }
    if (!report.empty.empty())
        p.drawText(QRect(0, y + pad, width, p.fontMetrics().height() * 2), Qt::AlignLeft,
                   Q(report.empty));
    return p.end();
}

}  // namespace services
