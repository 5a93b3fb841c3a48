#include "diag/session.h"

#include <array>
#include <optional>

#include "diag/poller.h"
#include "link/connection.h"
#include "platform/messages.h"

namespace diag {

namespace {

using State = DiagSession::State;
using Event = DiagSession::Event;
using Step = DiagSession::Step;
using enum DiagSession::Step;

// One row per state, one step per event: a row of any other length does not compile.
template <class... Steps>
constexpr std::array<Step, DiagSession::kEvents> Row(Steps... steps) {
    static_assert(sizeof...(Steps) == DiagSession::kEvents, "one step per event");
    return {steps...};
}

// The user's input is held back while the session waits for a worker; what reaches it in
// Connecting, Stopping and InCoTrim comes through a message box or dialog, and never runs a
// step that waits again. A close there waits for the step, which closes the window after.
// clang-format off
constexpr auto kSteps = std::to_array({
    //  Shown   Group   Shown   CoTrim  Record  Poller  Poller  Close   Dialog
    //          chosen  group   chosen          failed  ended   asked   holds
    Row(Open,   Name,   Name,   None,   None,   None,   None,   End,    Name),  // NotShown
    Row(None,   Name,   Name,   None,   None,   None,   None,   Defer,  Name),  // Connecting
    Row(None,   Change, Name,   CoTrim, Record, Ended,  None,   End,    Name),  // Polling
    Row(None,   Change, Change, CoTrim, Record, None,   None,   End,    Name),  // PollEnded
    Row(None,   Name,   Name,   None,   None,   None,   GoOn,   Defer,  Name),  // Stopping
    Row(None,   Name,   Name,   None,   None,   None,   None,   Defer,  Name),  // InCoTrim
    Row(None,   Name,   Name,   None,   None,   None,   None,   End,    Name),  // NotConnected
    Row(None,   Name,   Name,   None,   None,   None,   None,   None,   Name),  // Closing
    Row(None,   Name,   Name,   None,   None,   None,   None,   None,   Name),  // Closed
});
// clang-format on
static_assert(kSteps.size() == DiagSession::kStates);
static_assert(static_cast<int>(State::Closed) + 1 == DiagSession::kStates);
static_assert(static_cast<int>(Event::DialogHoldsTheScreen) + 1 == DiagSession::kEvents);

}  // namespace

Step DiagSession::StepFor(State state, Event event) {
    return kSteps[static_cast<size_t>(state)][static_cast<size_t>(event)];
}

DiagSession::DiagSession(kline::Station& station, kline::Connector& connector,
                         PollerControl& poller, DiagView& view, std::function<void()> coTrim)
    : station_(station),
      connector_(connector),
      poller_(poller),
      view_(view),
      coTrim_(std::move(coTrim)) {}

void DiagSession::Shown() {
    Handle(Event::Shown);
}

void DiagSession::GroupChosen(int group) {
    Choice(group == shownGroup_ ? Event::ShownGroupChosen : Event::GroupChosen, group);
}

void DiagSession::CoTrimChosen() {
    Choice(Event::CoTrimChosen);
}

void DiagSession::RecordingToggled() {
    Handle(Event::RecordingToggled);
}

bool DiagSession::CloseAsked() {
    Handle(Event::CloseAsked);
    return state_ == State::Closed;
}

// A choice that stops the poller must not be taken while a box holds the screen: the poller
// may be the one waiting for that box's OK, which the wait for the poller holds back.
void DiagSession::Choice(Event event, int group) {
    Handle(view_.DialogHoldsTheScreen() ? Event::DialogHoldsTheScreen : event, group);
}

void DiagSession::Handle(Event event, int group) {
    if (state_ == State::Polling && !poller_.Running())
        Run(StepFor(state_, Event::PollerFailed), group);
    Run(StepFor(state_, event), group);
}

void DiagSession::Run(Step step, int group) {
    switch (step) {
        case Step::None:
            return;
        case Step::Name:
            view_.NameGroup(shownGroup_);
            return;
        case Step::Open:
            this->Open();
            return;
        case Step::Change:
            shownGroup_ = group;  // the box names it already
            StopThen(AfterStop::ShowGroup);
            return;
        case Step::CoTrim:
            StopThen(AfterStop::CoTrim);
            return;
        case Step::Record:
            view_.ToggleRecording();
            return;
        case Step::Ended:
            state_ = State::PollEnded;
            return;
        case Step::GoOn:
            GoOnAfterStop();
            return;
        case Step::Defer:
            closeWaits_ = true;
            return;
        case Step::End:
            EndSession();
            return;
    }
}

// --- the steps ----------------------------------------------------------------------------

void DiagSession::Open() {
    const std::optional<int> first = FirstShownGroup(station_.settings, EcuType());
    if (!first)
        return Warn(DiagView::Warning::NoParamsChosen);
    shownGroup_ = *first;
    view_.NameGroup(shownGroup_);
    state_ = State::Connecting;
    kline::Connect(station_, connector_);
    if (closeWaits_)
        return CloseAfterTheWait();
    if (!station_.connected)
        return Warn(DiagView::Warning::NotConnected);
    BuildAndPoll(true);
}

// The shown group afresh, after the previous one was torn down.
void DiagSession::ShowGroup() {
    if (!station_.connected)
        return Warn(DiagView::Warning::NotConnected);
    BuildAndPoll(false);
}

void DiagSession::BuildAndPoll(bool byShow) {
    view_.BuildGroup(ShownCount(station_.settings, EcuType(), shownGroup_), byShow);
    poller_.Start(shownGroup_);
    state_ = State::Polling;
    view_.LayOut();
}

void DiagSession::Warn(DiagView::Warning warning) {
    state_ = State::NotConnected;
    view_.WarnAndCloseLater(warning);
}

// The panels stay until the poller has ended: it may still be handing values over to them.
void DiagSession::StopThen(AfterStop next) {
    afterStop_ = next;
    state_ = State::Stopping;
    poller_.Stop();
    Handle(Event::PollerEnded);
}

// The recording goes on over group changes and the CO trim, a file per group.
void DiagSession::GoOnAfterStop() {
    view_.EndRecordingFile();
    if (afterStop_ == AfterStop::CoTrim) {
        state_ = State::InCoTrim;
        if (coTrim_)
            coTrim_();
        if (!closeWaits_)
            kline::Connect(station_, connector_);
    }
    if (closeWaits_)
        return CloseAfterTheWait();
    view_.TearDownGroup();
    ShowGroup();
}

void DiagSession::EndSession() {
    state_ = State::Closing;
    if (station_.connected) {
        poller_.Stop();
        view_.TearDownGroup();
        if (!kline::Disconnect(station_))
            platform::ShowMessage(kLinkNotEnded, platform::kError, platform::Icon::Warning);
    }
    view_.StopRecording();  // after the stop request, so that the trace ends with it
    state_ = State::Closed;
}

void DiagSession::CloseAfterTheWait() {
    EndSession();
    view_.Close();
}

int DiagSession::EcuType() const {
    return station_.Protocol().EcuType();
}

}  // namespace diag
