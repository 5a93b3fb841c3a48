// The poll cycle on a fake K-line and the virtual clock: pace, retries, the no-answer end,
// the terminate request and the items handed to the window.
#include "diag/poller.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/diag/fake_ecu.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"

namespace {

using diag_test::Bytes;
using diag_test::LiveRecord;

const platform::Report kStopped = testing_support::Warning(diag::kPollingStopped, platform::kError);

// Records what the poller hands over, and what had been reported by then.
class RecordingDisplay final : public diag::PollDisplay {
  public:
    explicit RecordingDisplay(testing_support::RecordingSink& sink) : sink_(sink) {}
    void StartPanels(std::span<const int32_t> items) override {
        started.emplace_back(items.begin(), items.end());
    }
    void ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) override {
        shownItems.emplace_back(items.begin(), items.end());
        shownBytes.push_back(liveData.data[4]);
        reportsAtShow.push_back(sink_.Reports().size());
        if (onShow)
            onShow();
    }
    std::vector<std::vector<int32_t>> started;
    std::vector<std::vector<int32_t>> shownItems;
    std::vector<uint8_t> shownBytes;
    std::vector<size_t> reportsAtShow;
    std::function<void()> onShow;

  private:
    testing_support::RecordingSink& sink_;
};

class PollerTest : public testing::Test,
                   protected testing_support::StationOn<diag_test::FakeEcuBackend> {
  protected:
    void SetUp() override { station.port.device = backend.Open("ttyS0"); }

    void FillGroup(int type, int group, const std::vector<uint8_t>& params) {
        for (size_t slot = 0; slot < params.size(); ++slot)
            station.settings.groupLists[type][group][slot] = params[slot];
        station.settings.groupCounts[type][group] = static_cast<uint8_t>(params.size());
    }
    // Live data answers: `answered(n)` decides for the n-th live data request (from 1);
    // every other service is answered positively.
    void EcuAnswers(std::function<bool(int)> answered) {
        auto count = std::make_shared<int>(0);
        backend.SetResponder([=](const Bytes& request) -> std::optional<Bytes> {
            if (request[0] != 0x21)
                return Bytes{static_cast<uint8_t>(request[0] | 0x40)};
            const int n = ++*count;
            if (!answered(n))
                return std::nullopt;
            return LiveRecord({{4, static_cast<uint8_t>(n)}});
        });
    }
    std::vector<int64_t> LiveRequestTimesMs() const {
        std::vector<int64_t> times;
        for (const auto& r : backend.Requests(0x21)) times.push_back(r.micros / 1000);
        return times;
    }
    void Run(int group) {
        poller = std::make_unique<diag::Poller>(station, group, display);
        poller->Run();
    }

    testing_support::RecordingSink sink;
    RecordingDisplay display{sink};
    std::unique_ptr<diag::Poller> poller;
};

