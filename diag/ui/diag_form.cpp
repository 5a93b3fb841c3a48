#include "diag/ui/diag_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "diag/catalogue.h"
#include "diag/ui/horizontal_up_down.h"
#include "diag/ui/reader_dat.h"
#include "diag/ui/recording_control.h"
#include "link/connection.h"
#include "link/ui/window_parts.h"
#include "platform/messages.h"
#include "widgets/graph.h"
#include "widgets/value_panel.h"

namespace diag {

TDiag_form* Diag_form = nullptr;

namespace {

constexpr QSize kMinimumSize(700, 500);
constexpr int kMainWindowMinWidth = 700;
constexpr int kRowHeight = 85;
constexpr int kItemHeight = 84;
constexpr int kFirstGraphWidth = 200;
constexpr int kPointsPerScreen = 10;  // the graphs' own start value
constexpr int kBarHeight = 30;

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

void Discard(QWidget* widget) {
    widget->hide();
    widget->deleteLater();
}

QComboBox* DropDown(const char* name, int width, QPoint at, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);  // typed text never becomes an item
    box->move(at);
    box->resize(width, box->sizeHint().height());
    return box;
}

QLabel* BarLabel(const char* name, const QString& text, QPoint at, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

// The main window keeps a fixed border while this window is open (it set it before creating
// the window), so a new size has to become its fixed size.
void ResizeMainWindow(QWidget* window, QSize size) {
    if (window->minimumSize() == window->maximumSize())
        window->setFixedSize(size);
    else
        window->resize(size);
}

}  // namespace

TDiag_form::TDiag_form(kline::Station& station, kline::Connector& connector,
                       std::function<void()> coTrim, QWidget* mainWindow)
    : kline::ChildWindow(nullptr),
      station_(station),
      connector_(connector),
      coTrim_(std::move(coTrim)),
      mainWindow_(mainWindow) {
    setObjectName("Diag_form");
    setWindowTitle(QStringLiteral("Диагностика ЭБУ"));
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setMinimumSize(kMinimumSize);
    client_ = new QWidget;
    BuildBar();
    setWidget(client_);

    if (mainWindow_) {
        station_.settings.savedHeight = mainWindow_->height();
        station_.settings.savedWidth = mainWindow_->width();
        if (mainWindow_->width() < kMainWindowMinWidth)
            ResizeMainWindow(mainWindow_, {kMainWindowMinWidth, mainWindow_->height()});
    }
    Diag_form = this;
}

TDiag_form::~TDiag_form() {
    // The group box loses its focus while the frame below is torn down; its handler must not
    // run on this half-destroyed window.
    Group_num->lineEdit()->disconnect(this);
    StopPoller(poller_);  // only left running when the window was never closed
    if (Diag_form == this)
        Diag_form = nullptr;
}

void TDiag_form::BuildBar() {
    // The bar spans the window's width above the panels and graphs, which stand in place.
    Bar = new QWidget(client_);
    Bar->setObjectName("Bar");
    Bar->setFixedHeight(kBarHeight);
    auto* column = new QVBoxLayout(client_);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Bar);
    column->addStretch();

    Group_num = DropDown("Group_num", 83, {6, 4}, Bar);
    for (int group = 1; group <= settings::kGroups; ++group)
        Group_num->addItem(QStringLiteral("%1 группа").arg(group));
    // An item chosen from the list, or typed text confirmed with Enter that names an item.
    connect(Group_num, &QComboBox::activated, this, &TDiag_form::Group_numChange);
    // Text typed and left (Enter or focus elsewhere) that names no group is taken back, so
    // the box always names the group on show.
    connect(Group_num->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (!ChosenGroup())
            Group_num->setCurrentIndex(shownGroup_);
    });

    Label1 = BarLabel("Label1", QStringLiteral("Шире/Уже"), {104, 8}, Bar);

    UpDown1 = new HorizontalUpDown(Bar);
    UpDown1->setObjectName("UpDown1");
    UpDown1->setGeometry(160, 5, 49, 19);
    UpDown1->setRange(5, 255);
    UpDown1->setValue(kPointsPerScreen);
    connect(UpDown1, &HorizontalUpDown::valueChanged, this, &TDiag_form::UpDown1Changing);

    Label2 = BarLabel("Label2", QStringLiteral("Управление"), {232, 8}, Bar);

    ComboBox1 = DropDown("ComboBox1", 128, {297, 4}, Bar);
    ComboBox1->addItem(QStringLiteral("Регулировка СО"));
    // After the CO trim, the recording command that applies now. Only the items run their
    // commands; typed text does not.
    Recording = new RecordingControl(station_, Bar, {435, 8});
    Recording->lineBusy = [this] { return poller_ && poller_->isRunning(); };
    ComboBox1->addItem(Recording->CommandText());
    connect(Recording, &RecordingControl::CommandChanged, this,
            [this] { ComboBox1->setItemText(1, Recording->CommandText()); });
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            ComboBox1Change();
        else if (index == 1)
            RecordingCommand();
    });

    Timer1 = kline::NamedTimer("Timer1", 1, this, &TDiag_form::Timer1Timer);
    Timer2 = kline::NamedTimer("Timer2", 1, this, &TDiag_form::Timer2Timer);
}

