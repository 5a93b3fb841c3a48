#include "app/ebu_prop.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

TEBU_prop* EBU_prop = nullptr;

TEBU_prop::TEBU_prop(QWidget* parent) : QDialog(parent) {
    setObjectName("EBU_prop");
    setWindowTitle(QStringLiteral("Тип блока управления"));
    // No system menu and no close box: the dialog ends by OK or Cancel only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(207, 155);

    EBUS = new QGroupBox(this);
    EBUS->setObjectName("EBUS");
    EBUS->setGeometry(8, 8, 191, 91);
    auto* layout = new QVBoxLayout(EBUS);
    items_ = new QButtonGroup(this);
    const QString names[] = {QStringLiteral("TAVRO - KX4.2"), QStringLiteral("КАРНЕЛ  -   5.1")};
    for (int type = 0; type < 2; ++type) {
        auto* item = new QRadioButton(names[type], EBUS);
        layout->addWidget(item);
        items_->addButton(item, type);
    }
    SetItemIndex(0);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                              QStringLiteral("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(16, 120, 75, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(112, 120, 75, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
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
