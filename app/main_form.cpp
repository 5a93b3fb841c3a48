#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

#include "app/command_table.h"
#include "link/connection.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "sim/in_process_line.h"
#include "window_kit/child_window.h"
#include "window_kit/window_parts.h"

TMainForm* MainForm = nullptr;

namespace {

constexpr int kMinWidth = 600;
constexpr int kMinHeight = 400;
constexpr int kChildTimerMs = 25;
constexpr int kItemHeight = 24;
const QColor kNavy(0, 0, 128);

// The Windows menu colour the panel and the list are painted in.
QColor MenuColour() {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

QFont PixelFont(const char* family, int pixels, QFont::StyleHint hint = QFont::SansSerif) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    font.setStyleHint(hint);  // the Windows faces are missing elsewhere: keep the kind
    return font;
}

// The record's window state: 0 normal, 1 minimised, 2 maximised.
Qt::WindowStates StateOf(uint8_t code) {
    if (code == 1)
        return Qt::WindowMinimized;
    if (code == 2)
        return Qt::WindowMaximized;
    return Qt::WindowNoState;
}

uint8_t CodeOf(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized)
        return 1;
    if (state & Qt::WindowMaximized)
        return 2;
    return 0;
}

}  // namespace

QPoint PanelOrigin(QSize client, QSize panel) {
    // Integer division truncating towards zero, as the layout has always computed it.
    const int left = client.width() / 2 - panel.width() / 2;
    const int top = ((client.height() / 2 - panel.height() / 2) * 35) / 100 + 10;
    return {left, top};
}

TMainForm::TMainForm(const std::string& settingsPath, platform::SerialBackend* backend)
    : settingsPath_(settingsPath), portBackend_(backend) {
    MainForm = this;
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("Tavro KX4.2H"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(PixelFont("MS Sans Serif", 11));

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName("MdiArea");
    setCentralWidget(MdiArea);
    BuildPanel();
    BuildMenu();
    BuildFileMenu();
    MdiArea->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kChildTimerMs);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    setMinimumSize(minimumClient_);
    resize(minimumClient_);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    station.backend = backend;
    station.connected = 0;
    if (!settings::LoadSettings(station.settings, settingsPath_)) {
        kline::Warn(settings::kLoadFailed);
        settings::ApplyDefaults(station.settings);
    }
    station.BuildProtocol();

    // Second and third at start-up, hidden until a command shows them.
    waiter_ = std::make_unique<kline::TWaiter>(station, this);
    kline::Waiter = waiter_.get();
    coTrim_ = std::make_unique<services::TCorrCO>(station, *waiter_, this);
    services::CorrCO = coTrim_.get();
}

kline::Connector& TMainForm::ConnectingStep() {
    return *waiter_;
}

TMainForm::~TMainForm() {
    FormDestroy();
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::BuildPanel() {
    // The panel stands on the frame's background, under any work window.
    Panel1 = new QFrame(MdiArea->viewport());
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Panel1->setGeometry(28, 15, 534, 313);
    Panel1->setAutoFillBackground(true);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, MenuColour());
    Panel1->setPalette(panelPalette);

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Bevel1->setGeometry(8, 13, 190, 212);
    Bevel1->setCursor(Qt::ForbiddenCursor);

    for (const SectionRow& row : kSectionRows) {
        auto* label = new QLabel(QString::fromUtf8(row.text), Panel1);
        label->setObjectName(QString::fromLatin1(row.name));
        label->setFont(PixelFont("Palatino Linotype", 27, QFont::Serif));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, kNavy);
        label->setPalette(palette);
        label->move(16, row.top);
        label->adjustSize();
        label->setCursor(row.handCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
        label->installEventFilter(this);
        this->*row.label = label;
    }

    ListBox1 = new QListWidget(Panel1);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setGeometry(224, 16, 289, 273);
    ListBox1->setFont(PixelFont("MS Sans Serif", 19));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette listPalette = ListBox1->palette();
    listPalette.setColor(QPalette::Base, MenuColour());
    listPalette.setColor(QPalette::Text, Qt::blue);
    ListBox1->setPalette(listPalette);
    ListBox1->installEventFilter(this);
    ListBox1->viewport()->installEventFilter(this);
    // Every change of the selection runs its entry, whether by mouse or by arrow keys.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TMainForm::ListBox1Click);
}