int TDiag_form::EcuType() const {
    return station_.Protocol().EcuType();
}

int TDiag_form::ShownParams() const {
    return ShownCount(station_.settings, EcuType(), shownGroup_);
}

// The group that Group_num names: its text must be one of the five items.
std::optional<int> TDiag_form::ChosenGroup() const {
    const int index = Group_num->findText(Group_num->currentText());
    if (index < 0)
        return std::nullopt;
    return index;
}

// --- handlers -------------------------------------------------------------------------------

void TDiag_form::showEvent(QShowEvent* event) {
    kline::ChildWindow::showEvent(event);
    if (shown_ || event->spontaneous())
        return;  // one showing per window
    shown_ = true;
    FormShow();
}

void TDiag_form::FormShow() {
    const std::optional<int> first = FirstShownGroup(station_.settings, EcuType());
    if (!first) {
        Timer1->start();
        return;
    }
    shownGroup_ = *first;
    Group_num->setCurrentIndex(shownGroup_);  // its text becomes "n группа"
    kline::Connect(station_, connector_);
    if (!station_.connected) {
        Timer2->start();
        return;
    }
    BuildGroup(true);
    StartPolling();
    FormResize();  // the layout the maximised showing would give the new panels
}

void TDiag_form::resizeEvent(QResizeEvent* event) {
    kline::ChildWindow::resizeEvent(event);
    FormResize();
}

void TDiag_form::FormResize() {
    const int n = ShownParams();
    const int needed = (n / 2 + n % 2 + 1) * kRowHeight;
    if (needed > height()) {
        resize(width(), needed);
        if (mainWindow_)
            ResizeMainWindow(mainWindow_, {mainWindow_->width(), height()});
    }
    ShowWhole();
    if (!polling_)
        return;
    const int w = width();
    const int graphWidth = n > 1 ? (w - 290) / 2 : w - 160;
    for (size_t p = 0; p < panels_.size(); ++p) {
        const int row = static_cast<int>(p) / 2;
        const bool left = p % 2 == 0;
        graphs_[p]->setGeometry(left ? 135 : graphWidth + 270, row * kRowHeight + 29, graphWidth,
                                graphs_[p]->height());
        panels_[p]->move(left ? 5 : graphWidth + 140, row * kRowHeight + 30);
    }
}

// Shown maximised, the window keeps its minimum size even where the main window's work area
// is smaller, and its lower rows would stand hidden below the area's edge: the main window
// grows by what is hidden (it gets its saved size back when this window closes).
void TDiag_form::ShowWhole() {
    QMdiArea* area = mdiArea();
    if (!mainWindow_ || !area || !isMaximized())
        return;
    const int hidden = height() - area->viewport()->height();
    if (hidden > 0)
        ResizeMainWindow(mainWindow_, {mainWindow_->width(), mainWindow_->height() + hidden});
}

// A choice made while a message box or dialog holds the screen does not come from the user
// working in this window (the box's showing took the focus from an edited combo box, which
// then took its text). It must not stop the poller, for the poller may be the one waiting for
// that box's OK (and the wait for the poller holds the OK back), nor start a second CO trim
// inside the running one's dialog.
void TDiag_form::Group_numChange() {
    const std::optional<int> chosen = ChosenGroup();
    // The group on show chosen again while its poll runs changes nothing; once the poll has
    // ended (the ECU stopped answering) choosing it again is how the user starts it anew.
    const bool sameGroupPolling = chosen == shownGroup_ && poller_ && poller_->isRunning();
    if (!polling_ || !chosen || sameGroupPolling || kline::DialogHoldsTheScreen()) {
        // Nothing changes: the box goes back to naming the group on show.
        Group_num->setCurrentIndex(shownGroup_);
        return;
    }
    StopPolling();
    Recording->EndFile();
    TearDownGroup();
    ShowGroup(*chosen);
}

// The box keeps naming the CO trim; the recording goes on over group changes, a file each.
void TDiag_form::RecordingCommand() {
    ComboBox1->setCurrentIndex(0);
    if (!polling_)
        return;
    Recording->Toggle();
}

