#include "app/ebu_prop.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "link/ecu_protocol.h"
#include "settings/ecu_types.h"
#include "window_kit/window_parts.h"

TEBU_prop* EBU_prop = nullptr;

TEBU_prop::TEBU_prop(QWidget* parent) : QDialog(parent) {
    // No system menu and no close box: the dialog ends by OK or Cancel only.
    kline::SetUpDialog(this, "EBU_prop", QStringLiteral("Тип блока управления"),
                       Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, {207, 155});

    EBUS = new QGroupBox(this);
    EBUS->setObjectName("EBUS");
    EBUS->setGeometry(8, 8, 191, 91);
    auto* layout = new QVBoxLayout(EBUS);
    items_ = new QButtonGroup(this);
    for (int type = 0; type < settings::kEcuTypes; ++type) {
        auto* item = new QRadioButton(QString::fromUtf8(kline::VariantOf(type)->Name()), EBUS);
        layout->addWidget(item);
        items_->addButton(item, type);
    }
    SetItemIndex(0);

    std::tie(BitBtn1, BitBtn2) = kline::OkCancelButtons(this, {16, 120}, {112, 120});
}

int TEBU_prop::ItemIndex() const {
    return items_->checkedId();
}

void TEBU_prop::SetItemIndex(int index) {
    const int last = static_cast<int>(items_->buttons().size()) - 1;
    if (index < 0) {
        // An exclusive group keeps one item checked; let go of it for a moment.
        items_->setExclusive(false);
        for (QAbstractButton* item : items_->buttons()) item->setChecked(false);
        items_->setExclusive(true);
        return;
    }
    items_->button(std::min(index, last))->setChecked(true);
}
