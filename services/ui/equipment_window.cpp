#include "services/ui/equipment_window.h"

#include <QListWidget>
#include <QStyledItemDelegate>
#include <QTimer>

#include "link/connection.h"
#include "platform/clock.h"
#include "services/equipment.h"
#include "services/ui/ecu_warnings.h"
#include "window_kit/window_parts.h"

namespace services {

TComplect* Complect = nullptr;

namespace {

constexpr int kFontPixels = 16;
constexpr int kItemHeight = 18;

// Every line of the list is equally tall, whatever the font's own line height.
class FixedHeightDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }
};

}  // namespace

TComplect::TComplect(kline::Station& station, kline::Connector& connector, QWidget* parent)
    : kline::ShownOnceWindow(parent), station_(station), connector_(connector) {
    setObjectName("Complect");
    setWindowTitle(QStringLiteral("Комплектация"));

    List_Compl = new QListWidget;
    List_Compl->setObjectName("List_Compl");
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(kFontPixels);
    List_Compl->setFont(font);
    List_Compl->setItemDelegate(new FixedHeightDelegate(List_Compl));
    List_Compl->setUniformItemSizes(true);
    setWidget(List_Compl);

    Timer1 = kline::NamedTimer("Timer1", 1, this, &TComplect::Timer1Timer);

    Complect = this;
}

TComplect::~TComplect() {
    kline::ForgetWindow(Complect, this);
}

void TComplect::FormShow() {
    kline::Connect(station_, connector_);
    if (!station_.connected) {
        Timer1->start();
        return;
    }
    platform::Sleep(station_.RequestDelay());
    const kline::KwpMessage record = ReadEquipment(station_.Protocol(), station_.port);
    if (!ListEquipment(record))
        kline::Warn(kNoAnswer);  // the window stays open
    if (!kline::Disconnect(station_))
        kline::Warn(kStopIncorrect);
}

bool TComplect::ListEquipment(const kline::KwpMessage& record) {
    if (record.error)
        return false;
    EquipmentText line;
    const int count = EquipmentCount(station_.Protocol());
    for (int n = 1; n <= count; ++n) {
        line = EquipmentLine(station_.Protocol(), n, record);
        if (!line.text.empty() && !line.error)
            List_Compl->addItem(QString::fromStdString(line.text));
    }
    return !line.error;
}

void TComplect::Timer1Timer() {
    WarnAndClose(Timer1, kNotInitialised);
}

}  // namespace services
