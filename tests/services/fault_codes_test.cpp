#include "services/fault_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "tests/support/frames.h"
#include "tests/support/row_names.h"
#include "tests/support/scripted_port.h"

namespace {

using services::FaultRow;
using testing_support::Received;

constexpr const char* kUnknown = "Неизвестный код ошибки";

std::string Text(int ecuType, int code) {
    return services::FaultText(kline::EcuProtocol(ecuType), code);
}

// A fault-code answer: SID 0x58, the count, then the entries' bytes.
kline::KwpMessage Codes(uint8_t count, const std::vector<uint8_t>& entries) {
    std::vector<uint8_t> data = {0x58, count};
    data.insert(data.end(), entries.begin(), entries.end());
    return Received(data);
}

std::vector<FaultRow> Rows(int ecuType, const kline::KwpMessage& answer) {
    return services::FaultRows(kline::EcuProtocol(ecuType), answer);
}

void ExpectRow(const FaultRow& row, const FaultRow& expected) {
    EXPECT_EQ(row.code, expected.code);
    EXPECT_EQ(row.description, expected.description);
    EXPECT_EQ(row.current, expected.current);
    EXPECT_EQ(row.stored, expected.stored);
}

TEST(FaultTable, SizesOfBothFamilies) {
    EXPECT_EQ(services::FaultTable(0).size(), 73u);
    EXPECT_EQ(services::FaultTable(1).size(), 43u);
    EXPECT_TRUE(services::FaultTable(2).empty());
    EXPECT_TRUE(services::FaultTable(-1).empty());
}

TEST(FaultTable, EveryCodeOfTheSecondFamilyIsKnownToTheFirst) {
    for (const services::FaultDescription& entry : services::FaultTable(1))
        EXPECT_NE(Text(0, entry.code), kUnknown) << entry.code;
}

TEST(FaultTable, CodesAreUniqueAndValid) {
    for (int family = 0; family < 2; ++family) {
        std::vector<int> codes;
        for (const services::FaultDescription& entry : services::FaultTable(family)) {
            codes.push_back(entry.code);
            EXPECT_GT(entry.code, 0);
            EXPECT_LT(entry.code, 10000);
        }
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(std::adjacent_find(codes.begin(), codes.end()), codes.end()) << family;
    }
}

struct TextCase {
    int ecuType;
    int code;
    const char* text;
};

class FaultTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FaultTextTest, IsExact) {
    EXPECT_EQ(Text(GetParam().ecuType, GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, FaultTextTest,
    ::testing::Values(
        TextCase{0, 102, "Низкий уровень сигнала датчика массового расхода воздуха"},
        TextCase{0, 130, "Неверный сигнал датчика кислорода"},
        TextCase{0, 262, "Замыкание на источник питания цепи управления форсункой 1-го цилиндра"},
        TextCase{0, 444,
                 "Замыкание на источник питания или обрыв цепи управления клапаном продувки "
                 "адсорбера"},
        TextCase{0, 1570, "Неверный сигнал АПС"}, TextCase{0, 1600, "Нет связи с иммобилайзером"},
        TextCase{0, 1689, "Ошибочные значения кодов в памяти ошибок контроллера"},
        TextCase{1, 102, "Низкий уровень сигнала с датчика расхода воздуха"},
        TextCase{1, 201, "Цепь управления форсункой  №1, обрыв"},
        TextCase{1, 271, "Цепь управления форсункой  №4, замкнута на +12В"},
        TextCase{1, 601, "Нет связи с иммобилизатором"},
        TextCase{1, 1514,
                 "Цепь управления регулятором холостого хода, обрыв или замыкание на +12В"},
        TextCase{1, 1622, "Ошибка EEPROM"}, TextCase{1, 130, "Неизвестный код ошибки"},
        TextCase{0, 0, "Неизвестный код ошибки"}, TextCase{0, 9999, "Неизвестный код ошибки"},
        TextCase{1, -5, "Неизвестный код ошибки"}));

TEST(FaultText, InvalidEcuTypeReportsAndGivesNoText) {
    testing_support::RecordingSink sink;
    EXPECT_EQ(Text(7, 130), "");
    EXPECT_EQ(sink.Reports(),
              (std::vector<platform::Report>{testing_support::Warning("Блок не выбран!")}));
}

TEST(FaultCodeNumber, ReadsTheFourDigits) {
    EXPECT_EQ(services::FaultCodeNumber(0x01, 0x02), 102);
    EXPECT_EQ(services::FaultCodeNumber(0x16, 0x03), 1603);
    EXPECT_EQ(services::FaultCodeNumber(0x99, 0x99), 9999);
    EXPECT_EQ(services::FaultCodeNumber(0x00, 0x00), 0);
    EXPECT_FALSE(services::FaultCodeNumber(0x01, 0xA2));
    EXPECT_FALSE(services::FaultCodeNumber(0x0A, 0x00));
    EXPECT_FALSE(services::FaultCodeNumber(0x00, 0x0F));
}

struct RowCase {
    const char* name;
    int ecuType;
    uint8_t entry[3];  // code bytes and status
    FaultRow row;
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << c.name;
}

class FaultRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(FaultRowTest, Decodes) {
    const RowCase& c = GetParam();
    const std::vector<FaultRow> rows =
        Rows(c.ecuType, Codes(1, {c.entry[0], c.entry[1], c.entry[2]}));
    ASSERT_EQ(rows.size(), 1u);
    ExpectRow(rows[0], c.row);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FaultRowTest,
    ::testing::Values(
        RowCase{"OxygenSensorType0",
                0,
                {0x01, 0x30, 0x60},
                {"P0130", "Неверный сигнал датчика кислорода", "Да", "Да"}},
        RowCase{"OxygenSensorType1", 1, {0x01, 0x30, 0x60}, {"P0130", kUnknown, "Да", "Да"}},
        RowCase{"CurrentOnly",
                0,
                {0x05, 0x05, 0x40},
                {"P0505", "Ошибка регулятора холостого хода", "Да", "Нет"}},
        RowCase{"StoredOnly",
                1,
                {0x05, 0x05, 0x20},
                {"P0505", "Ошибка регулятора холостого хода", "Нет", "Да"}},
        RowCase{
            "OtherBitsOnly", 0, {0x03, 0x40, 0x9F}, {"P0340", "Ошибка датчика фазы", "Нет", "Нет"}},
        RowCase{"Eeprom1603Type0", 0, {0x16, 0x03, 0x00}, {"P1603", "Ошибка EEPROM", "Нет", "Нет"}},
        RowCase{"Eeprom1603Type1", 1, {0x16, 0x03, 0x00}, {"P1603", kUnknown, "Нет", "Нет"}},
        RowCase{"Eeprom1622Type0", 0, {0x16, 0x22, 0x00}, {"P1622", "Ошибка EEPROM", "Нет", "Нет"}},
        RowCase{"Eeprom1622Type1", 1, {0x16, 0x22, 0x00}, {"P1622", "Ошибка EEPROM", "Нет", "Нет"}},
        // Read as decimal digits, 0x01 0xA2 would alias P0202 (an injector fault).
        RowCase{"HexDigitType0", 0, {0x01, 0xA2, 0x60}, {"P01A2", kUnknown, "Да", "Да"}},
        RowCase{"HexDigitType1", 1, {0x01, 0xA2, 0x60}, {"P01A2", kUnknown, "Да", "Да"}},
        RowCase{"UpperCaseHex", 0, {0xAB, 0xCD, 0xFF}, {"PABCD", kUnknown, "Да", "Да"}},
        RowCase{"TwoBlanksType1",
                1,
                {0x02, 0x61, 0x20},
                {"P0261", "Цепь управления форсункой  №1, замкнута на землю", "Нет", "Да"}}),
    testing_support::RowName);

TEST(FaultRows, NoCodesGiveNoRowsAndOneEmptyGridRow) {
    EXPECT_TRUE(Rows(0, Codes(0, {})).empty());
    EXPECT_EQ(services::FaultGridRowCount(0), 2);
    EXPECT_EQ(services::FaultGridRowCount(1), 2);
    EXPECT_EQ(services::FaultGridRowCount(3), 4);
}

TEST(FaultRows, ListInTheAnswersOrder) {
    const std::vector<FaultRow> rows =
        Rows(1, Codes(3, {0x01, 0x02, 0x40, 0x06, 0x01, 0x20, 0x15, 0x02, 0x60}));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].code, "P0102");
    EXPECT_EQ(rows[1].description, "Нет связи с иммобилизатором");
    EXPECT_EQ(rows[2].description, "Цепь управления реле бензонасоса, замыкание на +12В");
}

