// The positions the station reads in the answers: every row of both live data catalogues
// reads a plausible value, the identification fields, the equipment bits and the CO trim.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>

#include "tests/sim/sim_fixture.h"
#include "tests/support/row_names.h"

namespace {

using sim_test::Bytes;
using sim_test::Family;
using sim_test::Hex;
using sim_test::Line;

double X(const Bytes& d, int at) {
    return d[at];
}
double S(const Bytes& d, int at) {
    return static_cast<int8_t>(d[at]);
}
double W(const Bytes& d, int at) {
    return d[at] + d[at + 1] * 256;
}  // low byte first
double Bit(const Bytes& d, int at, int bit) {
    return (d[at] >> bit) & 1;
}

struct Row {
    const char* name;
    std::function<double(const Bytes&)> decode;  // as the catalogue decodes the row
    double low;                                  // plausible for a warm engine at idle
    double high;
};

// Reads live data after `minutes` of idling (the engine starts cold).
Bytes LiveDataAfter(Line& line, double minutes) {
    line.clock.Advance(static_cast<int64_t>(minutes * 60e6));
    EXPECT_TRUE(line.OpenAndStart());
    return line.AskBytes({0x21, 0x01});
}

class Type0Rows : public testing::TestWithParam<Row> {};
class Type1Rows : public testing::TestWithParam<Row> {};

// The row decodes to a value within its bounds from the live data of a warm idling engine
// of `family`, whose record has `size` bytes.
void ExpectPlausible(int family, size_t size, const Row& row) {
    Line line(Family(family));
    line.backend.WithEcu([&](sim::Ecu& ecu) { ecu.Engine(line.clock.NowMicros()); });
    const Bytes d = LiveDataAfter(line, 10);
    ASSERT_EQ(d.size(), size);
    const double value = row.decode(d);
    EXPECT_GE(value, row.low) << Hex(d);
    EXPECT_LE(value, row.high) << Hex(d);
}

TEST_P(Type0Rows, ReadPlausibleValuesOfAWarmIdlingEngine) {
    ExpectPlausible(0, 35, GetParam());
}

TEST_P(Type1Rows, ReadPlausibleValuesOfAWarmIdlingEngine) {
    ExpectPlausible(1, 34, GetParam());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Catalogue, Type0Rows, testing::Values(
    Row{"Coolant", [](const Bytes& d) { return X(d, 12) * 0.75 - 48; }, 80, 100},
    Row{"Rpm", [](const Bytes& d) { return X(d, 17) * 40; }, 760, 960},
    Row{"IdleRpm", [](const Bytes& d) { return X(d, 21) * 10; }, 780, 930},
    Row{"DesiredIdle", [](const Bytes& d) { return X(d, 24) * 10; }, 800, 900},
    Row{"PostCatO2", [](const Bytes& d) { return X(d, 27) * 4.43; }, 100, 900},
    Row{"Stepper", [](const Bytes& d) { return X(d, 20); }, 1, 80},
    Row{"MafVolts", [](const Bytes& d) { return X(d, 9) * 0.01953; }, 0.9, 1.6},
    Row{"Throttle", [](const Bytes& d) { return X(d, 15) * 0.3906; }, 0, 3},
    Row{"Purge", [](const Bytes& d) { return X(d, 31) * 0.3906; }, 5, 40},
    Row{"Speed", [](const Bytes& d) { return X(d, 16); }, 0, 0},
    Row{"Load", [](const Bytes& d) { return X(d, 10) * 0.05; }, 1, 3},
    Row{"Supply", [](const Bytes& d) { return X(d, 11) * 0.0943; }, 13.5, 14.6},
    Row{"Advance", [](const Bytes& d) { return 108 - X(d, 13) * 0.75; }, 5, 20},
    Row{"KnockRetard", [](const Bytes& d) { return X(d, 14) * 0.75; }, 0, 5},
    Row{"Injection", [](const Bytes& d) { return std::trunc((X(d, 18) * 256 + X(d, 19)) * 24 / 1000); }, 2, 4},
    Row{"DesiredAir", [](const Bytes& d) { return X(d, 25) * 0.25; }, 6, 14},
    Row{"Air", [](const Bytes& d) { return X(d, 26) * 0.25; }, 6, 14},
    Row{"IdleAirAdaptation", [](const Bytes& d) { return X(d, 23) - 128; }, -5, 5},
    Row{"LambdaCorrection", [](const Bytes& d) { return std::trunc(X(d, 28) / 128); }, 0, 1},
    Row{"IdleAirCorrection", [](const Bytes& d) { return X(d, 22) - 128; }, -5, 5},
    Row{"AdditiveLearnt", [](const Bytes& d) { return std::trunc(X(d, 29) / 64); }, 0, 1},
    Row{"MultiplicativeLearnt", [](const Bytes& d) { return std::trunc(X(d, 30) / 128); }, 1, 1},
    Row{"PowerEnrichment", [](const Bytes& d) { return Bit(d, 32, 0); }, 0, 0},
    Row{"IdleMode", [](const Bytes& d) { return Bit(d, 32, 1); }, 1, 1},
    Row{"FuelPump", [](const Bytes& d) { return Bit(d, 32, 2); }, 1, 1},
    Row{"Fan", [](const Bytes& d) { return Bit(d, 32, 7); }, 0, 1},
    Row{"AirCondition", [](const Bytes& d) { return Bit(d, 32, 5); }, 0, 0},
    Row{"Lamp", [](const Bytes& d) { return Bit(d, 33, 0); }, 1, 1},  // P0340 is present
    Row{"OxygenLoop", [](const Bytes& d) { return Bit(d, 34, 6); }, 1, 1}),
    testing_support::RowName);

INSTANTIATE_TEST_SUITE_P(Catalogue, Type1Rows, testing::Values(
    Row{"Coolant", [](const Bytes& d) { return X(d, 10) - 40; }, 80, 100},
    Row{"CoTrim", [](const Bytes& d) { return S(d, 11) / 256; }, 0, 0},
    Row{"Throttle", [](const Bytes& d) { return X(d, 12); }, 0, 3},
    Row{"Rpm", [](const Bytes& d) { return X(d, 13) * 40; }, 760, 960},
    Row{"IdleRpm", [](const Bytes& d) { return X(d, 14) * 10; }, 780, 930},
    Row{"DesiredStepper", [](const Bytes& d) { return X(d, 15); }, 10, 80},
    Row{"Stepper", [](const Bytes& d) { return X(d, 16); }, 10, 80},
    Row{"InjectionCorrection", [](const Bytes& d) { return std::trunc((X(d, 17) + 128) / 256); }, 0, 1},
    Row{"Advance", [](const Bytes& d) { return S(d, 18) * 0.5; }, 5, 20},
    Row{"Speed", [](const Bytes& d) { return X(d, 19); }, 0, 0},
    Row{"Supply", [](const Bytes& d) { return X(d, 20) * 0.05 + 5.2; }, 13.5, 14.6},
    Row{"DesiredIdle", [](const Bytes& d) { return X(d, 21) * 10; }, 800, 900},
    Row{"Injection", [](const Bytes& d) { return std::trunc(W(d, 22) / 125); }, 2, 4},
    Row{"AirFlow", [](const Bytes& d) { return std::trunc(W(d, 24) / 10); }, 6, 14},
    Row{"AirPerCycle", [](const Bytes& d) { return std::trunc(W(d, 26) / 6); }, 50, 150},
    Row{"FuelPerHour", [](const Bytes& d) { return std::trunc(W(d, 28) / 50); }, 0, 2},
    Row{"FuelPer100Km", [](const Bytes& d) { return std::trunc(W(d, 30) / 128); }, 0, 0},
    Row{"EngineStopped", [](const Bytes& d) { return Bit(d, 4, 0); }, 0, 0},
    Row{"IdleMode", [](const Bytes& d) { return Bit(d, 4, 1); }, 1, 1},
    Row{"PowerEnrichment", [](const Bytes& d) { return Bit(d, 4, 2); }, 0, 0},
    Row{"FuelCut", [](const Bytes& d) { return Bit(d, 4, 3); }, 0, 0},
    Row{"OxygenZone", [](const Bytes& d) { return Bit(d, 4, 4); }, 1, 1},
    Row{"KnockZone", [](const Bytes& d) { return Bit(d, 4, 5); }, 0, 0},
    Row{"Purge", [](const Bytes& d) { return Bit(d, 4, 6); }, 1, 1},
    Row{"Learning", [](const Bytes& d) { return Bit(d, 4, 7); }, 1, 1},
    Row{"IdleRemeasure", [](const Bytes& d) { return Bit(d, 5, 0); }, 0, 0},
    Row{"IdleBefore", [](const Bytes& d) { return Bit(d, 5, 1); }, 1, 1},
    Row{"IdleExitBlock", [](const Bytes& d) { return Bit(d, 5, 2); }, 0, 0},
    Row{"KnockZoneBefore", [](const Bytes& d) { return Bit(d, 5, 3); }, 0, 0},
    Row{"PurgeBefore", [](const Bytes& d) { return Bit(d, 5, 4); }, 1, 1},
    Row{"Knock", [](const Bytes& d) { return Bit(d, 5, 5); }, 0, 0},
    Row{"OxygenBefore", [](const Bytes& d) { return Bit(d, 5, 6); }, 0, 1},
    Row{"Oxygen", [](const Bytes& d) { return Bit(d, 5, 7); }, 0, 1},
    Row{"RomChecksum", [](const Bytes& d) { return W(d, 32); }, 1, 65535}),
    testing_support::RowName);
// clang-format on

// The station reads the engine state from byte 20 (type 0) or bit 0 of byte 4 (type 1).
TEST(EngineState, StoppedEngineReadsStoppedOnBothFamilies) {
    for (int type : {0, 1}) {
        Line line(Family(type));
        ASSERT_TRUE(line.OpenAndStart());
        EXPECT_TRUE(line.protocol.IsEngineRunning(line.port)) << "type " << type;
        line.backend.SetEngineRunning(false);
        const Bytes d = line.AskBytes({0x21, 0x01});
        ASSERT_FALSE(d.empty());
        EXPECT_FALSE(line.protocol.IsEngineRunning(line.port)) << "type " << type;
        const int stoppedByte = type == 0 ? d[20] : d[4] & 0x01;
        EXPECT_EQ(stoppedByte, type == 0 ? 0 : 1);
        EXPECT_EQ(d[type == 0 ? 17 : 13], 0) << "no engine speed";
        line.backend.SetEngineRunning(true);
        EXPECT_TRUE(line.protocol.IsEngineRunning(line.port)) << "type " << type;
    }
}

TEST(EngineState, StepperOfARunningType0EngineIsNeverZero) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    for (int i = 0; i < 200; ++i) {
        line.clock.Advance(250'000);
        const Bytes d = line.AskBytes({0x21, 0x01});
        ASSERT_FALSE(d.empty());
        ASSERT_NE(d[20], 0) << "poll " << i;
    }
}

TEST(EngineState, CoolantWarmsIdleSettlesAndOxygenSensorSwitches) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes cold = line.AskBytes({0x21, 0x01});
    ASSERT_FALSE(cold.empty());
    std::set<int> rpmBytes;
    std::set<int> oxygenStates;
    for (int i = 0; i < 40; ++i) {  // ten seconds of polling, every 250 ms
        line.clock.Advance(250'000);
        const Bytes d = line.AskBytes({0x21, 0x01});
        ASSERT_FALSE(d.empty());
        rpmBytes.insert(d[14]);
    }
    EXPECT_GT(rpmBytes.size(), 2u) << "the idle speed jitters";
    EXPECT_GT(X(cold, 21) * 10, 1000) << "a cold engine idles higher";
    EXPECT_EQ(Bit(cold, 4, 4), 0) << "no oxygen regulation when cold";
    line.clock.Advance(10 * 60'000'000LL);
    ASSERT_TRUE(line.Start()) << "the session ended meanwhile";
    for (int i = 0; i < 40; ++i) {
        line.clock.Advance(250'000);
        const Bytes d = line.AskBytes({0x21, 0x01});
        ASSERT_FALSE(d.empty());
        oxygenStates.insert(d[5] >> 7);
    }
    const Bytes warm = line.AskBytes({0x21, 0x01});
    EXPECT_GT(X(warm, 10) - 40, X(cold, 10) - 40 + 40) << "coolant warmed up";
    EXPECT_EQ(oxygenStates.size(), 2u) << "the oxygen sensor switches rich and lean";
}

TEST(Identification, Type0RecordHasItsFieldsAndBcdDate) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes d = line.AskBytes({0x1A, 0x80});
    ASSERT_EQ(d.size(), 61u);
    EXPECT_EQ(d[0], 0x5A);
    EXPECT_EQ(d[1], 0x80);
    // Each text field begins with a printable byte, not erased memory (0xFF) or zero.
    for (int first : {2, 19, 31, 41, 51}) {
        EXPECT_GE(d[first], 0x20) << "field at " << first;
        EXPECT_NE(d[first], 0xFF) << "field at " << first;
    }
    EXPECT_EQ(d[2], 0xD1) << "'С' in Windows-1251";
    EXPECT_EQ(Hex(Bytes(d.begin() + 57, d.begin() + 61)), "20 03 11 14");
}

TEST(Identification, Type1RecordNeedsTheLengthByte) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.ClearLog();
    const Bytes d = line.AskBytes({0x1A, 0x80});
    ASSERT_EQ(d.size(), 97u);
    const Bytes frame = line.EcuBytes();
    EXPECT_EQ(Hex(Bytes(frame.begin(), frame.begin() + 6)), "80 F1 10 61 5A 80");
    EXPECT_EQ(frame.size(), 4u + 97u + 1u);
    for (int first : {2, 21, 37, 47, 57, 72, 79, 89}) {
        EXPECT_GE(d[first], 0x20) << "field at " << first;
        EXPECT_NE(d[first], 0xFF) << "field at " << first;
    }
    EXPECT_EQ(d[2], 0xD3) << "'У' in Windows-1251";
    EXPECT_EQ(std::string(d.begin() + 79, d.begin() + 89), "21.04.2004");
}

