// Seeded random user actions on the whole station, offscreen, against the simulated adapter
// and ECU on the virtual clock, with faults on the line switched at random in between. The
// user works on whatever window is active: the navigation's sections and entries, the menu,
// every button, list, radio, spinner, slider and combo box of the dialogs and work windows,
// double clicks, Enter and Esc, close boxes, minimise and restore, typed text. Every input
// is posted as the window system posts it, so it waits in the queue while the station waits
// for a worker. Before every action the invariants are checked; at the end the station is
// closed as a user closes it and auto.ini must hold what the run's settings changes made.
//
// TAVRO_RANDOM_SEED repeats one seed, TAVRO_RANDOM_SEEDS sets how many seeds run (from
// 1001 up), TAVRO_RANDOM_ACTIONS the actions per seed. A failing run prints its seed and the
// actions that led to it, also when the process dies.
#include <QtCore/private/qobject_p.h>
#include <QtCore/private/qthread_p.h>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "app/about_box.h"
#include "app/comm_prop.h"
#include "app/ebu_prop.h"
#include "diag/ui/diag_form.h"
#include "diag/ui/diag_prop.h"
#include "link/ui/waiter.h"
#include "services/ui/co_trim_window.h"
#include "services/ui/passport_window.h"
#include "sim/in_process_line.h"
#include "sim/line_timing.h"
#include "tests/reliability/process_watch.h"
#include "tests/reliability/station_rig.h"
#include "tests/reliability/user_input.h"
#include "window_kit/qt_message_sink.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#include <sanitizer/common_interface_defs.h>
#define TAVRO_SANITIZED 1
#endif