void TDiag_form::ComboBox1Change() {
    if (!polling_ || kline::DialogHoldsTheScreen())
        return;
    StopPolling();
    Recording->EndFile();
    if (coTrim_)
        coTrim_();  // the dialog has the port to itself and ends the connection
    kline::Connect(station_, connector_);
    TearDownGroup();
    ShowGroup(ChosenGroup().value_or(shownGroup_));
}

// The width control hands the graphs its position after the step, so they follow it at once.
void TDiag_form::UpDown1Changing(int position) {
    if (!station_.connected)
        return;
    for (widgets::TGraph* graph : graphs_) graph->SetPointPerScr(position);  // 255 is refused
}

void TDiag_form::Timer1Timer() {
    Timer1->stop();
    kline::Warn(kNoParamsChosen);
    close();
}

void TDiag_form::Timer2Timer() {
    Timer2->stop();
    kline::Warn(kNotConnected);
    close();
}

void TDiag_form::FormClose() {
    if (station_.connected) {
        StopPolling();
        TearDownGroup();
        if (!kline::Disconnect(station_))
            platform::ShowMessage(kLinkNotEnded, platform::kError, platform::Icon::Warning);
    }
    Recording->Stop();  // after the stop request, so that the trace ends with it
    polling_ = false;
}

// --- the shown group ------------------------------------------------------------------------

// Shows `group` afresh after the previous one was torn down.
void TDiag_form::ShowGroup(int group) {
    shownGroup_ = group;
    polling_ = false;
    if (!station_.connected) {
        Timer2->start();
        return;
    }
    BuildGroup(false);
    for (widgets::TGraph* graph : graphs_) graph->SetPointPerScr(UpDown1->value());
    StartPolling();
    FormResize();
}

void TDiag_form::BuildGroup(bool byShow) {
    const int count = ShownParams();  // never more than 16
    for (int p = 0; p < count; ++p) {
        auto* panel = new widgets::stPanel(client_);
        panel->setMaximumHeight(90);
        panel->setMinimumHeight(80);
        panel->resize(widgets::stPanel::kWidth, kItemHeight);
        const QRect unit = panel->UnitLabel->geometry();
        panel->UnitLabel->setGeometry(75, unit.y(), 50, unit.height());

        auto* graph = new widgets::TGraph(client_);
        graph->resize(byShow ? kFirstGraphWidth : graph->width(), kItemHeight);

        panel->show();
        graph->show();
        panels_.push_back(panel);
        graphs_.push_back(graph);
    }
}

// The panels go at once from the screen and from the poller's reach, but are deleted later: a
// group change can run inside a click still being delivered to one of them (the click took
// the focus from the group box, which then took its typed text).
void TDiag_form::TearDownGroup() {
    for (QWidget* gone : panels_) Discard(gone);
    for (QWidget* gone : graphs_) Discard(gone);
    panels_.clear();
    graphs_.clear();
}

void TDiag_form::StartPolling() {
    PollDisplay& display = *this;
    poller_ = std::make_unique<TReader_dat>(station_, shownGroup_, this, display);
    polling_ = true;
}

// The wait for the poller serves no user input (see kline::WaitServingEvents): a group
// change, CO trim command or close box clicked meanwhile is handled after the stop.
void TDiag_form::StopPolling() {
    StopPoller(poller_);
}

// --- the poller's hand-overs ----------------------------------------------------------------

void TDiag_form::StartPanels(std::span<const int32_t> items) {
    const kline::EcuProtocol& protocol = station_.Protocol();
    const size_t count = std::min(items.size(), panels_.size());
    for (size_t p = 0; p < count; ++p) {
        const int k = items[p];
        graphs_[p]->SetMaxValue(ParamGraphMax(protocol, k));
        graphs_[p]->SetMinValue(ParamGraphMin(protocol, k));
        panels_[p]->NameLabel->setText(Text(ParamName(protocol, k)));
        panels_[p]->UnitLabel->setText(Text(ParamUnit(protocol, k)));
        panels_[p]->ShortNameLabel->setText(Text(ParamShortName(protocol, k)));
        panels_[p]->FitTexts();
        graphs_[p]->Clear();
    }
    Recording->OnPanels(items.first(count));
}

void TDiag_form::ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) {
    const kline::EcuProtocol& protocol = station_.Protocol();
    const size_t count = std::min(items.size(), panels_.size());
    std::vector<std::string> texts(count);
    for (size_t p = 0; p < count; ++p) {
        texts[p] = ParamText(protocol, liveData, items[p]);
        panels_[p]->ValueLabel->setText(Text(texts[p]));
        panels_[p]->FitTexts();
        graphs_[p]->AddValue(GraphValue(texts[p]));
    }
    Recording->OnValues(texts);
}

}  // namespace diag