TEST(Identification, ReplacedRecordIsAnsweredAsGiven) {
    Line line(Family(1));
    Bytes fields(95, ' ');
    fields[0] = 0xFF;  // erased memory in the first field
    line.backend.WithEcu([&](sim::Ecu& ecu) { ecu.SetIdentification(fields); });
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes d = line.AskBytes({0x1A, 0x80});
    ASSERT_EQ(d.size(), 97u);
    EXPECT_EQ(d[2], 0xFF);
}

struct EquipmentCase {
    const char* name;
    uint8_t byte2;
    uint8_t byte3;
};

class Equipment : public testing::TestWithParam<EquipmentCase> {};

TEST_P(Equipment, FlagsStandAtBytes2And3) {
    Line line(Family(1));
    line.backend.WithEcu(
        [&](sim::Ecu& ecu) { ecu.SetEquipment(GetParam().byte2, GetParam().byte3); });
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes d = line.AskBytes({0x21, 0x01});
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[2], GetParam().byte2);
    EXPECT_EQ(d[3], GetParam().byte3);
}

INSTANTIATE_TEST_SUITE_P(Type1, Equipment,
                         testing::Values(EquipmentCase{"None", 0x00, 0x00},
                                         EquipmentCase{"Mixed", 0x05, 0x30},
                                         EquipmentCase{"UnusedBits", 0xC0, 0xC0}),
                         testing_support::RowName);