namespace {

using reliability::StationRig;

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

std::vector<uint32_t> Seeds() {
    if (const int seed = EnvInt("TAVRO_RANDOM_SEED", 0))
        return {static_cast<uint32_t>(seed)};
    std::vector<uint32_t> seeds;
    for (int i = 0; i < EnvInt("TAVRO_RANDOM_SEEDS", 3); ++i) seeds.push_back(1001 + i);
    return seeds;
}

// What is printed when the process dies: the seed and the last actions (best effort).
std::string crashNote;
void PrintCrashNote() {
    reliability::WriteToStandardError(crashNote);
}

template <class T>
QList<T*> Usable(QWidget* scope) {
    QList<T*> found;
    if (!scope)
        return found;
    for (T* widget : scope->findChildren<T*>())
        if (widget->isVisible() && widget->isEnabled() && widget->window() == scope->window())
            found << widget;
    return found;
}

class RandomUser;

struct Action {
    const char* name;
    int weight;
    bool (*applies)(RandomUser&);
    void (*act)(RandomUser&);
};

struct Invariant {
    const char* name;
    bool (*holds)(RandomUser&, std::string& why);
};

extern const std::vector<Action> kActions;
extern const std::vector<Invariant> kInvariants;

class RandomUser : public QObject {
  public:
    RandomUser(uint32_t seed, int actions) : seed_(seed), total_(actions), random_(seed) {
        rig.backend.SetEngineRunning(false);
        rig.Start(Initial());
        BeginSegment();
        qApp->installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    ~RandomUser() override { qApp->removeEventFilter(this); }

    // The run: actions until the count is reached, the station started anew whenever the
    // user closed it; then the user closes it. Returns the failures. The last close, and the
    // one after a failure, happen from the ticks: they may run inside a modal dialog's loop.
    std::vector<std::string> Run() {
        timer_.start(1);
        for (;;) {
            // As the program runs: the application's loop until the main window has closed,
            // which also ends every dialog's and message box's loop still running then.
            QApplication::setQuitOnLastWindowClosed(true);
            QApplication::exec();
            QApplication::setQuitOnLastWindowClosed(false);
            const bool last = closing_;
            if (failures_.empty())
                EndSegment();
            if (last || !failures_.empty())
                break;
            rig.Restart();
            BeginSegment();
        }
        timer_.stop();
        return failures_;
    }

    std::string Summary() const {
        std::ostringstream out;
        out << "seed " << seed_ << ": " << done_ << " actions, " << restarts_
            << " starts of the station, " << boxes_ << " message boxes, " << faults_
            << " fault switches; windows shown:";
        for (const auto& [name, count] : shown_) out << " " << name << " " << count;
        return out.str();
    }

    // --- the screen -----------------------------------------------------------------------

    TMainForm& Form() { return rig.Form(); }
    static QWidget* Popup() { return QApplication::activePopupWidget(); }
    static QWidget* Modal() {
        QWidget* modal = QApplication::activeModalWidget();
        return modal && modal->isVisible() ? modal : nullptr;
    }
    QMdiSubWindow* Child() {
        const QList<QMdiSubWindow*> children = Form().MdiArea->subWindowList();
        return children.isEmpty() || !children.first()->isVisible() ? nullptr : children.first();
    }
    // The window the user's input goes to.
    QWidget* Top() {
        if (QWidget* popup = Popup())
            return popup;
        if (QWidget* modal = Modal())
            return modal;
        return &Form();
    }
    // The widgets the user can reach now.
    QWidget* Scope() {
        if (QWidget* top = Popup() ? Popup() : Modal())
            return top;
        if (QMdiSubWindow* child = Child())
            return child;
        return Form().Panel1;
    }
    // True when the tick runs between handlers, not inside one (in a wait or a modal loop it
    // started): the screen is then what the user sees settled.
    static bool Settled() {
        return QObjectPrivate::get(qApp)->threadData.loadRelaxed()->scopeLevel <= 1;
    }
    bool Idle() {
        const kline::Station& s = Form().station;
        return !Popup() && !Modal() && Form().MdiArea->subWindowList().isEmpty() && !s.connected &&
               !s.connecting && Form().NavigationCode() % 10 == 0;
    }

    int Pick(int n) { return std::uniform_int_distribution(0, n - 1)(random_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    template <class T>
    T* AnyOf(const QList<T*>& list) {
        return list.isEmpty() ? nullptr : list[Pick(list.size())];
    }
    static std::string Describe(QWidget* w) {
        if (!w)
            return "-";
        std::string text = w->metaObject()->className();
        if (!w->objectName().isEmpty())
            text += " " + w->objectName().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            text += " \"" + button->text().toStdString() + "\"";
        if (auto* label = qobject_cast<QLabel*>(w))
            text += " \"" + label->text().left(20).toStdString() + "\"";
        return text;
    }
    void Note(const std::string& what) { detail_ = what; }

    // --- faults on the line -----------------------------------------------------------------

    void Fault(const std::string& what) {
        ++faults_;
        faultsOn_ = true;
        dirty_ = true;
        Note(what);
    }
    uint8_t AnyService() {
        static constexpr uint8_t kSids[] = {0x81, 0x82, 0x21, 0x1A, 0x18, 0x14, 0x11, 0x30};
        return kSids[Pick(std::size(kSids))];
    }
    void InjectOnService(sim::Fault fault, const std::string& what) {
        if (Chance(0.3)) {
            rig.backend.SetFaultForAll(fault);
            Fault(what + " on every service");
        } else {
            const uint8_t sid = AnyService();
            rig.backend.SetFault(sid, fault);
            std::ostringstream text;
            text << what << " on service 0x" << std::hex << int(sid);
            Fault(text.str());
        }
    }
    void ClearFaults() {
        rig.backend.ClearInjectedFaults();
        rig.backend.SetAdapter(sim::AdapterMode::Normal);
        rig.backend.FailCall(sim::PortCall::Open, false);
        rig.backend.FailCall(sim::PortCall::WriteByte, false);
        faultsOn_ = false;
        Note("line as new");
    }

    StationRig rig{1};
    int skip = 0;

  private:
    static settings::SettingsRecord Initial() {
        settings::SettingsRecord record = reliability::RigSettings(1);
        record.groupCounts[1][1] = 0;  // an empty group among them
        return record;
    }

    // --- the course of the run --------------------------------------------------------------

    void BeginSegment() {
        ++restarts_;
        settings::LoadSettings(expected_, rig.path);
        lastFreeSize_ = Form().size();
        kline::Waiter->Timer1->setInterval(5);  // it looks every 5 ms instead of 500
        Log("station started");
    }

    // The station has closed: auto.ini must hold the run's settings changes.
    void EndSegment() {
        expected_.windowState = Form().isMaximized() ? 2 : Form().isMinimized() ? 1 : 0;
        expected_.windowTop = Form().y();
        expected_.windowLeft = Form().x();
        rig.End();
        const std::string bytes = rig.FileBytes();
        if (bytes.size() != size_t{settings::kRecordSize}) {
            Fail("auto.ini has " + std::to_string(bytes.size()) + " bytes");
            return;
        }
        settings::SettingsRecord written;
        settings::LoadSettings(written, rig.path);
        CompareSettings(written);
        Log("station closed, auto.ini checked");
    }

    // "n: i j k": a group's count and the slots it covers.
    static std::string Slots(const settings::SettingsRecord& r, int type, int group) {
        const int n = r.groupCounts[type][group];
        std::string text = std::to_string(n) + ":";
        for (int slot = 0; slot < std::min(n, settings::kSlots); ++slot)
            text += " " + std::to_string(r.groupLists[type][group][slot]);
        return text;
    }

    void CompareSettings(const settings::SettingsRecord& got) {
        const settings::SettingsRecord& want = expected_;
        auto check = [this](bool same, const std::string& field) {
            if (!same)
                Fail("auto.ini: " + field + " is not what the run made it");
        };
        check(got.requestDelay == want.requestDelay,
              "requestDelay " + std::to_string(got.requestDelay) + " (expected " +
                  std::to_string(want.requestDelay) + ")");
        check(settings::PortName(got) == settings::PortName(want),
              "portName \"" + settings::PortName(got) + "\" (expected \"" +
                  settings::PortName(want) + "\")");
        check(got.ecuType == want.ecuType, "ecuType");
        check(got.savedWidth == want.savedWidth && got.savedHeight == want.savedHeight,
              "saved size " + std::to_string(got.savedWidth) + "x" +
                  std::to_string(got.savedHeight) + " (expected " +
                  std::to_string(want.savedWidth) + "x" + std::to_string(want.savedHeight) + ")");
        check(got.windowState == want.windowState && got.windowTop == want.windowTop &&
                  got.windowLeft == want.windowLeft,
              "placement");
        for (int t = 0; t < settings::kEcuTypes; ++t) {
            for (int g = 0; g < settings::kGroups; ++g) {
                // The slots beyond the count are the record's own business.
                const int n = want.groupCounts[t][g];
                const bool same =
                    got.groupCounts[t][g] == n &&
                    std::equal(got.groupLists[t][g].begin(), got.groupLists[t][g].begin() + n,
                               want.groupLists[t][g].begin());
                check(same, "group " + std::to_string(g + 1) + " of ECU type " + std::to_string(t) +
                                " (auto.ini " + Slots(got, t, g) + ", the editor showed " +
                                Slots(want, t, g) + ")");
            }
        }
    }

    void Tick() {
        if (busy_)
            return;
        busy_ = true;
        NoteMessageBox();
        if (closing_)
            CloseTick();
        else
            ActTick();
        busy_ = false;
    }

    void ActTick() {
        if (!Form().isVisible()) {
            // The station has closed; the run goes on once the loops have unwound. Nothing
            // may have opened after the close, and the application's loop must have ended.
            if (Modal()) {
                Fail("\"" + Describe(Modal()) + "\" is up after the station closed");
            } else if (++hiddenTicks_ > 5000) {
                Fail("the program runs on for five seconds after its main window closed");
                QCoreApplication::quit();
            }
            return;
        }
        hiddenTicks_ = 0;
        ResyncLine();
        CheckInvariants();
        if (!failures_.empty())
            return;
        if (skip > 0) {
            --skip;
            return;
        }
        if (done_ >= total_) {
            StartClosing();
            return;
        }
        // A minimised window takes no clicks or keys: the user restores it first (or leaves
        // it and changes the line).
        const bool minimised = Top()->isMinimized();
        std::vector<const Action*> usable;
        int weights = 0;
        for (const Action& action : kActions) {
            const std::string name = action.name;
            if (minimised && name != "restore" && name != "wait" && name.rfind("fault", 0) != 0)
                continue;
            if (action.applies(*this)) {
                usable.push_back(&action);
                weights += action.weight;
            }
        }
        int roll = Pick(weights);
        const Action* chosen = usable.back();
        for (const Action* action : usable) {
            if (roll < action->weight) {
                chosen = action;
                break;
            }
            roll -= action->weight;
        }
        detail_.clear();
        chosen->act(*this);
        ++done_;
        Log(std::string(chosen->name) + (detail_.empty() ? "" : ": " + detail_));
    }

    // The user closes the station: message boxes confirmed, dialogs closed, then the main
    // window's close box.
    void CloseTick() {
        // Nested modal loops cannot be left from outside: a station that does not close ends
        // the test here, with what led to it.
        if (std::chrono::steady_clock::now() - closingSince_ > std::chrono::seconds(60)) {
            std::fprintf(stderr, "the station did not close within 60 s\n");
            for (const std::string& failure : failures_)
                std::fprintf(stderr, "%s\n", failure.c_str());
            PrintCrashNote();
            std::abort();
        }
        if (++closeTicks_ % 10 != 1)
            return;  // one step every 10 ms, as the windows come and go
        if (QWidget* popup = Popup()) {
            user_input::Key(Qt::Key_Escape, {}, popup);
        } else if (QWidget* modal = Modal()) {
            if (qobject_cast<QMessageBox*>(modal))
                user_input::Key(Qt::Key_Return, {}, modal);
            else
                user_input::CloseBox(modal);
        } else if (Form().isMinimized()) {
            user_input::Restore(&Form());
        } else {
            user_input::CloseBox(&Form());
        }
    }

    // Once the line is fault-free and the station idle, time passes until the ECU has
    // forgotten a session a fault left open (P3max), and the session checks apply again.
    void ResyncLine() {
        if (!dirty_ || faultsOn_ || !Idle())
            return;
        // A late answer the station gave up on still counts as the ECU's last activity, and it
        // may lie ahead of the clock: one P3max from now is then not enough.
        while (rig.backend.SessionActive()) rig.clock.Advance(sim::kP3MaxMicros + 1000);
        dirty_ = false;
    }

    void CheckInvariants() {
        for (const Invariant& invariant : kInvariants) {
            std::string why;
            if (!invariant.holds(*this, why)) {
                Fail(std::string(invariant.name) + (why.empty() ? "" : ": " + why));
                return;
            }
        }
    }

    void NoteMessageBox() {
        auto* box = qobject_cast<QMessageBox*>(Modal());
        if (box && box != lastBox_) {
            lastBox_ = box;
            ++boxes_;
            Log("  message box \"" + box->text().toStdString() + "\"");
        }
    }

    void Log(const std::string& line) {
        history_.push_back("#" + std::to_string(done_) + " " + line);
        if (history_.size() > 60)
            history_.pop_front();
        std::ostringstream note;
        note << "\nrandom actions, seed " << seed_ << " (TAVRO_RANDOM_SEED=" << seed_
             << "), last actions:\n";
        for (const std::string& h : history_) note << "  " << h << "\n";
        crashNote = note.str();
    }

    void Fail(const std::string& what) {
        std::ostringstream out;
        out << "seed " << seed_ << ", after action " << done_ << ": " << what
            << "\nrepeat with TAVRO_RANDOM_SEED=" << seed_ << " TAVRO_RANDOM_ACTIONS=" << total_
            << "\nlast actions:\n";
        for (const std::string& h : history_) out << "  " << h << "\n";
        failures_.push_back(out.str());
        StartClosing();
    }

    void StartClosing() {
        closing_ = true;
        closingSince_ = std::chrono::steady_clock::now();
    }

    // --- what the run's settings changes are, seen from the windows -------------------------

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!rig.Running())
            return false;  // the station is being taken down
        if (event->type() == QEvent::Hide && !event->spontaneous())
            SettingsDialogClosed(watched);
        if (event->type() == QEvent::Show && !event->spontaneous())
            WindowShown(watched);
        if (watched == &Form() && event->type() == QEvent::Resize &&
            Form().minimumSize() != Form().maximumSize())
            lastFreeSize_ = Form().size();  // not while the diagnostics window fixes it
        return false;
    }

    void SettingsDialogClosed(QObject* watched) {
        if (auto* dialog = qobject_cast<TComm_Prop*>(watched);
            dialog && dialog->result() == QDialog::Accepted) {
            // What the boxes show counts: a number still being typed, brought into range,
            // and the port name only when it was changed.
            dialog->CSpinEdit1->interpretText();
            expected_.requestDelay = dialog->CSpinEdit1->value();
            if (dialog->ComboBox1->currentText() != portShown_)
                settings::SetPortName(expected_, dialog->ComboBox1->currentText().toStdString());
            Log("  connection settings taken: " + std::to_string(expected_.requestDelay) +
                " ms, port \"" + settings::PortName(expected_) + "\"");
        }
        if (auto* dialog = qobject_cast<TEBU_prop*>(watched);
            dialog && dialog->result() == QDialog::Accepted && dialog->ItemIndex() >= 0) {
            expected_.ecuType = static_cast<int8_t>(dialog->ItemIndex());
            Log("  ECU type taken: " + std::to_string(expected_.ecuType));
        }
    }

    void WindowShown(QObject* watched) {
        if (auto* dialog = qobject_cast<TComm_Prop*>(watched))
            portShown_ = dialog->ComboBox1->currentText();
        if (auto* window = qobject_cast<QWidget*>(watched);
            window && (window->isWindow() || qobject_cast<QMdiSubWindow*>(window)))
            ++shown_[window->metaObject()->className()];
        if (qobject_cast<diag::TDiag_form*>(watched) && watched != lastDiag_) {
            lastDiag_ = watched;
            expected_.savedWidth = lastFreeSize_.width();
            expected_.savedHeight = lastFreeSize_.height();
        }
        if (auto* editor = qobject_cast<diag::TDiag_prop*>(watched);
            editor && editor != lastEditor_) {
            lastEditor_ = editor;
            QAbstractItemModel* model = editor->Active->model();
            auto snapshot = [this, editor] { GroupEdited(static_cast<QObject*>(editor)); };
            QObject::connect(model, &QAbstractItemModel::rowsInserted, editor, snapshot);
            QObject::connect(model, &QAbstractItemModel::rowsRemoved, editor, snapshot);
            QObject::connect(model, &QAbstractItemModel::modelReset, editor, snapshot);
        }
    }

    // The group editor shows the edited group's parameters; their positions in the list of
    // all parameters are the indices the group must hold.
    void GroupEdited(QObject* object) {
        // Not while the editor is being destroyed (its lists are emptied then): by that time
        // it is no longer a group editor.
        auto* editor = qobject_cast<diag::TDiag_prop*>(object);
        if (!editor || !rig.Running())
            return;
        const int type = Form().station.Protocol().EcuType();
        const int group = editor->GroupButtons->checkedId();
        if (type < 0 || group < 0)
            return;
        auto& list = expected_.groupLists[type][group];
        const int n = std::min(editor->Active->count(), settings::kSlots);
        for (int slot = 0; slot < n; ++slot) {
            const QString text = editor->Active->item(slot)->text();
            const QList<QListWidgetItem*> found = editor->List->findItems(text, Qt::MatchExactly);
            list[slot] = found.isEmpty() ? settings::kEmptySlot
                                         : static_cast<uint8_t>(editor->List->row(found.first()));
        }
        expected_.groupCounts[type][group] = static_cast<uint8_t>(n);
    }

    const uint32_t seed_;
    const int total_;
    std::mt19937 random_;
    QTimer timer_;
    int done_ = 0;
    int restarts_ = 0;
    int boxes_ = 0;
    int faults_ = 0;
    int closeTicks_ = 0;
    int hiddenTicks_ = 0;
    bool busy_ = false;
    bool closing_ = false;
    std::chrono::steady_clock::time_point closingSince_;
    bool faultsOn_ = false;
    bool dirty_ = false;
    std::string detail_;
    std::deque<std::string> history_;
    std::map<std::string, int> shown_;  // windows shown, by class
    std::vector<std::string> failures_;
    settings::SettingsRecord expected_;
    QSize lastFreeSize_;
    QString portShown_;  // the port name "Настройка соединения" opened with
    QPointer<QObject> lastBox_;
    // The last diagnostics window and group editor seen showing. Guarded pointers: a new
    // window often takes the address of the one just destroyed, and must count as new.
    QPointer<QObject> lastDiag_;
    QPointer<QObject> lastEditor_;

    friend bool NavigationMatches(RandomUser&, std::string&);
    friend bool SessionMatches(RandomUser&, std::string&);
};

// --- the actions ------------------------------------------------------------------------------

QPoint Row(QAbstractItemView* view, RandomUser& u) {
    QAbstractItemModel* model = view->model();
    const QModelIndex index =
        model->index(u.Pick(model->rowCount()), u.Pick(std::max(1, model->columnCount())));
    return view->visualRect(index).center();
}

QList<QAbstractItemView*> Views(RandomUser& u) {
    QList<QAbstractItemView*> views;
    for (QAbstractItemView* view : Usable<QAbstractItemView>(u.Scope()))
        if (view->model() && view->model()->rowCount() > 0)
            views << view;
    return views;
}

QList<QWidget*> Editable(RandomUser& u) {
    QList<QWidget*> edits;
    for (QLineEdit* edit : Usable<QLineEdit>(u.Scope()))
        if (!edit->isReadOnly())
            edits << edit;
    return edits;
}

const QString kWords[] = {QStringLiteral("3 группа"),       QStringLiteral("7 группа"),
                          QStringLiteral("Регулировка СО"), QStringLiteral("COM2"),
                          QStringLiteral("ttyUSB0"),        QStringLiteral("абв"),
                          QStringLiteral("99999999"),       QStringLiteral("-12"),
                          QStringLiteral("1 группа"),       QStringLiteral("")};

const std::vector<Action> kActions = {
    {"click a button", 12,
     [](RandomUser& u) { return !Usable<QAbstractButton>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QAbstractButton* button = u.AnyOf(Usable<QAbstractButton>(u.Scope()));
         u.Note(RandomUser::Describe(button));
         user_input::Click(button);
     }},
    {"double click a button", 2,
     [](RandomUser& u) { return !Usable<QAbstractButton>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QAbstractButton* button = u.AnyOf(Usable<QAbstractButton>(u.Scope()));
         u.Note(RandomUser::Describe(button));
         user_input::DoubleClick(button);
     }},
    {"click a label", 3, [](RandomUser& u) { return !Usable<QLabel>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QLabel* label = u.AnyOf(Usable<QLabel>(u.Scope()));
         u.Note(RandomUser::Describe(label));
         user_input::Click(label);
     }},
    {"click a list entry", 12, [](RandomUser& u) { return !Views(u).isEmpty(); },
     [](RandomUser& u) {
         QAbstractItemView* view = u.AnyOf(Views(u));
         u.Note(RandomUser::Describe(view));
         user_input::Click(view->viewport(), Row(view, u));
     }},
    {"double click a list entry", 4, [](RandomUser& u) { return !Views(u).isEmpty(); },
     [](RandomUser& u) {
         QAbstractItemView* view = u.AnyOf(Views(u));
         u.Note(RandomUser::Describe(view));
         user_input::DoubleClick(view->viewport(), Row(view, u));
     }},
    {"open a combo box", 6, [](RandomUser& u) { return !Usable<QComboBox>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QComboBox* combo = u.AnyOf(Usable<QComboBox>(u.Scope()));
         u.Note(RandomUser::Describe(combo));
         user_input::Click(combo, QPoint(combo->width() - 6, combo->height() / 2));
     }},
    {"arrow key in a combo box", 4,
     [](RandomUser& u) { return !Usable<QComboBox>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QComboBox* combo = u.AnyOf(Usable<QComboBox>(u.Scope()));
         u.Note(RandomUser::Describe(combo));
         user_input::Click(combo, QPoint(6, combo->height() / 2));
         user_input::Key(u.Chance(0.5) ? Qt::Key_Down : Qt::Key_Up, {}, combo);
     }},
    {"type text", 5, [](RandomUser& u) { return !Editable(u).isEmpty(); },
     [](RandomUser& u) {
         QWidget* edit = u.AnyOf(Editable(u));
         const QString& word = kWords[u.Pick(std::size(kWords))];
         u.Note(RandomUser::Describe(edit) + " \"" + word.toStdString() + "\"");
         user_input::Click(edit);
         user_input::Key(Qt::Key_End, {}, edit);
         for (int i = u.Pick(16); i > 0; --i) user_input::Key(Qt::Key_Backspace, {}, edit);
         user_input::Type(word, edit);
         if (u.Chance(0.6))
             user_input::Key(Qt::Key_Return, {}, edit);
     }},
    {"step a spinner", 5,
     [](RandomUser& u) { return !Usable<QAbstractSpinBox>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QAbstractSpinBox* spin = u.AnyOf(Usable<QAbstractSpinBox>(u.Scope()));
         const bool up = u.Chance(0.5);
         u.Note(RandomUser::Describe(spin) + (up ? " up" : " down"));
         const int y = up ? spin->height() / 4 : spin->height() * 3 / 4;
         for (int i = 1 + u.Pick(3); i > 0; --i)
             user_input::Click(spin, QPoint(spin->width() - 5, y));
     }},
    {"step a slider", 5,
     [](RandomUser& u) { return !Usable<QAbstractSlider>(u.Scope()).isEmpty(); },
     [](RandomUser& u) {
         QAbstractSlider* slider = u.AnyOf(Usable<QAbstractSlider>(u.Scope()));
         const QPoint ends[] = {{4, slider->height() / 2},
                                {slider->width() - 4, slider->height() / 2},
                                {slider->width() / 4, slider->height() / 2},
                                {slider->width() * 3 / 4, slider->height() / 2}};
         const QPoint at = ends[u.Pick(4)];
         u.Note(RandomUser::Describe(slider) + " at " + std::to_string(at.x()));
         for (int i = 1 + u.Pick(4); i > 0; --i) user_input::Click(slider, at);
     }},
    {"Enter", 4, [](RandomUser&) { return true; },
     [](RandomUser& u) { user_input::Key(Qt::Key_Return, {}, u.Top()); }},
    {"Esc", 4, [](RandomUser&) { return true; },
     [](RandomUser& u) { user_input::Key(Qt::Key_Escape, {}, u.Top()); }},
    {"Esc twice", 2, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         user_input::Key(Qt::Key_Escape, {}, u.Top());
         user_input::Key(Qt::Key_Escape, {}, u.Top());
     }},
    {"another key", 3, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         static constexpr int kKeys[] = {Qt::Key_Up,    Qt::Key_Down,     Qt::Key_Tab,
                                         Qt::Key_Space, Qt::Key_PageDown, Qt::Key_Home};
         const int key = kKeys[u.Pick(std::size(kKeys))];
         u.Note(std::to_string(key));
         user_input::Key(key, key == Qt::Key_Space ? QStringLiteral(" ") : QString(), u.Top());
     }},
    {"close box of a dialog", 4, [](RandomUser& u) { return u.Modal() != nullptr; },
     [](RandomUser& u) {
         u.Note(RandomUser::Describe(u.Modal()));
         user_input::CloseBox(u.Modal());
     }},
    {"close box of the main window", 1, [](RandomUser& u) { return !u.Modal() && !u.Popup(); },
     [](RandomUser& u) { user_input::CloseBox(&u.Form()); }},
    {"close box of the work window", 4, [](RandomUser& u) { return !u.Modal() && u.Child(); },
     [](RandomUser& u) {
         u.Note(RandomUser::Describe(u.Child()));
         user_input::WorkWindowCloseBox(&u.Form());
     }},
    {"minimise", 2, [](RandomUser& u) { return !u.Popup() && !u.Top()->isMinimized(); },
     [](RandomUser& u) {
         u.Note(RandomUser::Describe(u.Top()));
         user_input::Minimise(u.Top());
     }},
    {"restore", 6,
     [](RandomUser&) {
         for (QWidget* w : QApplication::topLevelWidgets())
             if (w->isVisible() && w->isMinimized())
                 return true;
         return false;
     },
     [](RandomUser& u) {
         for (QWidget* w : QApplication::topLevelWidgets()) {
             if (w->isVisible() && w->isMinimized()) {
                 u.Note(RandomUser::Describe(w));
                 user_input::Restore(w);
                 return;
             }
         }
     }},
    {"open a menu", 5, [](RandomUser& u) { return !u.Modal() && !u.Popup(); },
     [](RandomUser& u) {
         QMenuBar* bar = u.Form().menuBar();
         const QList<QAction*> menus = bar->actions();
         QAction* menu = menus[u.Pick(menus.size())];
         u.Note(menu->text().toStdString());
         user_input::Click(bar, bar->actionGeometry(menu).center());
     }},
    {"menu entry", 20,
     [](RandomUser&) { return qobject_cast<QMenu*>(RandomUser::Popup()) != nullptr; },
     [](RandomUser& u) {
         auto* menu = qobject_cast<QMenu*>(RandomUser::Popup());
         const QList<QAction*> entries = menu->actions();
         if (entries.isEmpty())
             return;
         QAction* entry = entries[u.Pick(entries.size())];
         u.Note(entry->text().toStdString());
         user_input::Click(menu, menu->actionGeometry(entry).center());
     }},
    {"wait", 4, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.skip = 1 + u.Pick(30);
         u.Note(std::to_string(u.skip) + " ms");
     }},
    {"fault: silent ECU", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.rig.backend.SetAdapter(sim::AdapterMode::NoEcu);
         u.Fault("adapter without an ECU");
     }},
    {"fault: cable pulled", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.rig.backend.SetAdapter(sim::AdapterMode::Absent);
         u.Fault("nothing comes back");
     }},
    {"fault: USB adapter pulled", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.rig.backend.SetAdapter(sim::AdapterMode::Absent);
         u.rig.backend.FailCall(sim::PortCall::WriteByte);
         u.rig.backend.FailCall(sim::PortCall::Open);
         u.Fault("writes fail, the port does not open");
     }},
    {"fault: slow answers", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.InjectOnService(sim::Fault{sim::FaultKind::Delay, 0x22, 60'000 + u.Pick(40) * 1000, -1},
                           "slow answers");
     }},
    {"fault: late answers", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.InjectOnService(
             sim::Fault{sim::FaultKind::Delay, 0x22, 150'000 + u.Pick(300) * 1000, -1},
             "late answers");
     }},
    {"fault: negative answers", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.InjectOnService(sim::Fault{sim::FaultKind::Negative,
                                      u.Chance(0.5) ? uint8_t{0x22} : uint8_t{0x78}, 0, -1},
                           "negative answers");
     }},
    {"fault: bad checksums", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.InjectOnService(sim::Fault{sim::FaultKind::WrongChecksum, 0x22, 0, -1}, "bad checksums");
     }},
    {"fault: ECU slow to wake", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         u.rig.backend.SetFault(0x81, sim::FailFirst(1 + u.Pick(4)));
         u.Fault("the first StartCommunications go unanswered");
     }},
    {"line as new", 4, [](RandomUser&) { return true; }, [](RandomUser& u) { u.ClearFaults(); }},
    {"engine started or stopped", 1, [](RandomUser&) { return true; },
     [](RandomUser& u) {
         const bool running = u.Chance(0.5);
         u.rig.backend.SetEngineRunning(running);
         u.Note(running ? "running" : "stopped");
     }},
};