// Each top menu offers the commands of its section that have a menu entry, in list order.
void TMainForm::BuildMenu() {
    for (const MenuRow& top : kMenuRows) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(top.text));
        menu->setObjectName(QString::fromLatin1(top.name));
        this->*top.menu = menu;
        for (const CommandRow& row : kCommandRows) {
            if (!row.menuEntry || SectionOf(row.command) != top.section)
                continue;
            QAction* action = menu->addAction(QString::fromUtf8(row.menuText));
            action->setObjectName(QString::fromLatin1(row.menuName));
            const auto code = static_cast<uint8_t>(row.command);
            connect(action, &QAction::triggered, this, [this, code] { RunMenuCommand(code); });
            this->*row.menuEntry = action;
        }
    }
}

// --- navigation ---------------------------------------------------------------------------

// The menus themselves are disabled, not only their titles: a click on an entry that was
// still queued for an open menu (a quick double click) must not run a second command.
void TMainForm::HideNavigation() {
    Panel1->hide();
    for (QMenu* menu : {N1, N2, N3, N4}) menu->setEnabled(false);  // and its title with it
}

void TMainForm::ShowNavigation() {
    Panel1->show();
    for (QMenu* menu : {N1, N2, N3, N4}) menu->setEnabled(true);
}

void TMainForm::AddEntry(const char* text) {
    auto* item = new QListWidgetItem(QString::fromUtf8(text), ListBox1);
    item->setSizeHint(QSize(0, kItemHeight));
}

void TMainForm::OpenSection(Section section) {
    navigationCode_ = static_cast<uint8_t>(section);
    const QSignalBlocker quiet(ListBox1);  // refilling is no choice of the user
    ListBox1->clear();
    bool equipmentListed = false;
    for (const CommandRow& row : kCommandRows) {
        if (SectionOf(row.command) == section && !row.needsEquipment)
            AddEntry(row.entry);
        equipmentListed |= SectionOf(row.command) == section && row.needsEquipment;
    }
    // Marks "no entry" as chosen on purpose, so that the list does not make its first entry
    // current (and a key press then run it) when it gains the focus.
    ListBox1->QAbstractItemView::setCurrentIndex(QModelIndex());
    // Asked once the other entries stand: without a valid ECU type this says "Блок не выбран!"
    // over the refilled list and leaves the entry out.
    if (!equipmentListed || !station.ecuProtocol->HasEquipmentConfiguration())
        return;
    for (const CommandRow& row : kCommandRows)
        if (SectionOf(row.command) == section && row.needsEquipment)
            AddEntry(row.entry);
}

void TMainForm::Label1Click() {
    OpenSection(Section::Settings);
}

void TMainForm::Label2Click() {
    OpenSection(Section::Ecu);
}

void TMainForm::Label4Click() {
    OpenSection(Section::Control);
}

void TMainForm::Label6Click() {
    OpenSection(Section::Help);
}

void TMainForm::Label3Click() {
    OpenSection(Section::Exit);
}

