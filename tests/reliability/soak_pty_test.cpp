// A shorter soak in real time: the diagnostics window of the station against kline-sim on a
// pseudo-terminal, one simulator after the other, each with faults drawn at random from its
// command line (answers dropped for a while, late, negative, with a wrong checksum or from
// the wrong address, a slow StartCommunication). The mechanic reacts to the poller's message
// by choosing the group again, and closes the window after each round.
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <chrono>
#include <cstdio>
#include <random>

#include "diag/ui/diag_form.h"
#include "diag/ui/reader_dat.h"
#include "tests/e2e/station_fixture.h"
#include "tests/reliability/process_figures.h"
#include "tests/support/diag_window.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"
#include "widgets/value_panel.h"

namespace {

using testing_support::ServeEventsUntil;

constexpr uint32_t kSeed = 7;
constexpr int kRounds = 6;

// How a round's faults must end.
enum class Ending {
    Recovers,            // values shown, nothing reported
    RecoversOnRechoice,  // the poller's message; the group chosen again shows values
    StaysFaulty,         // the poller's message again after the group is chosen again
};

struct Round {
    std::vector<std::string> faults;  // for --fault
    Ending ending = Ending::Recovers;
    bool lateAnswers = false;  // a late answer may collide with the first StopCommunication
};

std::string Joined(const std::vector<std::string>& faults) {
    std::string text;
    for (const std::string& f : faults) text += (text.empty() ? "" : ",") + f;
    return text.empty() ? "none" : text;
}

// Draws a round of the given kind: 0 a short silence, 1 a silence longer than the poller's
// ten attempts, 2 a slow answer, 3 a late one, 4 a persistent corrupt answer.
Round Draw(int kind, std::mt19937& random) {
    auto pick = [&](int low, int high) { return std::uniform_int_distribution(low, high)(random); };
    Round round;
    switch (kind) {
        case 0:
            round.faults = {"fail-first=" + std::to_string(pick(1, 9)) + "@21"};
            break;
        case 1:
            round.faults = {"fail-first=" + std::to_string(pick(10, 14)) + "@21"};
            round.ending = Ending::RecoversOnRechoice;
            break;
        case 2:
            round.faults = {"delay=" + std::to_string(pick(40, 80)) + "@21"};
            break;
        case 3:
            round.faults = {"delay=" + std::to_string(pick(150, 300)) + "@21"};
            round.ending = Ending::StaysFaulty;
            round.lateAnswers = true;
            break;
        default: {
            static const char* corrupt[] = {"negative@21", "negative=78@21", "bad-checksum@21",
                                            "wrong-source@21"};
            round.faults = {corrupt[pick(0, 3)]};
            round.ending = Ending::StaysFaulty;
        }
    }
    if (pick(0, 2) == 0)  // the ECU also slow to take StartCommunication
        round.faults.push_back("fail-first=" + std::to_string(pick(1, 3)) + "@81");
    return round;
}

class SoakPtyTest : public e2e::StationTest {
  protected:
    void PrepareSettings(settings::SettingsRecord& record) override {
        testing_support::ShowFirstParams(record, 1, 16);
    }

    // The next simulator, its port name set as the connection dialog sets it.
    void StartSimulator(const Round& round) {
        const std::vector<std::string> options{"--fault", Joined(round.faults)};
        if (!form) {
            Start(1, options);
            waiter->Timer1->setInterval(20);
            terminals = reliability::OpenTerminals();
            return;
        }
        sim.reset();
        std::vector<std::string> all{"--ecu", "1", "--state-file", stateFile};
        all.insert(all.end(), options.begin(), options.end());
        sim = std::make_unique<testing_support::SimProcess>(KLINE_SIM_PATH, all);
        settings::SetPortName(form->station.settings, sim->portName);
    }

    bool ValuesShown() const { return testing_support::AllValuesShown(diag::Diag_form); }
    bool Stopped(size_t messages) const {
        return sink.Reports().size() >= messages && diag::Diag_form &&
               diag::Diag_form->Reader()->isFinished();
    }
    void ChooseGroupAgain() {
        diag::Diag_form->Group_num->setCurrentIndex(0);
        emit diag::Diag_form->Group_num->activated(0);
    }

    // Runs one round; the messages it had to show.
    std::vector<std::string> Play(const Round& round) {
        std::vector<std::string> expected;
        RunEcuEntry(3);  // "Диагностика"
        EXPECT_TRUE(diag::Diag_form && diag::Diag_form->Polling());
        if (!diag::Diag_form)
            return expected;
        if (round.ending == Ending::Recovers) {
            EXPECT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }, 5000));
            ServeEventsUntil([] { return false; }, 300);  // polling on for a while
        } else {
            expected.push_back(diag::kPollingStopped);
            EXPECT_TRUE(ServeEventsUntil([&] { return Stopped(1); }, 5000));
            ChooseGroupAgain();
            if (round.ending == Ending::RecoversOnRechoice) {
                EXPECT_TRUE(ServeEventsUntil([&] { return ValuesShown(); }, 5000));
            } else {
                expected.push_back(diag::kPollingStopped);
                EXPECT_TRUE(ServeEventsUntil([&] { return Stopped(2); }, 5000));
            }
        }
        diag::Diag_form->close();
        EXPECT_TRUE(
            ServeEventsUntil([&] { return form->MdiArea->subWindowList().isEmpty(); }, 5000));
        return expected;
    }

    int terminals = 0;
};

TEST_F(SoakPtyTest, RoundsOfRandomSimulatorFaults) {
    std::mt19937 random(kSeed);
    std::vector<int> kinds{0, 1, 2, 3, 4};
    while (kinds.size() < kRounds) kinds.push_back(std::uniform_int_distribution(0, 4)(random));
    std::shuffle(kinds.begin(), kinds.end(), random);
    const auto started = std::chrono::steady_clock::now();
    for (int kind : kinds) {
        const Round round = Draw(kind, random);
        StartSimulator(round);
        ASSERT_EQ(sim->portName.rfind("pts/", 0), 0u) << "kline-sim did not start";
        sink.Clear();
        const auto roundStarted = std::chrono::steady_clock::now();
        std::vector<std::string> expected = Play(round);
        std::vector<std::string> shown = sink.Texts();
        // Closing may meet the late answer to the last live data request on the line.
        if (round.lateAnswers && shown.size() == expected.size() + 1 &&
            shown.back() == diag::kLinkNotEnded)
            expected.push_back(diag::kLinkNotEnded);
        EXPECT_EQ(shown, expected) << "--fault " << Joined(round.faults);
        EXPECT_EQ(form->station.connected, 0);
        EXPECT_EQ(reliability::OpenTerminals(), terminals);  // no port left open
        std::printf(
            "--fault %-32s %zu messages, %.1f s\n", Joined(round.faults).c_str(), shown.size(),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - roundStarted).count());
        EXPECT_EQ(sim->Stop(), 0);
    }
    std::printf("%d rounds in %.1f s\n", kRounds,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace
