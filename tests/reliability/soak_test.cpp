// Ten thousand poll cycles of the diagnostics window against the simulated ECU on the
// virtual clock, with faults switched in at random between cycles: dropped answers, wrong
// checksums, answers from the wrong address, negative answers and answers that come late.
// A mechanic sits in front of it: when the poller gives up with its message, he chooses the
// group again, or closes the window and opens it anew; now and then he does that anyway.
// Every fault has to end in the poller's message or in values shown again, nothing else may
// be reported, nothing may hang, and the process may not grow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QPixmapCache>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "diag/catalogue.h"
#include "diag/ui/diag_form.h"
#include "diag/ui/reader_dat.h"
#include "link/connection.h"
#include "link/ui/waiter.h"
#include "sim/simulated_backend.h"
#include "tests/reliability/process_figures.h"
#include "tests/support/connecting.h"
#include "tests/support/diag_window.h"
#include "tests/support/hand_over_sink.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"
#include "widgets/value_panel.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kCycles = 10'000;
constexpr int kWarmUpCycles = 1'000;
constexpr uint32_t kSeed = 20240611;
constexpr auto kWallLimit = std::chrono::seconds(240);  // a run takes 8 to 30 s
constexpr auto kStallLimit = std::chrono::seconds(5);   // no hand-over and no message
constexpr uint8_t kLiveData = 0x21;
constexpr uint8_t kStart = 0x81;
constexpr uint8_t kStop = 0x82;

const char* KindName(sim::FaultKind kind) {
    switch (kind) {
        case sim::FaultKind::Silent:
            return "dropped answer";
        case sim::FaultKind::Negative:
            return "negative answer";
        case sim::FaultKind::WrongChecksum:
            return "wrong checksum";
        case sim::FaultKind::WrongSource:
            return "wrong address";
        case sim::FaultKind::Delay:
            return "late answer";
        case sim::FaultKind::None:
            break;
    }
    return "none";
}

// A fault on the live data request from its switching on until values are shown again.
struct Episode {
    sim::Fault fault;
    int stops = 0;  // poller messages while it lasted
};

struct Figures {
    int64_t residentKiB = 0;
    int64_t liveBlocks = 0;
    int widgets = 0;
    int opens = 0;  // windows opened so far
};

class SoakTest : public testing::Test, public QObject {
  protected:
    void SetUp() override { testing_support::PrepareSixteenParams(clock, station, backend); }
    void TearDown() override {
        if (form) {
            form->removeEventFilter(this);
            form->close();
            delete form;
        }
    }

    // --- what the mechanic does -------------------------------------------------------------

    void OpenWindow() {
        form = rig.NewDiagnostics();
        form->installEventFilter(this);
        form->showMaximized();  // connects and starts polling
        ++opens;
        if (!form->Polling())
            ADD_FAILURE() << "the window did not start polling after open " << opens;
    }

    // Closes the window, sometimes with the ECU deaf to StopCommunication, and opens it again,
    // sometimes with the ECU slow to take StartCommunication.
    void ReopenWindow() {
        const bool deafToStop = Chance(0.2);
        if (deafToStop) {
            backend.SetFault(kStop, sim::Fault{sim::FaultKind::Silent, 0x22, 0, 10});
            ++deafStops;
        }
        // An ECU whose session ended in a long silence does not answer StopCommunication either.
        const bool expectReport = deafToStop || !backend.SessionActive();
        // A late answer still on its way collides with the first StopCommunication: the ECU
        // may stop without the station hearing it, and every later attempt goes unanswered.
        const bool lateAnswerPending = episode && episode->fault.kind == sim::FaultKind::Delay;
        const size_t before = sink.reports.size();
        form->removeEventFilter(this);
        form->close();
        delete form;
        std::vector<std::string> reported;
        for (size_t r = before; r < sink.reports.size(); ++r)
            reported.push_back(sink.reports[r].text);
        const std::vector<std::string> endedBadly{diag::kLinkNotEnded};
        const bool asExpected = reported == endedBadly ? expectReport || lateAnswerPending
                                                       : reported.empty() && !expectReport;
        if (!asExpected)
            ADD_FAILURE() << "closing (ECU deaf to stop: " << deafToStop << ") reported "
                          << reported.size() << " messages; episode "
                          << (episode ? Describe(*episode) : "none") << ", stops in a row "
                          << consecutiveStops << ", cycle " << Cycles();
        if (Chance(0.3)) {
            static constexpr sim::FaultKind kinds[] = {
                sim::FaultKind::Silent, sim::FaultKind::Negative, sim::FaultKind::WrongChecksum,
                sim::FaultKind::WrongSource};
            backend.SetFault(kStart, sim::Fault{kinds[Pick(0, 3)], 0x22, 0, Pick(1, 3)});
            ++slowStarts;
        }
        OpenWindow();
    }