int TMainForm::SelectedIndex() const {
    const QModelIndexList selected = ListBox1->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TMainForm::ListBox1Click() {
    // A click still queued for the list when the close box had closed the window (both came
    // in before the program handled the first) runs nothing: the station is ending. Nor does
    // a click while a command runs (see CommandRunning).
    if (!isVisible() || CommandRunning())
        return;
    // With no entry selected the code is the section itself, which runs nothing.
    navigationCode_ = static_cast<uint8_t>(navigationCode_ / 10 * 10 + SelectedIndex() + 1);
    RunCommand();
}

void TMainForm::ListBox1KeyPress(char key) {
    if (key == '\r')
        ListBox1Click();
}

void TMainForm::RunMenuCommand(uint8_t code) {
    if (CommandRunning())
        return;
    // The list keeps showing its section, and its entries keep running their own commands.
    const uint8_t section = navigationCode_;
    navigationCode_ = code;
    RunCommand();
    navigationCode_ = section;
}

// --- work windows -------------------------------------------------------------------------

void TMainForm::OpenChild(kline::ChildWindow* child) {
    HideNavigation();
    child->setAttribute(Qt::WA_DeleteOnClose, false);  // Timer1Timer destroys it
    MdiArea->addSubWindow(child);
    connect(child, &kline::ChildWindow::closed, Timer1, qOverload<>(&QTimer::start));
    child->showMaximized();
}

void TMainForm::Timer1Timer() {
    // A work window can be closed inside a message box that one of its own handlers still
    // shows (a second deferred message of the window, shown in the first one's loop, closed
    // it): that handler goes on with the window once the box is gone. The window is destroyed
    // when no message box or dialog holds the screen; until then this timer keeps coming back.
    if (kline::DialogHoldsTheScreen())
        return;
    Timer1->stop();
    const QList<QMdiSubWindow*> children = MdiArea->subWindowList();
    if (!children.isEmpty())
        delete children.first();
    if (borderFixed_) {
        borderFixed_ = false;
        setMinimumSize(minimumClient_);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(station.settings.savedWidth, station.settings.savedHeight);
    }
    ShowNavigation();
}

void TMainForm::FixBorder() {
    borderFixed_ = true;
    setFixedSize(size());
}

void TMainForm::ResizeWindow(int width, int height) {
    if (borderFixed_)
        setFixedSize(width, height);
    else
        resize(width, height);
}

// --- placement and the end of the run -------------------------------------------------------

void TMainForm::FormResize() {
    Panel1->move(PanelOrigin(MdiArea->size(), Panel1->size()));
}

// 600 x 400 is the window's outer size, its frame included. The frame is known only once
// the window system has framed the window; then the client area becomes what is left
// inside 600 x 400 (592 x 346 on a usual desktop, so the panel stands at (29, 15)), once.
void TMainForm::FitOuterSize() {
    const QWindow* window = windowHandle();
    if (!window)
        return;
    const QMargins frame = window->frameMargins();
    if (frame.isNull())
        return;
    outerSizeFitted_ = true;
    const QSize outer(kMinWidth, kMinHeight);
    const QSize client = outer.shrunkBy(frame);
    const bool firstSize = size() == minimumClient_;
    minimumClient_ = client;
    if (borderFixed_)
        return;  // the diagnostics window's size stands until it closes
    setMinimumSize(minimumClient_);
    if (firstSize && windowState() == Qt::WindowNoState)
        resize(minimumClient_);
}

void TMainForm::FormActivate() {
    if (!firstActivation_)
        return;
    firstActivation_ = false;
    const settings::SettingsRecord& record = station.settings;
    // Placed before the state is applied, so that a maximised window comes back to its
    // place when the user restores it.
    move(record.windowLeft, record.windowTop);
    setWindowState(StateOf(record.windowState));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (commandsRunning_ > 0 && event->spontaneous()) {  // the close box, not "Выход"
        closeAfterCommand_ = true;
        event->ignore();
        return;
    }
    // Each work window ends its connection in its own close handling first.
    MdiArea->closeAllSubWindows();
    for (const QMdiSubWindow* child : MdiArea->subWindowList()) {
        if (child->isVisible()) {
            event->ignore();
            return;
        }
    }
    // The station is ending: a click on the menu or the list that was still queued behind
    // the close box must not open a menu or run a command on the closed window (an open
    // menu would even keep the program from ending).
    HideNavigation();
    event->accept();
}

void TMainForm::FormDestroy() {
    qDeleteAll(MdiArea->subWindowList());  // no work window outlives the protocol object
    kline::EndLeftoverConnection(station);
    station.backend = portBackend_;  // the in-process line goes first
    line_.reset();
    station.ecuProtocol.reset();
    settings::SettingsRecord& record = station.settings;
    record.windowState = CodeOf(windowState());
    record.windowTop = y();
    record.windowLeft = x();
    if (!settings::SaveSettings(record, settingsPath_))
        kline::Warn(settings::kSaveFailed);
}

// --- events -------------------------------------------------------------------------------

bool TMainForm::event(QEvent* event) {
    if (!outerSizeFitted_ && isVisible())
        FitOuterSize();
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!ListBox1)
        return QMainWindow::eventFilter(watched, event);  // still being built
    if (watched == MdiArea && type == QEvent::Resize) {
        FormResize();
    } else if (watched == ListBox1 && type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ListBox1KeyPress('\r');
            return true;
        }
    } else if (watched == ListBox1->viewport() && type == QEvent::MouseButtonPress) {
        rowAtPress_ = SelectedIndex();
    } else if (watched == ListBox1->viewport() && type == QEvent::MouseButtonRelease) {
        // A click on the entry that is already selected changes no selection; it runs the
        // entry again all the same, as a click on a list entry always has.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int row = ListBox1->indexAt(mouse->position().toPoint()).row();
        if (mouse->button() == Qt::LeftButton && row >= 0 && row == rowAtPress_ &&
            row == SelectedIndex())
            ListBox1Click();
        rowAtPress_ = -1;
    } else if (type == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (const SectionRow& row : kSectionRows) {
            const QLabel* label = this->*row.label;
            if (watched == label && mouse->button() == Qt::LeftButton &&
                label->rect().contains(mouse->position().toPoint()))
                (this->*row.click)();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
