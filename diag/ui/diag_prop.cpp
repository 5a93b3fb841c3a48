#include "diag/ui/diag_prop.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "diag/catalogue.h"
#include "diag/groups.h"
#include "window_kit/window_parts.h"

namespace diag {

TDiag_prop* Diag_prop = nullptr;

namespace {

// The client area the controls were laid out in: the 562 x 493 window less its frame and
// title bar, which leaves the controls their margin of 7 pixels on the right, 6 at the bottom.
constexpr QSize kDesignClient(554, 466);

QLabel* CaptionLabel(const char* name, const QString& text, QPoint at, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(19);
    label->setFont(font);
    label->move(at);
    label->adjustSize();
    return label;
}

QListWidget* SensorList(const char* name, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->viewport()->setCursor(Qt::PointingHandCursor);
    return list;
}

// A 75 x 25 button that PlaceControls moves to its place.
QPushButton* Button(const char* name, const QString& text, QStyle::StandardPixmap icon,
                    QWidget* parent) {
    QPushButton* button = kline::IconButton(icon, text, name, {0, 0, 75, 25}, parent);
    button->setAutoDefault(false);
    return button;
}

// The highlighted row of a list box, or -1 when none is: a row only counts when it is
// selected, not merely current (after a removal the current row has no highlight).
int Highlighted(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->row(item) : -1;
}

}  // namespace

TDiag_prop::TDiag_prop(kline::Station& station, QWidget* parent)
    : kline::ShownOnceWindow(parent), station_(station) {
    setObjectName("Diag_prop");
    setWindowTitle(QStringLiteral("Настройка диагностики"));
    client_ = new QWidget;
    client_->resize(kDesignClient);
    BuildControls(client_);
    client_->installEventFilter(this);
    setWidget(client_);
    resize(562, 493);
    Diag_prop = this;
}

TDiag_prop::~TDiag_prop() {
    kline::ForgetWindow(Diag_prop, this);
}

void TDiag_prop::BuildControls(QWidget* client) {
    Group = new QGroupBox(QStringLiteral("Выберите группу:"), client);
    Group->setObjectName("Group");
    Group->setGeometry(8, 24, 209, 201);
    GroupButtons = new QButtonGroup(Group);
    auto* items = new QVBoxLayout(Group);
    for (int g = 0; g < settings::kGroups; ++g) {
        auto* item = new QRadioButton(QStringLiteral("%1 группа").arg(g + 1), Group);
        GroupButtons->addButton(item, g);
        items->addWidget(item);
    }
    GroupButtons->button(0)->setChecked(true);
    connect(GroupButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            GroupClick();
    });

    Label1 = CaptionLabel("Label1", QStringLiteral("Отображаемые датчики"), {224, 2}, client);
    Active = SensorList("Active", client);
    Label2 = CaptionLabel("Label2", QStringLiteral("Доступные датчики"), {8, 232}, client);
    List = SensorList("List", client);
    // A double-click anywhere in a list box edits the group, as with the item highlighted by
    // its first click; the handlers themselves decide what a click beside the items does.
    Active->viewport()->installEventFilter(this);
    List->viewport()->installEventFilter(this);

    BitBtn2 = Button("BitBtn2", QStringLiteral("Очистить"), QStyle::SP_DialogResetButton, client);
    connect(BitBtn2, &QPushButton::clicked, this, &TDiag_prop::BitBtn2Click);
    // "Очистить" is the window's cancel button: Esc anywhere in the window presses it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, BitBtn2, &QPushButton::click);

    BitBtn1 = Button("BitBtn1", QStringLiteral("Выход"), QStyle::SP_DialogCloseButton, client);
    connect(BitBtn1, &QPushButton::clicked, this, &TDiag_prop::close);

    PlaceControls(kDesignClient);
}

// The controls keep their design places; `Active` stretches to the right, `List` to the
// right and down, the buttons stay at the right edge and "Выход" also at the bottom.
void TDiag_prop::PlaceControls(QSize clientSize) {
    const int dx = clientSize.width() - kDesignClient.width();
    const int dy = clientSize.height() - kDesignClient.height();
    Active->setGeometry(219, 29, std::max(0, 328 + dx), 196);
    List->setGeometry(8, 258, std::max(0, 451 + dx), std::max(0, 202 + dy));
    BitBtn2->move(472 + dx, 231);
    BitBtn1->move(472 + dx, 435 + dy);
}

bool TDiag_prop::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        PlaceControls(client_->size());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        // The first click of the double-click has already highlighted the item under it.
        if (watched == List->viewport()) {
            ListDblClick();
            return true;
        }
        if (watched == Active->viewport()) {
            ActiveDblClick();
            return true;
        }
    }
    return kline::ShownOnceWindow::eventFilter(watched, event);
}

void TDiag_prop::FormShow() {
    showMaximized();
    List->clear();
    // For no valid ECU type the catalogue says "Блок не выбран!" and counts no rows.
    const int count = ParamCount(station_.Protocol());
    for (int i = 0; i < count; ++i)
        List->addItem(QString::fromStdString(ParamName(station_.Protocol(), i)));
    GroupClick();
}

void TDiag_prop::GroupClick() {
    Active->clear();
    for (int index : GroupEntries(station_.settings, EcuType(), EditedGroup()))
        Active->addItem(ListText(index));
}

void TDiag_prop::ListDblClick() {
    const int index = Highlighted(List);
    if (index >= 0 && AddToGroup(station_.settings, EcuType(), EditedGroup(), index))
        Active->addItem(ListText(index));
}

void TDiag_prop::ActiveDblClick() {
    const int position = Highlighted(Active);
    if (position >= 0 && RemoveFromGroup(station_.settings, EcuType(), EditedGroup(), position))
        delete Active->takeItem(position);
}

void TDiag_prop::BitBtn2Click() {
    if (ClearGroup(station_.settings, EcuType(), EditedGroup()))
        Active->clear();
}

// The ECU type of the protocol object, whose catalogue fills `List`: -1 when none is chosen,
// which names no group, so the groups show empty and every edit is ignored.
int TDiag_prop::EcuType() const {
    return station_.Protocol().EcuType();
}

int TDiag_prop::EditedGroup() const {
    return GroupButtons->checkedId();
}

// The name `List` shows for a parameter index. An index beyond the catalogue (a slot of a
// corrupt auto.ini) shows as the catalogue names it, by the empty text.
QString TDiag_prop::ListText(int index) const {
    const QListWidgetItem* item = List->item(index);
    return item ? item->text() : QString();
}

}  // namespace diag
