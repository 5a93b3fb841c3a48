// The wake-up on every kind of cable: the station's connection worker against the simulated
// adapter and ECU behind each cable model, on the virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

#include "link/connection.h"
#include "link/station.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "sim/simulated_backend.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace {

using kline::WakeUpMethod;
using sim::CableKind;

struct CableRow {
    CableKind kind;
    int attempts;         // port openings until the ECU answers, on a fresh station
    WakeUpMethod learnt;  // the wake-up the station keeps for the port
    int lowPeriods;       // times the line was pulled low before the ECU answered
};

// The row names: the cable kinds in their enum's order.
const char* Name(CableKind kind) {
    static constexpr const char* kNames[] = {"ExactBreak", "StretchedBreak", "UsbLatency",
                                             "NoBreak"};
    static_assert(std::size(kNames) == static_cast<size_t>(CableKind::NoBreak) + 1);
    return kNames[static_cast<size_t>(kind)];
}

class CableTest : public testing::TestWithParam<CableRow> {
  protected:
    explicit CableTest(bool strict = false) : backend(clock, Options(strict)) {
        clock.Advance(1'000'000);
        platform::UseClock(&clock);
        testing_support::PrepareStation(station, backend, 1, 50);
    }
    ~CableTest() override {
        kline::ClosePort(station.port);
        platform::UseClock(nullptr);
    }
    static sim::EcuOptions Options(bool strict) {
        sim::EcuOptions options;
        options.type = 1;
        options.idleWakeUp = false;  // only a real wake-up counts
        options.strictWakeUp = strict;
        return options;
    }
    // One connection attempt as the connecting dialog runs it; the port openings it took.
    int Connect() {
        const int before = backend.Port().opens;
        std::atomic<bool> terminate{false};
        station.connecting = 1;
        kline::RunConnectionAttempt(station, terminate);
        return backend.Port().opens - before;
    }
    void ThousandWakeUps(const char* ecu);
    int LowPeriods() {
        int count = 0;
        for (const sim::LineEvent& e : backend.Log())
            count += e.kind == sim::LineEventKind::BreakSet;
        return count;
    }

    testing_support::RecordingSink sink;
    platform::VirtualClock clock;
    sim::SimulatedBackend backend;
    kline::Station station;
};

TEST_P(CableTest, StationFindsTheWakeUpAndKeepsItForThePort) {
    const CableRow& row = GetParam();
    backend.SetCable({row.kind, 0});
    EXPECT_EQ(Connect(), row.attempts);
    ASSERT_EQ(station.connected, 1);
    EXPECT_EQ(LowPeriods(), row.lowPeriods);
    // The passport record and the live data come over the woken line.
    const kline::KwpMessage passport =
        station.Protocol().Variant()->Exchange(kline::MakeRequest({0x1A, 0x80}), station.port);
    EXPECT_EQ(passport.error, 0);
    kline::KwpMessage live;
    EXPECT_TRUE(station.Protocol().ReadLiveData(station.port, live));
    const kline::CableKnowledge& cable = station.cables.ports.at("COM1");
    EXPECT_EQ(cable.method, row.learnt);
    EXPECT_TRUE(cable.confirmed);
    EXPECT_TRUE(kline::Disconnect(station));

    // The next connection of the run wakes the ECU at once, the way that worked.
    backend.ClearLog();
    EXPECT_EQ(Connect(), 1);
    EXPECT_EQ(station.connected, 1);
    EXPECT_EQ(LowPeriods(), 1);
    EXPECT_TRUE(sink.Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Models, CableTest,
    testing::Values(CableRow{CableKind::ExactBreak, 1, WakeUpMethod::Break, 1},
                    // The late clear-break gives it away: the byte follows in the same attempt.
                    CableRow{CableKind::StretchedBreak, 1, WakeUpMethod::LowByte, 2},
                    CableRow{CableKind::UsbLatency, 1, WakeUpMethod::Break, 1},
                    // Silence after a break with the echo there: the byte on the next attempt.
                    CableRow{CableKind::NoBreak, 2, WakeUpMethod::LowByte, 1}),
    [](const testing::TestParamInfo<CableRow>& info) {
        return std::string(Name(info.param.kind));
    });

TEST_P(CableTest, LowByteHoldsTheLineLowFor25MsThenItIsHigh25MsBeforeStartCommunication) {
    backend.SetCable({GetParam().kind, 7});  // with jitter, and the USB cable's latency timer
    station.cables.ports["COM1"].method = WakeUpMethod::LowByte;
    ASSERT_EQ(Connect(), 1);
    int64_t low = 0, high = 0;
    const std::vector<sim::LineEvent> log = backend.Log();
    for (size_t i = 0; i + 1 < log.size(); ++i) {
        if (log[i].kind == sim::LineEventKind::BreakSet)
            low = log[i + 1].micros - log[i].micros;
        if (log[i].kind == sim::LineEventKind::BreakClear) {
            high = log[i + 1].micros - log[i].micros;  // up to the first byte of the request
            EXPECT_EQ(log[i + 1].byte, 0x81);
        }
    }
    EXPECT_EQ(low, 25'000);
    EXPECT_EQ(high, 25'000);
    EXPECT_EQ(backend.Port().line.baudRate, 10400u);  // the rate is back for the exchange
}

TEST_F(CableTest, SilentEcuBehindAnAdapterWithoutPowerTeachesNothing) {
    backend.SetCable({CableKind::NoBreak, 0});
    backend.SetAdapter(sim::AdapterMode::Absent);
    std::atomic<bool> terminate{true};  // one attempt, as if the user stopped at once
    station.connecting = 1;
    kline::RunConnectionAttempt(station, terminate);
    EXPECT_EQ(station.connected, 0);
    EXPECT_EQ(station.cables.ports["COM1"].method, WakeUpMethod::Break);
}

// A thousand wake-ups of a station just started, per cable, with the jitter of USB frames and
// of the scheduler, and the latency timer on the USB cable: how many needed more than two
// attempts. The figures go to docs/performance.md.
void CableTest::ThousandWakeUps(const char* ecu) {
    constexpr int kWakeUps = 1000;
    for (const CableKind kind : {CableKind::ExactBreak, CableKind::StretchedBreak,
                                 CableKind::UsbLatency, CableKind::NoBreak}) {
        int byAttempt[3] = {};  // first, second, later
        for (int i = 0; i < kWakeUps; ++i) {
            backend.SetCable({kind, static_cast<uint32_t>(i + 1)});
            station.cables = {};  // a fresh start of the program
            const int attempts = Connect();
            ASSERT_EQ(station.connected, 1);
            ++byAttempt[std::min(attempts, 3) - 1];
            kline::Disconnect(station);
            backend.ClearLog();
            clock.Advance(1'000'000);
        }
        std::printf("%s ECU, %s: %d first, %d second, %d later of %d\n", ecu, Name(kind),
                    byAttempt[0], byAttempt[1], byAttempt[2], kWakeUps);
        EXPECT_LE(byAttempt[2] * 100, kWakeUps) << Name(kind);
    }
}

TEST_F(CableTest, ThousandWakeUpsPerCableAnswerOnTheFirstOrSecondAttempt) {
    ThousandWakeUps("lenient");
}

class StrictCableTest : public CableTest {
  protected:
    StrictCableTest() : CableTest(true) {}
};

TEST_F(StrictCableTest, ThousandWakeUpsPerCableAnswerOnTheFirstOrSecondAttempt) {
    ThousandWakeUps("strict");
}

}  // namespace