// --- the invariants ---------------------------------------------------------------------------

bool NavigationMatches(RandomUser& u, std::string& why) {
    TMainForm& form = u.Form();
    std::string up;  // the dialog or work window that is up, if any
    if (!form.MdiArea->subWindowList().isEmpty())
        up = RandomUser::Describe(form.MdiArea->subWindowList().first());
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog->isVisible() && dialog->parentWidget() == &form &&
            dialog != kline::Waiter && dialog != services::CorrCO)
            up = RandomUser::Describe(dialog);
    }
    const bool dialogUp = !up.empty();
    // The dialogs of the main window that are running, and its pending clean-up of a closed
    // work window: what a mismatch needs to be traced.
    std::string running;
    for (auto [name, dialog] : {std::pair<const char*, QWidget*>{"passport", services::Passport},
                                {"about", AboutBox},
                                {"connection", Comm_Prop},
                                {"ECU type", EBU_prop}})
        if (dialog)
            running += std::string(" ") + name;
    if (form.Timer1->isActive())
        running += " clean-up";
    bool menusOn = true;
    bool menusOff = true;
    for (QAction* menu : form.menuBar()->actions()) {
        menusOn = menusOn && menu->isEnabled();
        menusOff = menusOff && !menu->isEnabled();
    }
    const bool panel = form.Panel1->isVisibleTo(&form);
    why = std::string("dialog or work window ") + (dialogUp ? "up (" + up + ")" : "not up") +
          ", panel " + (panel ? "shown" : "hidden") + ", menus " +
          (menusOn    ? "on"
           : menusOff ? "off"
                      : "mixed") +
          (running.empty() ? "" : "; running:" + running);
    return dialogUp ? !panel && menusOff : panel && menusOn;
}

