#include "diag/ui/diag_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "diag/ui/horizontal_up_down.h"
#include "diag/ui/reader_dat.h"

namespace diag {

TDiag_form* Diag_form = nullptr;

namespace {

constexpr QSize kMinimumSize(700, 500);
constexpr int kMainWindowMinWidth = 700;
constexpr int kRowHeight = 85;
constexpr int kPointsPerScreen = 10;  // the graphs' own start value
constexpr int kBarHeight = 30;

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
      mainWindow_(mainWindow),
      session_(station, connector, *this, *this, std::move(coTrim)) {
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
            NameGroup(session_.ShownGroup());
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

// The group that Group_num names: its text must be one of the five items.
std::optional<int> TDiag_form::ChosenGroup() const {
    const int index = Group_num->findText(Group_num->currentText());
    return index < 0 ? std::nullopt : std::optional<int>(index);
}

// --- handlers -------------------------------------------------------------------------------

// The program shows the window once; the desktop shows it again after a minimised frame.
void TDiag_form::showEvent(QShowEvent* event) {
    kline::ChildWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TDiag_form::FormShow() {
    session_.Shown();
}

void TDiag_form::closeEvent(QCloseEvent* event) {
    if (session_.CloseAsked())
        kline::ChildWindow::closeEvent(event);
    else
        event->ignore();  // the session closes the window once its step has ended
}

void TDiag_form::resizeEvent(QResizeEvent* event) {
    kline::ChildWindow::resizeEvent(event);
    FormResize();
}

void TDiag_form::FormResize() {
    const int n = ShownCount(station_.settings, station_.Protocol().EcuType(), ShownGroup());
    const int needed = (n / 2 + n % 2 + 1) * kRowHeight;
    if (needed > height()) {
        resize(width(), needed);
        if (mainWindow_)
            ResizeMainWindow(mainWindow_, {mainWindow_->width(), height()});
    }
    ShowWhole();
    if (session_.Polling())
        group_.Place(width());
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

// Text that names no group changes nothing: the box names the group on show again.
void TDiag_form::Group_numChange() {
    if (const std::optional<int> chosen = ChosenGroup())
        session_.GroupChosen(*chosen);
    else
        NameGroup(session_.ShownGroup());
}

void TDiag_form::ComboBox1Change() {
    session_.CoTrimChosen();
}

// The box keeps naming the CO trim.
void TDiag_form::RecordingCommand() {
    ComboBox1->setCurrentIndex(0);
    session_.RecordingToggled();
}

// The width control hands the graphs its position after the step, so they follow it at once.
void TDiag_form::UpDown1Changing(int position) {
    if (station_.connected)
        group_.SetPointsPerScreen(position);
}

void TDiag_form::Timer1Timer() {
    WarnAndClose(Timer1, kNoParamsChosen);
}

void TDiag_form::Timer2Timer() {
    WarnAndClose(Timer2, kNotConnected);
}

// A window closed while its warning is up may be gone after it: the main window's clean-up
// can run in the same turn of the event loop as the box's OK, once the box has left the
// screen. Closed already, it needs no closing.
void TDiag_form::WarnAndClose(QTimer* timer, const char* text) {
    timer->stop();
    const QPointer<TDiag_form> window(this);
    kline::Warn(text);
    if (window)
        close();
}

void TDiag_form::Start(int group) {
    PollDisplay& display = *this;
    poller_ = std::make_unique<TReader_dat>(station_, group, this, display);
}

}  // namespace diag
