#include "services/equipment.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "tests/support/frames.h"
#include "tests/support/row_names.h"
#include "tests/support/scripted_port.h"

namespace {

using testing_support::Received;

// A type-1 live data record with the two flag bytes; the other bytes are set too, so that
// a read of a wrong position shows.
kline::KwpMessage LiveData(uint8_t byte2, uint8_t byte3) {
    std::vector<uint8_t> data(40, 0xFF);
    data[0] = 0x61;
    data[1] = 0x01;
    data[2] = byte2;
    data[3] = byte3;
    return Received(data);
}

// The names the list shows: every non-empty line without error, in entry order.
std::vector<std::string> Shown(const kline::EcuProtocol& protocol,
                               const kline::KwpMessage& record) {
    std::vector<std::string> names;
    for (int n = 1; n <= services::EquipmentCount(protocol); ++n) {
        const services::EquipmentText line = services::EquipmentLine(protocol, n, record);
        EXPECT_FALSE(line.error) << n;
        if (!line.text.empty())
            names.push_back(line.text);
    }
    return names;
}

struct FlagCase {
    const char* name;
    uint8_t byte2;
    uint8_t byte3;
    std::vector<std::string> shown;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << c.name;
}

class EquipmentFlagsTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(EquipmentFlagsTest, ShowTheNamesOfTheSetBits) {
    const kline::EcuProtocol protocol(1);
    EXPECT_EQ(Shown(protocol, LiveData(GetParam().byte2, GetParam().byte3)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, EquipmentFlagsTest,
    ::testing::Values(FlagCase{"None", 0x00, 0x00, {}},
                      FlagCase{"FourSet",
                               0x05,
                               0x30,
                               {"Датчик кислорода", "Клапан рециркуляции",
                                "Датчик скорости автомобиля", "Одновременный впрыск"}},
                      FlagCase{"UnusedBitsOnly", 0xC0, 0xC0, {}},
                      FlagCase{"SecondOfEach", 0x02, 0x02, {"Адсорбер", "Aдаптация нуля дросселя"}},
                      FlagCase{"AllOfByte2",
                               0x3F,
                               0x00,
                               {"Датчик кислорода", "Адсорбер", "Клапан рециркуляции",
                                "Датчик детонации", "Датчик температуры воздуха", "Датчик фазы"}},
                      FlagCase{
                          "AllOfByte3",
                          0xC0,
                          0xFF,
                          {"Потенциометр корректировки СО", "Aдаптация нуля дросселя",
                           "Асинхронная подача топлива при пуске", "Постоянное хранение ошибок",
                           "Датчик скорости автомобиля", "Одновременный впрыск"}}),
    testing_support::RowName);

TEST(EquipmentTable, TwelveEntriesForTheSecondFamilyOnly) {
    EXPECT_EQ(services::EquipmentTable(1).size(), 12u);
    EXPECT_TRUE(services::EquipmentTable(0).empty());
    EXPECT_EQ(services::EquipmentCount(kline::EcuProtocol(1)), 12);
    EXPECT_EQ(services::EquipmentCount(kline::EcuProtocol(0)), 0);
}

TEST(EquipmentTable, EntryEightBeginsWithALatinA) {
    const std::string name = services::EquipmentTable(1)[7].name;
    EXPECT_EQ(name[0], 'A');
    EXPECT_EQ(name.substr(1), std::string("Aдаптация нуля дросселя").substr(1));
}

// The checksum behind a short answer is not read as the second flag byte.
TEST(EquipmentLine, ShortAnswerReadsNoFlagsPastItsEnd) {
    const kline::KwpMessage record = Received({0x61, 0x01, 0x01}, 0x3F);
    EXPECT_EQ(Shown(kline::EcuProtocol(1), record), std::vector<std::string>{"Датчик кислорода"});
}

TEST(EquipmentLine, NumberOutsideTheTableIsEmpty) {
    const kline::EcuProtocol protocol(1);
    for (int n : {0, 13, -1}) {
        const services::EquipmentText line =
            services::EquipmentLine(protocol, n, LiveData(0xFF, 0xFF));
        EXPECT_EQ(line.text, "") << n;
        EXPECT_FALSE(line.error) << n;
    }
}

TEST(EquipmentLine, FirstFamilyGivesEmptyLines) {
    const services::EquipmentText line =
        services::EquipmentLine(kline::EcuProtocol(0), 1, LiveData(0xFF, 0xFF));
    EXPECT_EQ(line.text, "");
    EXPECT_FALSE(line.error);
}

TEST(EquipmentLine, InvalidEcuTypeReportsEachCall) {
    testing_support::RecordingSink sink;
    const kline::EcuProtocol protocol(3);
    EXPECT_EQ(services::EquipmentCount(protocol), 0);
    const services::EquipmentText line = services::EquipmentLine(protocol, 1, LiveData(0xFF, 0xFF));
    EXPECT_TRUE(line.error);
    EXPECT_EQ(line.text, "");
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Блок не выбран!", "Блок не выбран!"}));
}

class ReadEquipmentTest : public ::testing::Test, protected testing_support::PortOnScriptedLine {};

TEST_F(ReadEquipmentTest, Type1ReadsLiveDataOnce) {
    std::vector<uint8_t> data(30, 0);
    data[0] = 0x61;
    data[1] = 0x01;
    data[2] = 0x05;
    data[3] = 0x30;
    Answers(0x10, data);
    const kline::KwpMessage record = services::ReadEquipment(kline::EcuProtocol(1), port);
    EXPECT_EQ(line.Written(), "82 10 F1 21 01 A5");
    ASSERT_EQ(record.error, 0);
    EXPECT_EQ(Shown(kline::EcuProtocol(1), record).size(), 4u);
}

TEST_F(ReadEquipmentTest, SilentEcuFailsAfterOneRequest) {
    EXPECT_EQ(services::ReadEquipment(kline::EcuProtocol(1), port).error, 1);
    EXPECT_EQ(line.Written(), "82 10 F1 21 01 A5");
}

// The first family has no equipment flags: nothing is sent and the list is simply empty,
// with no failure to report against an ECU that answers.
TEST_F(ReadEquipmentTest, Type0SendsNothingAndDoesNotFail) {
    const kline::KwpMessage record = services::ReadEquipment(kline::EcuProtocol(0), port);
    EXPECT_EQ(record.error, 0);
    EXPECT_EQ(record.length, 0);
    EXPECT_TRUE(line.written.empty());
    EXPECT_TRUE(Shown(kline::EcuProtocol(0), record).empty());
    EXPECT_TRUE(sink.Texts().empty());
}

TEST_F(ReadEquipmentTest, InvalidEcuTypeSendsNothingAndFails) {
    EXPECT_EQ(services::ReadEquipment(kline::EcuProtocol(-1), port).error, 1);
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

}  // namespace