bool SessionMatches(RandomUser& u, std::string& why) {
    // After a fault the ECU may keep a session the station rightly gave up on, until P3max has
    // passed (ResyncLine): the check waits for a fault-free line.
    const kline::Station& s = u.Form().station;
    if (u.dirty_ || s.connecting || u.Form().NavigationCode() % 10 != 0)
        return true;
    const bool connected = s.connected;
    // "Демонстрация" or an opened recording puts the station on its own in-process line.
    sim::InProcessLine* own = u.Form().Line();
    const bool session = own ? own->Backend().SessionActive() : u.rig.backend.SessionActive();
    why = std::string("connected ") + (connected ? "set" : "clear") + ", ECU session " +
          (session ? "open" : "closed");
    return connected == session;
}

const std::vector<Invariant> kInvariants = {
    {"at most one work window",
     [](RandomUser& u, std::string& why) {
         const auto n = u.Form().MdiArea->subWindowList().size();
         why = std::to_string(n) + " work windows";
         return n <= 1;
     }},
    {"the navigation is hidden exactly while a dialog or work window is up", NavigationMatches},
    {"no worker runs without its dialog or window",
     [](RandomUser& u, std::string& why) {
         // A worker that has just ended may still be leaving the system for a moment, longer
         // under a sanitizer on a loaded machine.
         for (int look = 0; look < 2000; ++look) {
             const int allowed =
                 (kline::Waiter && kline::Waiter->isVisible() ? 1 : 0) + (diag::Diag_form ? 1 : 0);
             const int workers = reliability::WorkerThreads();
             why = std::to_string(workers) + " workers, " + std::to_string(allowed) + " allowed";
             if (workers <= std::min(allowed, 1))
                 return true;
             std::this_thread::sleep_for(std::chrono::milliseconds(1));
         }
         (void)u;
         return false;
     }},
    {"the port is closed when no connection is open and no command runs",
     [](RandomUser& u, std::string&) {
         const kline::Station& s = u.Form().station;
         if (s.connected || s.connecting || u.Form().NavigationCode() % 10 != 0)
             return true;
         return !u.rig.backend.Port().open;
     }},
    {"the connection flag agrees with the ECU's session", SessionMatches},
    {"the group box names the shown group",
     [](RandomUser& u, std::string& why) {
         // Between handlers (not while a group change is stopping the poller, when the box
         // already names the next group), and not while the user is typing into the box.
         diag::TDiag_form* form = diag::Diag_form;
         QWidget* focus = form ? form->focusWidget() : nullptr;
         if (!form || !form->Polling() || !u.Settled() || focus == form->Group_num ||
             focus == form->Group_num->lineEdit())
             return true;
         why = "box \"" + form->Group_num->currentText().toStdString() + "\", shown group " +
               std::to_string(form->ShownGroup() + 1) + ", focus on " +
               RandomUser::Describe(focus) +
               " (application: " + RandomUser::Describe(QApplication::focusWidget()) + ")";
         return form->Group_num->currentText() ==
                QStringLiteral("%1 группа").arg(form->ShownGroup() + 1);
     }},
};