    void ChooseGroupAgain() {
        form->Group_num->setCurrentIndex(0);
        emit form->Group_num->activated(0);
        ++groupChoices;
        if (!form->Polling())
            ADD_FAILURE() << "choosing the group again did not restart polling";
    }

    // --- what the window does, seen from outside --------------------------------------------

    // The poller's hand-overs reach the window as queued calls; the first of each poller
    // (StartPanels) names the panels, every later one (ShowValues) ends a good cycle. While
    // one waits here the poller is blocked: the ECU's faults are switched now, between cycles.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != form || event->type() != QEvent::MetaCall)
            return false;
        lastProgress = SteadyClock::now();
        if (form->Panels().empty() || !PanelsNamed())
            return false;  // StartPanels of a new poller
        OnValuesShown();
        return false;
    }

    bool PanelsNamed() const {
        const std::string shortName = diag::ParamShortName(station.Protocol(), 0);
        return form->Panels()[0]->ShortNameLabel->text() == QString::fromStdString(shortName);
    }

    void OnValuesShown() {
        ++goodCycles;
        consecutiveStops = 0;
        if (goodCycles % 100 == 0)
            backend.ClearLog();  // the simulator's record of the line would grow for ever
        if (episode) {
            CloseEpisode();
            return;
        }
        if (Chance(0.06))
            StartEpisode();
        else if (Chance(0.003))
            reopenWanted = true;  // the mechanic closes and reopens without a reason
    }

    void StartEpisode() {
        static constexpr sim::FaultKind kinds[] = {
            sim::FaultKind::Silent, sim::FaultKind::WrongChecksum, sim::FaultKind::WrongSource,
            sim::FaultKind::Negative, sim::FaultKind::Delay};
        Episode e;
        e.fault.kind = kinds[Pick(0, 4)];
        e.fault.times = Chance(0.7) ? Pick(1, 9) : Pick(10, 35);
        e.fault.negativeCode = Chance(0.5) ? 0x22 : 0x78;
        e.fault.delayMicros = Pick(60, 400) * 1000;  // up to 110 ms it is only slow
        backend.SetFault(kLiveData, e.fault);
        episode = e;
        ++injected[e.fault.kind];
    }

    // Values are shown again: the episode has ended in a clean recovery, after as many poller
    // messages as a fault of its kind and length must give.
    void CloseEpisode() {
        const Episode& e = *episode;
        const int tenfolds = e.fault.times / 10;
        if (e.fault.kind == sim::FaultKind::Delay) {
            // A late answer lands in the next attempt: it may cost more attempts than its own.
        } else if (e.fault.kind == sim::FaultKind::Silent) {
            // Long silence also ends the ECU's session (P3max, ISO 14230-2): more messages.
            if (e.stops < tenfolds)
                ADD_FAILURE() << Describe(e) << " gave " << e.stops << " messages";
        } else if (e.stops != tenfolds) {
            ADD_FAILURE() << Describe(e) << " gave " << e.stops << " messages";
        }
        backend.SetFault(kLiveData, sim::Fault{});  // what a slow answer left of its count
        ++recovered;
        episode.reset();
    }

    static std::string Describe(const Episode& e) {
        return std::string(KindName(e.fault.kind)) + " x" + std::to_string(e.fault.times);
    }

    // Reads the new reports: the poller's message, or the window's on closing.
    void ReadReports() {
        for (; reportsRead < sink.reports.size(); ++reportsRead) {
            const std::string& text = sink.reports[reportsRead].text;
            lastProgress = SteadyClock::now();
            if (text == diag::kPollingStopped) {
                ++stops;
                ++consecutiveStops;
                reactionDue = true;
                if (episode)
                    ++episode->stops;
                else
                    ADD_FAILURE() << "the poller stopped without a fault, cycle " << Cycles();
            } else if (text == diag::kLinkNotEnded) {
                ++linkNotEnded;
            } else {
                ADD_FAILURE() << "unexpected message: " << text;
            }
        }
        // The sink keeps what it recorded; a long run keeps only what is still to be read.
        sink.reports.clear();
        reportsRead = 0;
    }

    // One look of the mechanic at the screen (every millisecond).
    void Look() {
        if (busy)
            return;  // he is still waiting for the window to come up
        busy = true;
        ReadReports();
        if (reactionDue && form->Reader() && form->Reader()->isFinished()) {
            reactionDue = false;
            if (consecutiveStops >= 2 || Chance(0.3))
                ReopenWindow();
            else
                ChooseGroupAgain();
            ReadReports();
        } else if (reopenWanted && !episode && !reactionDue) {
            reopenWanted = false;
            ReopenWindow();
            ReadReports();
        }
        if (!episode && !reactionDue && Cycles() >= kWarmUpCycles && !warm) {
            warm = Measure();
        } else if (!episode && !reactionDue && Cycles() >= kCycles) {
            end = Measure();
            loop.quit();
        }
        if (SteadyClock::now() - lastProgress > kStallLimit) {
            ADD_FAILURE() << "no hand-over and no message for 5 s after " << Cycles()
                          << " cycles: the station hangs";
            loop.quit();
        }
        busy = false;
    }

    Figures Measure() {
        backend.ClearLog();  // the simulator's own record of the line, not the station's
        // The toolkit keeps a scaled title-bar icon of every sub-window it has drawn, up to
        // its cache limit; that cache is emptied so that it does not count as the station's.
        QPixmapCache::clear();
        return Figures{reliability::ResidentKiB(), reliability::LiveAllocations(),
                       static_cast<int>(QApplication::allWidgets().size()), opens};
    }

    int Cycles() const { return goodCycles + stops; }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random); }
    int Pick(int low, int high) { return std::uniform_int_distribution(low, high)(random); }

    testing_support::ScopedVirtualClock clock;
    sim::SimulatedBackend backend{clock, sim::EcuOptions{}};
    kline::Station station;
    testing_support::HandOverSink sink;
    testing_support::DiagWindowRig rig{station};
    QPointer<diag::TDiag_form> form;
    QEventLoop loop;
    std::mt19937 random{kSeed};

    std::optional<Episode> episode;
    std::map<sim::FaultKind, int> injected;
    int goodCycles = 0;
    int stops = 0;
    int consecutiveStops = 0;
    int recovered = 0;
    int opens = 0;
    int groupChoices = 0;
    int slowStarts = 0;
    int deafStops = 0;
    int linkNotEnded = 0;
    size_t reportsRead = 0;
    bool reactionDue = false;
    bool reopenWanted = false;
    bool busy = false;
    SteadyClock::time_point lastProgress;
    std::optional<Figures> warm;
    std::optional<Figures> end;
};