// The count says more than the ECU sent: the missing entries read as zeros, and the
// checksum byte behind the data is no part of them.
TEST(FaultRows, EntriesPastTheAnswerReadAsZeros) {
    const kline::KwpMessage answer = Codes(3, {0x01, 0x30, 0x60});
    ASSERT_NE(answer.data[answer.length], 0);  // the checksum, as the exchange leaves it
    const std::vector<FaultRow> rows = Rows(0, answer);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].code, "P0130");
    for (int i = 1; i < 3; ++i) ExpectRow(rows[i], {"P0000", kUnknown, "Нет", "Нет"});
}

TEST(FaultRows, CountAboveTheRecordListsAtMost84) {
    std::vector<uint8_t> entries;
    for (int i = 0; i < 84; ++i) entries.insert(entries.end(), {0x01, 0x30, 0x40});
    entries.push_back(0x99);  // byte 254, beyond the last whole entry
    ASSERT_EQ(entries.size(), 253u);
    const kline::KwpMessage answer = Codes(200, entries);
    ASSERT_EQ(answer.length, 255);
    const std::vector<FaultRow> rows = Rows(0, answer);
    ASSERT_EQ(rows.size(), 84u);
    ExpectRow(rows.back(), {"P0130", "Неверный сигнал датчика кислорода", "Да", "Нет"});
}