class RandomActions : public testing::TestWithParam<uint32_t> {};

// The failures once more at the very end of the output, where a log cut in the middle (as a
// CI page shows a long run) still shows them.
std::vector<std::string> allFailures;
class RepeatFailuresAtEnd : public testing::Environment {
    void TearDown() override {
        for (const std::string& failure : allFailures)
            std::printf("random-action failure, again:\n%s\n", failure.c_str());
        for (const std::string& failure : allFailures)
            std::printf("failed: %s\n", failure.substr(0, failure.find('\n')).c_str());
    }
};
[[maybe_unused]] testing::Environment* const kRepeat =
    testing::AddGlobalTestEnvironment(new RepeatFailuresAtEnd);

TEST_P(RandomActions, StationHoldsUp) {
#ifdef TAVRO_SANITIZED
    // The sanitizer's own report of a crash (with its stacks) comes first, then the note.
    __sanitizer_set_death_callback(PrintCrashNote);
#endif
    reliability::PrintOnCrash(crashNote);
    kline::QtMessageSink messages;
    RandomUser user(GetParam(), EnvInt("TAVRO_RANDOM_ACTIONS", 1500));
    const std::vector<std::string> failures = user.Run();
    std::printf("%s\n", user.Summary().c_str());
    for (const std::string& failure : failures) ADD_FAILURE() << failure;
    allFailures.insert(allFailures.end(), failures.begin(), failures.end());
    crashNote.clear();
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomActions, testing::ValuesIn(Seeds()));

}  // namespace
