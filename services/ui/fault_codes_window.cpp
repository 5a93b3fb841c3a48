#include "services/ui/fault_codes_window.h"

#include <QHeaderView>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>

#include "link/connection.h"
#include "platform/messages.h"

namespace services {

TErrors_form* Errors_form = nullptr;

namespace {

constexpr int kReadAttempts = 10;
constexpr int kRowHeight = 24;
constexpr const char* kNotInitialised = "Блок не инициализирован!";
constexpr const char* kNoAnswer = "Блок не отвечает!";
constexpr const char* kStopIncorrect = "Связь завершена не корректно!";

void Warn(const char* text) {
    platform::ShowMessage(text, platform::kAttention, platform::Icon::Warning);
}

}  // namespace

TErrors_form::TErrors_form(kline::Station& station, kline::Connector& connector, QWidget* parent)
    : kline::ChildWindow(parent), station_(station), connector_(connector) {
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

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &TErrors_form::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &TErrors_form::Timer2Timer);

    Errors_form = this;
}

TErrors_form::~TErrors_form() {
    if (Errors_form == this)
        Errors_form = nullptr;
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

void TErrors_form::showEvent(QShowEvent* event) {
    kline::ChildWindow::showEvent(event);
    // The read happens once per window: maximising it inside the frame shows it a second
    // time, and so does the desktop when the frame comes back from being minimised.
    if (formShown_)
        return;
    formShown_ = true;
    FormShow();
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
        Warn(kStopIncorrect);
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
    Timer1->stop();
    Warn(kNotInitialised);
    close();
}

void TErrors_form::Timer2Timer() {
    Timer2->stop();
    Warn(kNoAnswer);
    close();
}

}  // namespace services