TEST(Equipment, DefaultType1EquipmentHasTheOxygenSensor) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes d = line.AskBytes({0x21, 0x01});
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[2] & 0x01, 0x01);
    EXPECT_EQ(d[2] & 0xC0, 0) << "bits 0x40 and 0x80 are not used";
    EXPECT_EQ(d[3] & 0xC0, 0);
}

TEST(CoTrim, WriteChangesByte11OfLaterLiveData) {
    for (uint8_t trim : {0xF6, 0x7F, 0x80, 0x01}) {
        Line line(Family(1));
        ASSERT_TRUE(line.OpenAndStart());
        ASSERT_EQ(line.AskBytes({0x21, 0x01}).at(11), 0x00);
        ASSERT_EQ(Hex(line.AskBytes({0x30, 0x61, 0x08, trim})), Hex({0x70, 0x61, 0x08, trim}));
        ASSERT_EQ(Hex(line.AskBytes({0x30, 0x61, 0x00})), "70 61 00");
        EXPECT_EQ(line.AskBytes({0x21, 0x01}).at(11), trim);
        EXPECT_EQ(static_cast<uint8_t>(line.backend.CoTrim()), trim);
    }
}

TEST(CoTrim, Type0HasNoTrimWrite) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    line.backend.ClearLog();
    EXPECT_EQ(line.Ask({0x30, 0x61, 0x08, 0x01}).error, 1);
    line.clock.Advance(10'000);  // the exchange gave up at the SID; the rest follows
    EXPECT_EQ(Hex(line.EcuBytes()), "83 F1 11 7F 30 11 45");
}

