// The ECU protocol object: its dispatch on the ECU type, the wake-up and the link's services.
#include <gtest/gtest.h>

#include <utility>

#include "link/ecu_protocol.h"
#include "tests/support/frames.h"
#include "tests/support/row_names.h"
#include "tests/support/scripted_port.h"

namespace {

using testing_support::AnswerFrame;
using testing_support::Bytes;
using testing_support::LiveRecord;

class ProtocolTest : public testing::Test, protected testing_support::PortOnScriptedLine {};

TEST_F(ProtocolTest, AnyOtherTypeIsStoredAsNone) {
    EXPECT_EQ(kline::EcuProtocol(0).EcuType(), 0);
    EXPECT_EQ(kline::EcuProtocol(1).EcuType(), 1);
    EXPECT_EQ(kline::EcuProtocol(7).EcuType(), -1);
    EXPECT_EQ(kline::EcuProtocol(-1).EcuType(), -1);
}

TEST_F(ProtocolTest, NoTypeReportsOncePerCallAndSendsNothing) {
    kline::EcuProtocol protocol(-1);
    kline::KwpMessage record;
    record.data[5] = 0x42;
    EXPECT_EQ(protocol.BaudRate(), 0u);
    EXPECT_FALSE(protocol.HasEquipmentConfiguration());
    EXPECT_FALSE(protocol.StartCommunication(port));
    EXPECT_FALSE(protocol.StopCommunication(port));
    EXPECT_FALSE(protocol.ReadLiveData(port, record));
    EXPECT_FALSE(protocol.IsEngineRunning(port));
    EXPECT_FALSE(protocol.ResetController(port));
    EXPECT_FALSE(protocol.ClearFaults(port));
    EXPECT_EQ(record.data[5], 0x42);  // the live data record is left as it was
    EXPECT_TRUE(line.written.empty());
    const auto reports = sink.Reports();
    ASSERT_EQ(reports.size(), 8u);
    for (const auto& r : reports) EXPECT_EQ(r, testing_support::Warning("Блок не выбран!"));
}

TEST_F(ProtocolTest, BothFamiliesRunAtTheKLineRate) {
    EXPECT_EQ(kline::EcuProtocol(0).BaudRate(), 10400u);
    EXPECT_EQ(kline::EcuProtocol(1).BaudRate(), 10400u);
    EXPECT_FALSE(kline::EcuProtocol(0).HasEquipmentConfiguration());
    EXPECT_TRUE(kline::EcuProtocol(1).HasEquipmentConfiguration());
}

TEST_F(ProtocolTest, WakeUpIsABreakOf25MsAnd25MsIdleBeforeTheRequest) {
    Answers(0x11, {0xC1, 0xEF, 0x8F});
    ASSERT_TRUE(kline::EcuProtocol(0).StartCommunication(port));
    const auto& calls = line.calls;
    const auto at = [&](const char* name) {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == name)
                return line.callTimes[i];
        return int64_t{-1};
    };
    EXPECT_EQ(at("ClearBreak") - at("SetBreak"), 25'000);
    EXPECT_EQ(line.writeTimes.front() - at("ClearBreak"), 25'000);
    EXPECT_EQ(line.Written(), "81 11 F1 81 04");
}

// A scheduler that wakes the station 2 ms late from its first sleep of more than 20 ms.
struct LateOnceClock final : platform::VirtualClock {
    LateOnceClock() { platform::UseClock(this); }
    ~LateOnceClock() override { platform::UseClock(nullptr); }
    void SleepMicros(int64_t micros) override {
        VirtualClock::SleepMicros(micros > 20'000 ? micros + std::exchange(late, 0) : micros);
    }
    int64_t late = 2'000;
};

// StartCommunication that cannot begin within the ECU's window after the low byte: the pattern
// is made again, three in all, the last sent late or not. A held 0x00 began at its return.
TEST(LowByteWakeUp, StartCommunicationOutsideTheWindowMakesThePatternAgain) {
    struct Case {
        const char *name, *written;
        int64_t requestAfterLowByte, writeHeld, readHeld;
        bool sleepsLate;
    };
    for (const Case& c :
         {Case{"SleptPastTheWindowOnce", "00 00 81 10 F1 81 03", 50'000, 0, 0, true},
          Case{"EchoAlwaysLate", "00 00 00 81 10 F1 81 03", 51'000, 0, 51'000, false},
          Case{"FirstByteAlwaysHeld", "00 81 00 81 00 81 10 F1 81 03", 53'000, 3'000, 0, false}}) {
        LateOnceClock clock;
        clock.late = c.sleepsLate ? clock.late : 0;
        testing_support::ScriptedBackend backend;
        testing_support::ScriptedLine& line = backend.line;
        line.writeHeldMicros = c.writeHeld;
        line.readHeldMicros = c.readHeld;
        line.answers.push_back(AnswerFrame(0x10, {0xC1, 0xEF, 0x8F}));
        kline::Port port{backend.Open("COM1")};
        kline::EcuProtocol::StartAttempt attempt;
        kline::EcuProtocol(1).StartCommunication(port, kline::WakeUpMethod::LowByte, attempt);
        EXPECT_EQ(line.Written(), c.written) << c.name;
        const size_t request = line.Written().rfind("00 81") / 3 + 1;
        EXPECT_EQ(line.writeTimes[request] - line.writeTimes[request - 1], c.requestAfterLowByte)
            << c.name;
    }
}

TEST_F(ProtocolTest, StartCommunicationTakesAnyKeyBytes) {
    Answers(0x10, {0xC1, 0x00, 0x00});
    EXPECT_TRUE(kline::EcuProtocol(1).StartCommunication(port));
    EXPECT_EQ(line.Written(), "81 10 F1 81 03");
}

TEST_F(ProtocolTest, StartCommunicationRefusesNegativeAndCorruptAnswers) {
    Answers(0x10, {0x7F, 0x81, 0x10});
    EXPECT_FALSE(kline::EcuProtocol(1).StartCommunication(port));
    Bytes corrupt = AnswerFrame(0x10, {0xC1, 0xEF, 0x8F});
    corrupt.back() += 1;
    line.answers.push_back(corrupt);
    EXPECT_FALSE(kline::EcuProtocol(1).StartCommunication(port));
}

struct ServiceCase {
    const char* name;
    int ecuType;
    bool (*call)(const kline::EcuProtocol&, kline::Port&);
    const char* frame;
    Bytes answer;
};

class LinkServices : public ProtocolTest, public testing::WithParamInterface<ServiceCase> {};

TEST_P(LinkServices, SendTheFrameAndAcceptThePositiveAnswer) {
    const auto& c = GetParam();
    kline::EcuProtocol protocol(c.ecuType);
    Answers(testing_support::EcuAddress(c.ecuType), c.answer);
    EXPECT_TRUE(c.call(protocol, port));
    EXPECT_EQ(line.Written(), c.frame);
}

bool Stop(const kline::EcuProtocol& p, kline::Port& port) {
    return p.StopCommunication(port);
}
bool Reset(const kline::EcuProtocol& p, kline::Port& port) {
    return p.ResetController(port);
}
bool Clear(const kline::EcuProtocol& p, kline::Port& port) {
    return p.ClearFaults(port);
}

INSTANTIATE_TEST_SUITE_P(
    BothFamilies, LinkServices,
    testing::Values(ServiceCase{"StopType0", 0, Stop, "81 11 F1 82 05", {0xC2}},
                    ServiceCase{"StopType1", 1, Stop, "81 10 F1 82 04", {0xC2}},
                    ServiceCase{"ResetType0", 0, Reset, "82 11 F1 11 01 96", {0x51}},
                    ServiceCase{"ResetType1", 1, Reset, "82 10 F1 11 01 95", {0x51}},
                    ServiceCase{"ClearType0", 0, Clear, "83 11 F1 14 FF 00 98", {0x54}},
                    ServiceCase{"ClearType1", 1, Clear, "83 10 F1 14 FF 00 97", {0x54}}),
    testing_support::RowName);

TEST_F(ProtocolTest, Type0EngineRunsWhenTheIdleStepperIsNotZero) {
    kline::EcuProtocol protocol(0);
    Answers(0x11, LiveRecord({{20, 40}}, 35));
    EXPECT_TRUE(protocol.IsEngineRunning(port));
    EXPECT_EQ(line.Written(), "82 11 F1 21 01 A6");
    Answers(0x11, LiveRecord({}, 35));
    EXPECT_FALSE(protocol.IsEngineRunning(port));
}

TEST_F(ProtocolTest, Type1EngineRunsWhileTheStoppedFlagIsClear) {
    kline::EcuProtocol protocol(1);
    Answers(0x10, LiveRecord({}));
    EXPECT_TRUE(protocol.IsEngineRunning(port));
    Answers(0x10, LiveRecord({{4, 0x01}}));
    EXPECT_FALSE(protocol.IsEngineRunning(port));
    EXPECT_FALSE(protocol.IsEngineRunning(port));  // no answer: counted as stopped
}

}  // namespace
