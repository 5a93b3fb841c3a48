// The diagnostics window's session without Qt, on the virtual clock against the simulated line:
// each row does what a finding of docs/reliability.md did to the window (an event inside a wait
// comes from the fake stop, connecting step or CO trim) and compares what the session did.
#include "diag/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/connection.h"
#include "sim/simulated_backend.h"
#include "tests/support/station_fixture.h"

namespace {

using State = diag::DiagSession::State;
using Hook = std::function<void()>;

class Rig final : public diag::DiagView,
                  public diag::PollerControl,
                  public kline::Connector,
                  public platform::MessageSink {
  public:
    // Group 1 shows two parameters, group 3 one; the line has been idle for a second.
    Rig() {
        clock.Advance(1'000'000);
        testing_support::PrepareStation(station, backend, 1);
        testing_support::ShowFirstParams(station.settings, 1, 2);
        testing_support::ShowFirstParams(station.settings, 1, 1, 2);
        platform::UseMessageSink(this);
    }
    ~Rig() override { platform::UseMessageSink(nullptr); }

    Rig& Polling() { return session.Shown(), log.clear(), *this; }  // shown, polling group 1
    Rig& NoGroups() {
        station.settings.groupCounts[1][0] = station.settings.groupCounts[1][2] = 0;
        return *this;
    }
    // `hook` runs inside the next wait of its kind, once (Run).
    Rig& InStop(Hook hook) { return onStop = std::move(hook), *this; }
    Rig& InConnect(Hook hook) { return onConnect = std::move(hook), *this; }
    Rig& InCoTrim(Hook hook) { return onCoTrim = std::move(hook), *this; }
    void Group(int group) { session.GroupChosen(group - 1); }
    void Closes() { Note(session.CloseAsked() ? "closes now" : "closes later"); }
    void Note(const std::string& line) { log.push_back(line); }

    void NameGroup(int group) override { Note("name " + std::to_string(group + 1)); }
    void BuildGroup(int count, bool byShow) override {
        Note("build " + std::to_string(count) + (byShow ? " by show" : ""));
    }
    void TearDownGroup() override { Note("tear down"); }
    void LayOut() override { Note("lay out"); }
    void WarnAndCloseLater(Warning warning) override {
        Note(warning == Warning::NoParamsChosen ? "warn no params" : "warn not connected");
    }
    void Close() override { Note("close"); }
    bool DialogHoldsTheScreen() const override { return dialogUp; }
    void ToggleRecording() override { Note("record"); }
    void EndRecordingFile() override { Note("end file"); }
    void StopRecording() override { Note("stop recording"); }

    void Start(int group) override { polling = true, Note("start " + std::to_string(group + 1)); }
    void Stop() override {
        if (std::exchange(polling, false))
            Note("stop"), Run(onStop);
    }
    bool Running() const override { return polling; }
    // One wake-up and StartCommunication, as if "Остановить" came right after it.
    void ShowWaiter() override {
        Note("connect");
        Run(onConnect);
        std::atomic<bool> stop{true};
        station.connecting = 1;
        kline::RunConnectionAttempt(station, stop);
    }
    void Show(const platform::Report& report) override { Note("message " + report.text); }
    static void Run(Hook& hook) {
        std::exchange(hook, [] {})();
    }

    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend{clock};
    kline::Station station;
    std::vector<std::string> log;
    bool dialogUp = false, polling = false;
    Hook onStop = [] {}, onConnect = [] {}, onCoTrim = [] {};
    // The CO trim dialog ends the connection it used.
    diag::DiagSession session{station, *this, *this, *this, [this] {
                                  Note("co trim");
                                  kline::Disconnect(station);
                                  Run(onCoTrim);
                              }};
};

struct Row {
    std::string name;
    std::function<void(Rig&)> act;
    std::vector<std::string> log;
    State after;
};

class DiagSessionTable : public testing::TestWithParam<Row> {};

TEST_P(DiagSessionTable, DoesWhatTheStateAllows) {
    Rig rig;
    GetParam().act(rig);
    EXPECT_EQ(rig.log, GetParam().log);
    EXPECT_EQ(rig.session.CurrentState(), GetParam().after);
}

// Ten StopCommunication requests, and whether the port is open.
std::string StopsAndPort(Rig& r) {
    const auto requests = r.backend.Requests();
    const auto stops = std::count_if(requests.begin(), requests.end(),
                                     [](const auto& request) { return request.data[0] == 0x82; });
    return std::to_string(stops) + " stops, port " + (r.backend.Port().open ? "open" : "closed");
}

INSTANTIATE_TEST_SUITE_P(
    Findings, DiagSessionTable,
    testing::Values(
        Row{"ClosedBeforeItsMessageGoesQuietly",
            [](Rig& r) { r.NoGroups().session.Shown(), r.Closes(); },
            {"warn no params", "stop recording", "closes now"},
            State::Closed},
        Row{"ClosedDuringItsOwnMessageEndsOnce",
            [](Rig& r) { r.NoGroups().session.Shown(), r.Closes(), r.Closes(); },
            {"warn no params", "stop recording", "closes now", "closes now"},
            State::Closed},
        Row{"InvalidEcuTypeFindsNoGroupAndConnectsNot",
            [](Rig& r) {
                r.station.settings.ecuType = 9;
                r.station.BuildProtocol();
                r.session.Shown();
            },
            {"warn no params"},
            State::NotConnected},
        Row{"CloseDuringTheShowingsConnectionEndsTheConnectionItMade",
            [](Rig& r) {
                r.InConnect([&r] { r.Closes(); }).session.Shown();
                r.Note(StopsAndPort(r));
            },
            {"name 1", "connect", "closes later", "tear down", "stop recording", "close",
             "1 stops, port closed"},
            State::Closed},
        Row{"GroupTypedThenAValuePanelClicked",
            [](Rig& r) { r.Polling().Group(3); },
            {"stop", "end file", "tear down", "build 1", "start 3", "lay out"},
            State::Polling},
        Row{"PollersMessageBoxWhileAGroupIsTyped",
            [](Rig& r) { r.Polling().dialogUp = true, r.Group(3); },
            {"name 1"},
            State::Polling},
        Row{"GroupBoxNamesTheShownGroupAfterChoicesDuringAStop",
            [](Rig& r) { r.Polling().InStop([&r] { r.Group(5); }).Group(3); },
            {"stop", "name 3", "end file", "tear down", "build 1", "start 3", "lay out"},
            State::Polling},
        Row{"SecondCoTrimChoiceDuringTheDialogStartsNoSecondCoTrim",
            [](Rig& r) {
                r.Polling().InCoTrim([&r] {
                    r.dialogUp = true, r.session.CoTrimChosen();
                    r.dialogUp = false, r.session.CoTrimChosen();  // taken before the dialog
                });
                r.session.CoTrimChosen();
            },
            {"stop", "end file", "co trim", "name 1", "connect", "tear down", "build 2", "start 1",
             "lay out"},
            State::Polling},
        Row{"CloseClickDuringAStopClosesTheWindowWhenItEnds",
            [](Rig& r) { r.Polling().InStop([&r] { r.Closes(); }).Group(3); },
            {"stop", "closes later", "end file", "tear down", "stop recording", "close"},
            State::Closed},
        Row{"CloseDuringTheCoTrimWaitsForIt",
            [](Rig& r) { r.Polling().InCoTrim([&r] { r.Closes(); }).session.CoTrimChosen(); },
            {"stop", "end file", "co trim", "closes later", "stop recording", "close"},
            State::Closed},
        Row{"CloseAgainWhileTheCloseStopsThePollerWaits",
            [](Rig& r) { r.Polling().InStop([&r] { r.Closes(); }).Closes(); },
            {"stop", "closes later", "tear down", "stop recording", "closes now"},
            State::Closed},
        Row{"ClosingAgainstASilentStopMakesTenAttemptsAndSaysSo",
            [](Rig& r) {
                r.backend.SetFault(0x82, sim::Fault{sim::FaultKind::Silent});
                r.Polling().Closes();
                r.Note(StopsAndPort(r));
            },
            {"stop", "tear down", "message Связь с ЭБУ завершена не корректно!", "stop recording",
             "closes now", "10 stops, port closed"},
            State::Closed},
        Row{"GroupBoxLeftAsTheWindowIsTornDown",
            [](Rig& r) { r.Polling().Closes(), r.Group(3); },
            {"stop", "tear down", "stop recording", "closes now", "name 1"},
            State::Closed}),
    [](const testing::TestParamInfo<Row>& row) { return row.param.name; });

}  // namespace