TEST(FaultCodes, ListIsAnsweredAndClearingEmptiesIt) {
    for (int type : {0, 1}) {
        Line line(Family(type));
        line.backend.SetDtcs({{0x01, 0x30, 0x60}, {0x16, 0x22, 0x20}, {0x01, 0xA2, 0x9F}});
        ASSERT_TRUE(line.OpenAndStart());
        EXPECT_EQ(Hex(line.AskBytes({0x18, 0x00, 0xFF, 0x00})), "58 03 01 30 60 16 22 20 01 A2 9F");
        EXPECT_EQ(Hex(line.AskBytes({0x14, 0xFF, 0x00})), "54 FF 00");
        EXPECT_TRUE(line.backend.Dtcs().empty());
        EXPECT_EQ(Hex(line.AskBytes({0x18, 0x00, 0xFF, 0x00})), "58 00");
    }
}

TEST(FaultCodes, DefaultListHoldsTwoCodesKnownToBothFamilies) {
    Line line(Family(1));
    ASSERT_TRUE(line.OpenAndStart());
    EXPECT_EQ(Hex(line.AskBytes({0x18, 0x00, 0xFF, 0x00})), "58 02 03 40 60 05 05 20");
}

TEST(FaultCodes, EightyFourCodesFillTheLongestAnswer) {
    Line line(Family(0));
    line.backend.SetDtcs(std::vector<sim::Dtc>(90, sim::Dtc{0x01, 0x02, 0x20}));
    ASSERT_TRUE(line.OpenAndStart());
    const Bytes d = line.AskBytes({0x18, 0x00, 0xFF, 0x00});
    ASSERT_EQ(d.size(), 2u + 3u * 84u);
    EXPECT_EQ(d[1], 84);
}

TEST(Reset, AnswersAndEndsTheSession) {
    for (int type : {0, 1}) {
        Line line(Family(type));
        ASSERT_TRUE(line.OpenAndStart());
        EXPECT_TRUE(line.protocol.ResetController(line.port));
        EXPECT_FALSE(line.backend.SessionActive());
        EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1) << "a restarted ECU needs a new wake-up";
        EXPECT_TRUE(line.Start());
    }
}

TEST(StopCommunication, EndsTheSession) {
    Line line(Family(0));
    ASSERT_TRUE(line.OpenAndStart());
    EXPECT_TRUE(line.protocol.StopCommunication(line.port));
    EXPECT_FALSE(line.backend.SessionActive());
    EXPECT_EQ(line.Ask({0x21, 0x01}).error, 1);
}

}  // namespace
