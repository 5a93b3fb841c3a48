// The diagnostics window's session, apart from any window: what the showing, the user's
// choices, the poller's end and the close do in each state of the window, decided in one
// table (kSteps in session.cpp). The window lays out and forwards its events; the session
// drives it through DiagView, runs the poller through PollerControl, connects through the
// main window's connecting step and runs the CO trim through the callable it was handed.
//
// Some steps wait: the connecting step and the CO trim dialog run their own event loops,
// and the poller's stop serves hand-overs and the poller's message box. An event that
// reaches the session inside such a wait finds the state the step set before waiting, and
// the table says what it may do there, so that no step runs again inside itself.
#pragma once

#include <cstdint>
#include <functional>

#include "link/connector.h"
#include "link/station.h"

namespace diag {

inline constexpr const char* kNoParamsChosen =
    "Вы не выбрали ни одного датчика! Настройте диагностику!";
inline constexpr const char* kNotConnected = "Блок не инициализирован!";
inline constexpr const char* kLinkNotEnded = "Связь с ЭБУ завершена не корректно!";

// The live-data poller as the session sees it.
class PollerControl {
  public:
    // Starts polling `group`, whose panels stand already.
    virtual void Start(int group) = 0;
    // Returns once the poller has ended; nothing when there is none. Hand-overs and the
    // poller's message box are served meanwhile, so events may reach the session.
    virtual void Stop() = 0;
    // False once the poller has given up after ten unanswered requests.
    virtual bool Running() const = 0;

  protected:
    ~PollerControl() = default;
};

// The window as the session drives it.
class DiagView {
  public:
    enum class Warning : uint8_t { NoParamsChosen, NotConnected };

    // The group box names `group`.
    virtual void NameGroup(int group) = 0;
    // A value panel and a graph for each of `count` slots. A group built after the showing
    // takes the width control's points per screen; the showing's keeps the graphs' own.
    virtual void BuildGroup(int count, bool byShow) = 0;
    virtual void TearDownGroup() = 0;
    virtual void LayOut() = 0;
    // Once the running handler has returned: the warning, then the window closes.
    virtual void WarnAndCloseLater(Warning warning) = 0;
    virtual void Close() = 0;
    virtual bool DialogHoldsTheScreen() const = 0;
    // The recording: the user's command, the end of the shown group's file, the end of all.
    virtual void ToggleRecording() = 0;
    virtual void EndRecordingFile() = 0;
    virtual void StopRecording() = 0;

  protected:
    ~DiagView() = default;
};

class DiagSession {
  public:
    enum class State : uint8_t {
        NotShown,      // created; nothing on the line yet
        Connecting,    // the showing's connecting step runs
        Polling,       // the shown group's panels, and its poller
        PollEnded,     // the panels; the poller gave up (the window still counts as polling)
        Stopping,      // the poller is being stopped for a group change or the CO trim
        InCoTrim,      // the CO trim dialog, then the connecting step after it
        NotConnected,  // no panels, no poller: a deferred warning closes the window
        Closing,       // the close stops the poller and ends the connection
        Closed,        // the session has ended
    };
    static constexpr int kStates = 9;

    enum class Event : uint8_t {
        Shown,             // the window shown by the program (not by the desktop)
        GroupChosen,       // another group named in the group box
        ShownGroupChosen,  // the group on show named again
        CoTrimChosen,      // "Регулировка СО"
        RecordingToggled,  // "Начать запись" / "Остановить запись"
        PollerFailed,      // the poller gave up (noticed before each event)
        PollerEnded,       // the stop operation has returned
        CloseAsked,
        // A group or CO trim choice made while a message box or dialog holds the screen:
        // it does not come from the user working in this window (the box's showing took
        // the focus from an edited combo box, which then took its text).
        DialogHoldsTheScreen,
    };
    static constexpr int kEvents = 9;

    enum class Step : uint8_t {
        None,
        Name,    // the group box names the group on show again
        Open,    // the first group with parameters, connect, build and poll
        Change,  // stop, then show the chosen group afresh
        CoTrim,  // stop, then the CO trim dialog, connect, and the group afresh
        Record,  // the recording's command
        Ended,   // the poll has ended: the group chosen again starts it anew
        GoOn,    // after the stop, what it was for
        Defer,   // the close waits for the running step, which then closes the window
        End,     // stop, tear down, end the connection
    };
    static Step StepFor(State state, Event event);

    // `coTrim` shows the CO trim dialog modally (it has the port to itself and ends the
    // connection); none runs nothing.
    DiagSession(kline::Station& station, kline::Connector& connector, PollerControl& poller,
                DiagView& view, std::function<void()> coTrim);

    void Shown();
    void GroupChosen(int group);
    void CoTrimChosen();
    void RecordingToggled();
    // True when the window closes now; false when the close waits for the running step.
    bool CloseAsked();

    State CurrentState() const { return state_; }
    int ShownGroup() const { return shownGroup_; }
    // Panels, graphs and a poller (running or given up) exist for the shown group.
    bool Polling() const { return state_ == State::Polling || state_ == State::PollEnded; }

  private:
    enum class AfterStop : uint8_t { ShowGroup, CoTrim };

    void Choice(Event event, int group = -1);
    void Handle(Event event, int group = -1);
    void Run(Step step, int group);
    void Open();
    void ShowGroup();
    void BuildAndPoll(bool byShow);
    void Warn(DiagView::Warning warning);
    void StopThen(AfterStop next);
    void GoOnAfterStop();
    void EndSession();
    void CloseAfterTheWait();
    int EcuType() const;

    kline::Station& station_;
    kline::Connector& connector_;
    PollerControl& poller_;
    DiagView& view_;
    std::function<void()> coTrim_;
    State state_ = State::NotShown;
    int shownGroup_ = 0;
    AfterStop afterStop_ = AfterStop::ShowGroup;
    bool closeWaits_ = false;
};

}  // namespace diag