TEST_F(SoakTest, TenThousandPollCyclesWithRandomFaults) {
    const auto started = SteadyClock::now();
    lastProgress = started;
    OpenWindow();
    QTimer mechanic;
    QObject::connect(&mechanic, &QTimer::timeout, [this] { Look(); });
    mechanic.start(1);
    QTimer::singleShot(kWallLimit, &loop, &QEventLoop::quit);
    loop.exec();
    mechanic.stop();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();

    int faults = 0;
    for (const auto& [kind, count] : injected) {
        std::printf("  %-16s %4d\n", KindName(kind), count);
        faults += count;
    }
    std::printf(
        "cycles %d (good %d, ended by the poller's message %d) in %.1f s, "
        "%.1f h on the line\n",
        Cycles(), goodCycles, stops, seconds, (clock.NowMicros() - 1e6) / 3.6e9);
    std::printf(
        "faults on the live data %d, recovered %d; group chosen again %d, window "
        "opened %d; ECU slow to start %d times, deaf to stop %d times; \"%s\" %d\n",
        faults, recovered, groupChoices, opens, slowStarts, deafStops, diag::kLinkNotEnded,
        linkNotEnded);
    ASSERT_TRUE(warm && end) << "the run did not reach " << kCycles << " cycles in "
                             << kWallLimit.count() << " s";
    std::printf("after %d cycles: resident %lld KiB, %lld live blocks, %d widgets\n", kWarmUpCycles,
                static_cast<long long>(warm->residentKiB), static_cast<long long>(warm->liveBlocks),
                warm->widgets);
    std::printf("after %d cycles: resident %lld KiB, %lld live blocks, %d widgets\n", Cycles(),
                static_cast<long long>(end->residentKiB), static_cast<long long>(end->liveBlocks),
                end->widgets);

    EXPECT_GE(Cycles(), kCycles);
    for (sim::FaultKind kind :
         {sim::FaultKind::Silent, sim::FaultKind::WrongChecksum, sim::FaultKind::WrongSource,
          sim::FaultKind::Negative, sim::FaultKind::Delay})
        EXPECT_GE(injected[kind], 50) << KindName(kind);
    EXPECT_GE(stops, 50);
    EXPECT_GE(groupChoices, 20);
    EXPECT_GE(opens, 20);
    // Nothing grows with the cycles: a leak of one block per cycle would be thousands of
    // blocks, a leaked window hundreds per opening, a leaked poller or worker thread several. The
    // toolkit itself keeps about two blocks per window it has activated (a pixmap cache key
    // of the sub-window's icon, a focus connection of the connecting dialog): three per
    // opening are allowed.
    EXPECT_EQ(end->widgets, warm->widgets);
    EXPECT_LT(end->liveBlocks - warm->liveBlocks, 3 * (end->opens - warm->opens) + 100);
    if (!reliability::kSanitizedHeap) {
        EXPECT_LT(end->residentKiB - warm->residentKiB, 2048);
    }
}

}  // namespace