TEST(FaultRows, InvalidEcuTypeReportsOnceAndGivesNoRows) {
    testing_support::RecordingSink sink;
    EXPECT_TRUE(Rows(2, Codes(2, {0x01, 0x30, 0x60, 0x01, 0x02, 0x20})).empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

TEST(FaultColumns, HeadersAndWidths) {
    const char* headers[] = {"Код ошибки", "Описание ошибки", "Текущая", "Сохраненная"};
    const int widths[] = {77, 385, 82, 86};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(services::kFaultColumns[i].header, headers[i]);
        EXPECT_EQ(services::kFaultColumns[i].width, widths[i]);
    }
}

class ReadFaultCodesTest : public ::testing::Test, protected testing_support::PortOnScriptedLine {};

TEST_F(ReadFaultCodesTest, Type0RequestsAllCodes) {
    Answers(0x11, {0x58, 0x01, 0x01, 0x30, 0x60});
    const kline::KwpMessage answer = services::ReadFaultCodes(kline::EcuProtocol(0), port);
    EXPECT_EQ(line.Written(), "84 11 F1 18 00 FF 00 9D");
    ASSERT_EQ(answer.error, 0);
    ASSERT_EQ(Rows(0, answer).size(), 1u);
    EXPECT_EQ(Rows(0, answer)[0].code, "P0130");
}

TEST_F(ReadFaultCodesTest, Type1RequestsAllCodes) {
    Answers(0x10, {0x58, 0x00});
    const kline::KwpMessage answer = services::ReadFaultCodes(kline::EcuProtocol(1), port);
    EXPECT_EQ(line.Written(), "84 10 F1 18 00 FF 00 9C");
    EXPECT_EQ(answer.error, 0);
    EXPECT_TRUE(Rows(1, answer).empty());
}

TEST_F(ReadFaultCodesTest, SilentEcuFails) {
    EXPECT_EQ(services::ReadFaultCodes(kline::EcuProtocol(1), port).error, 1);
}

TEST_F(ReadFaultCodesTest, InvalidEcuTypeSendsNothing) {
    EXPECT_EQ(services::ReadFaultCodes(kline::EcuProtocol(9), port).error, 1);
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

}  // namespace