TEST_F(PollerTest, SendsOneRequestPerRequestDelay) {
    FillGroup(1, 0, {0, 3});
    EcuAnswers([](int n) { return n <= 5; });
    Run(0);
    const std::vector<int64_t> times = LiveRequestTimesMs();
    ASSERT_EQ(times.size(), 15u);  // five answered, then one cycle of ten silent attempts
    for (int i = 0; i < 5; ++i) EXPECT_EQ(times[i], 250 * (i + 1)) << "request " << i;
    // A silent attempt costs the delay and the time-out of the first answer byte.
    for (int i = 6; i < 15; ++i) EXPECT_EQ(times[i] - times[i - 1], 250 + 110) << "request " << i;
    EXPECT_EQ(display.shownBytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

class LiveDataRequestTest : public PollerTest, public testing::WithParamInterface<int> {};

TEST_P(LiveDataRequestTest, IsReadDataByLocalIdentifier1) {
    const char* const frames[] = {"82 11 F1 21 01 A6", "82 10 F1 21 01 A5"};
    testing_support::UseFamily(station, GetParam());
    FillGroup(GetParam(), 0, {0});
    EcuAnswers([](int n) { return n == 1; });
    Run(0);
    EXPECT_EQ(backend.WrittenHex().substr(0, 17), frames[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, LiveDataRequestTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_F(PollerTest, EmptyGroupStillPolls) {
    EcuAnswers([](int n) { return n <= 3; });
    Run(2);
    EXPECT_EQ(display.started, std::vector<std::vector<int32_t>>{{}});
    EXPECT_EQ(display.shownItems, (std::vector<std::vector<int32_t>>{{}, {}, {}}));
    EXPECT_EQ(LiveRequestTimesMs().size(), 13u);
}

TEST_F(PollerTest, NineFailedAttemptsThenAnAnswerShowValuesWithoutMessage) {
    FillGroup(1, 1, {17});
    EcuAnswers([](int n) { return n == 10 || n == 20; });
    Run(1);
    // Two cycles answered at their tenth attempt, the third never.
    EXPECT_EQ(LiveRequestTimesMs().size(), 30u);
    EXPECT_EQ(display.shownBytes, (std::vector<uint8_t>{10, 20}));
    EXPECT_EQ(display.reportsAtShow, (std::vector<size_t>{0, 0}));
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{kStopped});
}

TEST_F(PollerTest, TenFailedAttemptsGiveOneMessageAndNoFurtherRequest) {
    FillGroup(1, 0, {0});
    EcuAnswers([](int) { return false; });
    Run(0);
    EXPECT_EQ(LiveRequestTimesMs().size(), 10u);
    EXPECT_EQ(clock.NowMicros(), 10 * (250 + 110) * 1000);
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{kStopped});
    EXPECT_TRUE(display.shownItems.empty());
    EXPECT_EQ(display.started.size(), 1u);
}

TEST_F(PollerTest, TerminateIsSeenAfterTheCycleThatShowedValues) {
    FillGroup(1, 0, {0});
    EcuAnswers([](int) { return true; });
    display.onShow = [this] {
        if (display.shownItems.size() == 2)
            poller->RequestTerminate();
    };
    Run(0);
    EXPECT_EQ(LiveRequestTimesMs().size(), 2u);
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(PollerTest, TerminateDuringUnansweredAttemptsLetsTheCycleFinish) {
    FillGroup(1, 0, {0});
    EcuAnswers([this](int n) {
        if (n == 3)
            poller->RequestTerminate();
        return false;
    });
    Run(0);
    EXPECT_EQ(LiveRequestTimesMs().size(), 10u);
    EXPECT_EQ(sink.Reports(), std::vector<platform::Report>{kStopped});
}

TEST_F(PollerTest, HandsOverTheGroupsItemsAndClearsThemAtTheEnd) {
    FillGroup(1, 3, {5, 0, 5, 33});
    EcuAnswers([](int n) { return n == 1; });
    Run(3);
    EXPECT_EQ(display.started, (std::vector<std::vector<int32_t>>{{5, 0, 5, 33}}));
    EXPECT_EQ(display.shownItems, (std::vector<std::vector<int32_t>>{{5, 0, 5, 33}}));
    for (int32_t item : poller->Items()) EXPECT_EQ(item, diag::kNoItem);
}

TEST_F(PollerTest, CorruptCountAboveSixteenPollsSixteen) {
    FillGroup(1, 0, std::vector<uint8_t>(16, 2));
    station.settings.groupCounts[1][0] = 200;
    EcuAnswers([](int n) { return n == 1; });
    Run(0);
    ASSERT_EQ(display.started.size(), 1u);
    EXPECT_EQ(display.started[0], std::vector<int32_t>(16, 2));
}

TEST_F(PollerTest, InvalidEcuTypeSendsNothingAndEndsWithTheMessage) {
    testing_support::UseFamily(station, 7);
    station.settings.groupCounts[0][0] = 3;
    station.settings.groupCounts[1][0] = 3;
    Run(0);
    EXPECT_EQ(display.started, std::vector<std::vector<int32_t>>{{}});
    EXPECT_TRUE(backend.Requests().empty());
    std::vector<std::string> expected(10, kline::kNoEcuType);
    expected.push_back(diag::kPollingStopped);
    EXPECT_EQ(sink.Texts(), expected);
}

struct CountCase {
    int ecuType;
    int group;
    int stored;
    int shown;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << "type " << c.ecuType << " group " << c.group << " count " << c.stored;
}

class ShownCountTest : public testing::TestWithParam<CountCase> {};

TEST_P(ShownCountTest, IsTheStoredCountWithinBounds) {
    settings::SettingsRecord record;
    for (auto& counts : record.groupCounts) counts.fill(static_cast<uint8_t>(GetParam().stored));
    EXPECT_EQ(diag::ShownCount(record, GetParam().ecuType, GetParam().group), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Counts, ShownCountTest,
                         testing::Values(CountCase{0, 0, 3, 3}, CountCase{1, 4, 16, 16},
                                         CountCase{1, 2, 17, 16}, CountCase{0, 1, 255, 16},
                                         CountCase{-1, 0, 3, 0}, CountCase{2, 0, 3, 0},
                                         CountCase{0, -1, 3, 0}, CountCase{0, 5, 3, 0}));

TEST(FirstShownGroup, IsTheFirstGroupWithParameters) {
    settings::SettingsRecord record;
    EXPECT_FALSE(diag::FirstShownGroup(record, 0));
    record.groupCounts[1][2] = 1;
    record.groupCounts[1][4] = 1;
    EXPECT_EQ(diag::FirstShownGroup(record, 1), 2);
    EXPECT_FALSE(diag::FirstShownGroup(record, 0));
    EXPECT_FALSE(diag::FirstShownGroup(record, -1));
}

}  // namespace
