#include "services/identification.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "tests/support/frames.h"
#include "tests/support/scripted_port.h"
#include "tests/support/station_fixture.h"

namespace {

using services::FieldBuffer;
using services::kPassportFieldCount;
using testing_support::Received;

std::string Field(int ecuType, const kline::KwpMessage& record, int fieldIndex) {
    const kline::EcuProtocol protocol(ecuType);
    FieldBuffer buffer;
    buffer.fill(0x55);  // must be cleared by the decoder
    services::PassportField(protocol, record, fieldIndex, buffer);
    return services::FieldText(buffer);
}

// A full record of the family: the SID 0x5A, the option 0x80 and the given field bytes.
kline::KwpMessage Record(const std::vector<uint8_t>& fieldBytes) {
    std::vector<uint8_t> data = {0x5A, 0x80};
    data.insert(data.end(), fieldBytes.begin(), fieldBytes.end());
    return Received(data);
}

// Field bytes laid one after the other from byte 2: a run of `count` times `letter` each.
struct FieldRun {
    int fieldIndex;
    char letter;
    int count;
};

std::vector<uint8_t> Runs(const std::vector<FieldRun>& runs) {
    std::vector<uint8_t> bytes;
    for (const FieldRun& run : runs) bytes.insert(bytes.end(), run.count, run.letter);
    return bytes;
}

// The fields in the order they lie in each family's record, with their sizes.
const std::vector<FieldRun> kType0Runs = {
    {0, 'a', 17}, {3, 'd', 12}, {2, 'c', 10}, {6, 'g', 10}, {5, 'f', 6}};
const std::vector<FieldRun> kType1Runs = {{0, 'a', 19}, {1, 'b', 16}, {2, 'c', 10}, {6, 'g', 10},
                                          {5, 'f', 15}, {7, 'h', 7},  {4, 'e', 10}, {3, 'd', 8}};

TEST(PassportField, Type0FieldsLieAtTheirBytes) {
    std::vector<uint8_t> bytes = Runs(kType0Runs);
    bytes.insert(bytes.end(), {0x20, 0x02, 0x05, 0x07});  // bytes 57..60, the date
    ASSERT_EQ(bytes.size(), 59u);
    const kline::KwpMessage record = Record(bytes);
    for (const FieldRun& run : kType0Runs)
        EXPECT_EQ(Field(0, record, run.fieldIndex), std::string(run.count, run.letter))
            << "field " << run.fieldIndex;
    EXPECT_EQ(Field(0, record, 4), "07/05/2002");
}

TEST(PassportField, Type1FieldsLieAtTheirBytes) {
    const std::vector<uint8_t> bytes = Runs(kType1Runs);
    ASSERT_EQ(bytes.size(), 95u);
    const kline::KwpMessage record = Record(bytes);
    for (const FieldRun& run : kType1Runs)
        EXPECT_EQ(Field(1, record, run.fieldIndex), std::string(run.count, run.letter))
            << "field " << run.fieldIndex;
}

class NeverFilledTest : public ::testing::TestWithParam<int> {};

// A record printable at every position: only the fields the family never fills stay empty.
TEST_P(NeverFilledTest, StayEmptyWhateverTheRecordHolds) {
    const std::set<int> neverFilled[] = {{1, 7, 8, 9, 10}, {8, 9, 10}};
    const std::set<int>& empty = neverFilled[GetParam()];
    const kline::KwpMessage record = Record(std::vector<uint8_t>(253, 'x'));
    for (int field = 0; field < kPassportFieldCount; ++field)
        EXPECT_EQ(Field(GetParam(), record, field).empty(), empty.count(field) == 1)
            << "field " << field;
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, NeverFilledTest, ::testing::Values(0, 1),
                         testing_support::FamilyName);

TEST(PassportField, ErasedFirstByteEmptiesTheField) {
    std::vector<uint8_t> bytes(95, 'x');
    bytes[0] = 0xFF;  // byte 2: Auto_type of both families
    const kline::KwpMessage record = Record(bytes);
    EXPECT_EQ(Field(0, record, 0), "");
    EXPECT_EQ(Field(1, record, 0), "");
}

TEST(PassportField, ErasedByteLaterInTheFieldIsAText) {
    std::vector<uint8_t> bytes(95, 'x');
    bytes[17] = 'y';
    bytes[18] = 0xFF;  // byte 20: the last of Auto_type in type 1, 0xFF is "я" in Windows-1251
    EXPECT_EQ(Field(1, Record(bytes), 0), std::string(17, 'x') + "yя");
}

TEST(PassportField, ZeroAtTheThirdPositionLeavesTwoCharacters) {
    std::vector<uint8_t> bytes(95, 'x');
    bytes[39 - 2] = 0;  // byte 39, the third of Ebu_code in type 1
    bytes[33 - 2] = 0;  // byte 33, the third of Ebu_code in type 0
    EXPECT_EQ(Field(1, Record(bytes), 2), "xx");
    EXPECT_EQ(Field(0, Record(bytes), 2), "xx");
}

TEST(PassportField, TrailingBlanksStay) {
    std::vector<uint8_t> bytes = Runs(kType1Runs);
    bytes[72 - 2] = 'K';  // Zap_code, bytes 72..78
    for (int i = 73; i <= 78; ++i) bytes[i - 2] = ' ';
    EXPECT_EQ(Field(1, Record(bytes), 7), "K      ");
}

TEST(PassportField, Windows1251TextDecodes) {
    std::vector<uint8_t> bytes(95, 0);
    const std::string model = "\xC2\xC0\xC7-2110 \xF1\xE5\xE4\xE0\xED";  // "ВАЗ-2110 седан"
    std::copy(model.begin(), model.end(), bytes.begin());
    EXPECT_EQ(Field(1, Record(bytes), 0), "ВАЗ-2110 седан");
    EXPECT_EQ(Field(0, Record(bytes), 0), "ВАЗ-2110 седан");
}

struct DateCase {
    uint8_t bytes[4];  // 57..60: year high, year low, month, day
    const char* text;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.text;
}

class BcdDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(BcdDateTest, ShowsDayMonthYear) {
    std::vector<uint8_t> bytes(59, 'x');
    std::copy(GetParam().bytes, GetParam().bytes + 4, bytes.begin() + 55);
    EXPECT_EQ(Field(0, Record(bytes), 4), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Dates, BcdDateTest,
                         ::testing::Values(DateCase{{0x20, 0x02, 0x05, 0x07}, "07/05/2002"},
                                           DateCase{{0x19, 0x99, 0x12, 0x31}, "31/12/1999"},
                                           DateCase{{0x00, 0x00, 0x00, 0x00}, "00/00/0000"},
                                           DateCase{{0xFF, 0xAB, 0x0C, 0xE1}, "E1/0C/FFAB"}));

// A short answer: its checksum byte right behind the data is not read as a character.
TEST(PassportField, ShortAnswerCutsTheFieldWithoutItsChecksum) {
    const kline::KwpMessage record = Received({0x5A, 0x80, 'V', 'A', 'Z'}, 'Q');
    EXPECT_EQ(Field(1, record, 0), "VAZ");
    EXPECT_EQ(Field(1, record, 1), "");
    EXPECT_EQ(Field(0, record, 4), "00/00/0000");
}

TEST(PassportField, IndexOutsideTheFieldsGivesAnEmptyBuffer) {
    const kline::KwpMessage record = Record(std::vector<uint8_t>(95, 'x'));
    EXPECT_EQ(Field(1, record, 11), "");
    EXPECT_EQ(Field(1, record, -1), "");
}

TEST(PassportField, FieldNeverFillsTheLastTwoBytes) {
    const kline::EcuProtocol protocol(1);
    FieldBuffer buffer;
    buffer.fill(0x55);
    services::PassportField(protocol, Record(std::vector<uint8_t>(95, 'x')), 0, buffer);
    EXPECT_EQ(buffer[18], 'x');
    EXPECT_EQ(buffer[19], 0);
    EXPECT_EQ(buffer[20], 0);
}

TEST(PassportField, InvalidEcuTypeReportsAndLeavesTheBuffer) {
    testing_support::RecordingSink sink;
    const kline::EcuProtocol protocol(5);
    FieldBuffer buffer;
    buffer.fill('z');
    services::PassportField(protocol, Record(std::vector<uint8_t>(95, 'x')), 0, buffer);
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_EQ(buffer[20], 'z');
    EXPECT_EQ(sink.Reports(),
              (std::vector<platform::Report>{testing_support::Warning("Блок не выбран!")}));
}

TEST(PassportRows, EveryFieldStandsOnceInTwoFrames) {
    std::set<int> fields;
    int upper = 0;
    for (const services::PassportRow& row : services::kPassportRows) {
        fields.insert(row.fieldIndex);
        if (row.frame == services::PassportFrame::Upper)
            ++upper;
    }
    EXPECT_EQ(fields.size(), 11u);
    EXPECT_EQ(*fields.begin(), 0);
    EXPECT_EQ(*fields.rbegin(), 10);
    EXPECT_EQ(upper, 8);
    EXPECT_STREQ(services::kPassportRows[1].control, "Soft_code");
    EXPECT_EQ(services::kPassportRows[1].fieldIndex, 3);
}

class ReadIdentificationTest : public ::testing::Test,
                               protected testing_support::PortOnScriptedLine {};

TEST_F(ReadIdentificationTest, Type0AsksAddress0x11) {
    Answers(0x11, {0x5A, 0x80, 'T', 'E', 'S', 'T'});
    const kline::KwpMessage record = services::ReadIdentification(kline::EcuProtocol(0), port);
    EXPECT_EQ(line.Written(), "82 11 F1 1A 80 1E");
    ASSERT_EQ(record.error, 0);
    EXPECT_EQ(record.length, 6);
    EXPECT_EQ(record.data[2], 'T');
}

TEST_F(ReadIdentificationTest, Type1AsksAddress0x10WithALongAnswer) {
    std::vector<uint8_t> data = {0x5A, 0x80};
    data.resize(97, 'x');
    Answers(0x10, data);
    const kline::KwpMessage record = services::ReadIdentification(kline::EcuProtocol(1), port);
    EXPECT_EQ(line.Written(), "82 10 F1 1A 80 1D");
    ASSERT_EQ(record.error, 0);
    EXPECT_EQ(record.length, 97);
    EXPECT_EQ(Field(1, record, 3), "xxxxxxxx");
}

TEST_F(ReadIdentificationTest, NegativeAnswerFails) {
    Answers(0x10, {0x7F, 0x1A, 0x12});
    EXPECT_EQ(services::ReadIdentification(kline::EcuProtocol(1), port).error, 1);
}

TEST_F(ReadIdentificationTest, InvalidEcuTypeSendsNothing) {
    const kline::KwpMessage record = services::ReadIdentification(kline::EcuProtocol(-3), port);
    EXPECT_EQ(record.error, 1);
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не выбран!"});
}

}  // namespace
