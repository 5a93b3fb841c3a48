#include "diag/catalogue.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <string>
#include <utility>
#include <vector>

#include "link/ecu_protocol.h"
#include "platform/number_format.h"
#include "tests/support/recording_sink.h"

namespace {

using kline::EcuProtocol;
using kline::KwpMessage;
using platform::Icon;
using platform::Report;

// A live data answer: 0x61 0x01 followed by zeros, with the given bytes at their positions.
KwpMessage LiveData(const std::vector<std::pair<int, uint8_t>>& bytes) {
    KwpMessage record;
    record.data[0] = 0x61;
    record.data[1] = 0x01;
    record.length = 36;
    for (const auto& [position, value] : bytes) record.data[position] = value;
    return record;
}

// Characters of a UTF-8 text (the catalogue's limits count characters, not bytes).
size_t Characters(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++count;
    return count;
}

class CatalogueTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::SetDecimalSeparator('.'); }

    testing_support::RecordingSink sink;
    const EcuProtocol type0{0};
    const EcuProtocol type1{1};
    const EcuProtocol none{7};
};

struct DecodeCase {
    const char* label;
    int ecuType;
    int index;
    std::vector<std::pair<int, uint8_t>> bytes;
    const char* text;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.label;
}

class DecodeTest : public CatalogueTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, GivesTheValueText) {
    const DecodeCase& c = GetParam();
    const EcuProtocol protocol(c.ecuType);
    EXPECT_EQ(diag::ParamText(protocol, LiveData(c.bytes), c.index), c.text);
    EXPECT_TRUE(sink.Reports().empty());
}

const DecodeCase kDecodeCases[] = {
    // ECU type 0
    {"t0_coolant_min", 0, 0, {{12, 0x00}}, "-48"},
    {"t0_coolant_max", 0, 0, {{12, 0xFF}}, "143.25"},
    {"t0_oxygen_one_step", 0, 4, {{27, 0x01}}, "4.43"},
    {"t0_throttle_full", 0, 7, {{15, 0xFF}}, "99.603"},
    {"t0_idle_adaptation_zero_byte", 0, 17, {{23, 0x00}}, "-128"},
    {"t0_ignition_min_byte", 0, 12, {{13, 0x00}}, "108"},
    {"t0_ignition_max_byte", 0, 12, {{13, 0xFF}}, "-83.25"},
    {"t0_injection_high_byte_first", 0, 14, {{18, 0x01}, {19, 0x00}}, "6"},
    {"t0_injection_low_byte_second", 0, 14, {{18, 0x00}, {19, 0x01}}, "0"},
    {"t0_injection_max", 0, 14, {{18, 0xFF}, {19, 0xFF}}, "1572"},
    {"t0_row18_below_half", 0, 18, {{28, 0x7F}}, "0"},
    {"t0_row18_half", 0, 18, {{28, 0x80}}, "1"},
    {"t0_row18_max", 0, 18, {{28, 0xFF}}, "1"},
    {"t0_row21_below_half", 0, 21, {{30, 0x7F}}, "0"},
    {"t0_row21_max", 0, 21, {{30, 0xFF}}, "1"},
    {"t0_row20_below_64", 0, 20, {{29, 0x3F}}, "0"},
    {"t0_row20_64", 0, 20, {{29, 0x40}}, "1"},
    {"t0_row20_max", 0, 20, {{29, 0xFF}}, "3"},
    // ECU type 1
    {"t1_coolant_zero_byte", 1, 0, {{10, 0x00}}, "-40"},
    {"t1_co_plus_one", 1, 1, {{11, 0x01}}, "0.0039"},
    {"t1_co_minus_one", 1, 1, {{11, 0xFF}}, "-0.003"},
    {"t1_co_most_negative", 1, 1, {{11, 0x80}}, "-0.5"},
    {"t1_co_most_positive_cut_not_rounded", 1, 1, {{11, 0x7F}}, "0.4960"},
    {"t1_co_zero", 1, 1, {{11, 0x00}}, "0"},
    {"t1_row7_below_128", 1, 7, {{17, 0x7F}}, "0"},
    {"t1_row7_128", 1, 7, {{17, 0x80}}, "1"},
    {"t1_row7_max", 1, 7, {{17, 0xFF}}, "1"},
    {"t1_ignition_minus_one", 1, 8, {{18, 0xFF}}, "-0.5"},
    {"t1_ignition_most_negative", 1, 8, {{18, 0x80}}, "-64"},
    {"t1_ignition_most_positive", 1, 8, {{18, 0x7F}}, "63.5"},
    {"t1_battery_zero_byte", 1, 10, {{20, 0x00}}, "5.2"},
    {"t1_air_low_byte_first", 1, 13, {{24, 0x10}, {25, 0x27}}, "1000"},
    {"t1_rom_sum_max", 1, 33, {{32, 0xFF}, {33, 0xFF}}, "65535"},
    {"t1_rom_sum_low_byte_first", 1, 33, {{32, 0x01}, {33, 0x00}}, "1"},
};

INSTANTIATE_TEST_SUITE_P(Rows, DecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(CatalogueTest, RussianSeparatorGivesAComma) {
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(diag::ParamText(type0, LiveData({{12, 0xFF}}), 0), "143,25");
    EXPECT_EQ(diag::ParamText(type1, LiveData({{11, 0xFF}}), 1), "-0,003");
    EXPECT_EQ(diag::ParamText(type1, LiveData({{11, 0x01}}), 1), "0,0039");
    EXPECT_EQ(diag::ParamText(type0, LiveData({{12, 0x00}}), 0), "-48");  // whole: no separator
}

// Qt switches the C library to the user's locale on Linux; under Russian settings printf and
// strtod then use ',' and must not leak into the texts or the read-back.
TEST_F(CatalogueTest, TextsDoNotDependOnTheCLibraryLocale) {
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "no ru_RU.UTF-8 locale here";
    EXPECT_EQ(diag::ParamText(type0, LiveData({{12, 0xFF}}), 0), "143.25");
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(diag::ParamText(type0, LiveData({{12, 0xFF}}), 0), "143,25");
    EXPECT_EQ(diag::GraphValue("143,25"), 143);
    std::setlocale(LC_ALL, "C");
}

// Each family reads only its own span of the answer: bytes outside it change no value.
TEST_F(CatalogueTest, RowsReadOnlyTheirFamilysPositions) {
    struct Family {
        const EcuProtocol& protocol;
        int first;
        int last;
    };
    for (const Family& family : {Family{type0, 9, 34}, Family{type1, 4, 33}}) {
        KwpMessage noise = LiveData({});
        for (int position = 2; position < 255; ++position)
            if (position < family.first || position > family.last)
                noise.data[position] = 0xFF;
        const KwpMessage quiet = LiveData({});
        for (int i = 0; i < diag::ParamCount(family.protocol); ++i)
            EXPECT_EQ(diag::ParamText(family.protocol, noise, i),
                      diag::ParamText(family.protocol, quiet, i))
                << "row " << i << " of the family reading " << family.first << ".." << family.last;
    }
}

TEST_F(CatalogueTest, RowCounts) {
    EXPECT_EQ(diag::ParamCount(type0), 29);
    EXPECT_EQ(diag::ParamCount(type1), 34);
}

TEST_F(CatalogueTest, TextsOfType0LetterForLetter) {
    EXPECT_EQ(diag::ParamName(type0, 0), "Температура охлаждающей жидкости");
    EXPECT_EQ(diag::ParamShortName(type0, 0), "TMOT");
    EXPECT_EQ(diag::ParamUnit(type0, 0), "Гр. Ц");
    EXPECT_EQ(diag::ParamName(type0, 4), "Напряжене датчика кислорода после катализатора");
    EXPECT_EQ(diag::ParamUnit(type0, 4), "mB");                 // Latin letters
    EXPECT_EQ(diag::ParamUnit(type0, 10), "ms");                // Latin letters
    EXPECT_EQ(diag::ParamUnit(type0, 14), "\xD0\xBC\xD1\x81");  // "мс", Cyrillic
    EXPECT_EQ(diag::ParamUnit(type0, 6), "\xD0\x92");           // "В", Cyrillic
    EXPECT_EQ(diag::ParamShortName(type0, 13), "DZW_Z");
    EXPECT_EQ(diag::ParamShortName(type0, 1), "");
    EXPECT_EQ(diag::ParamUnit(type0, 18), "");
    EXPECT_EQ(diag::ParamName(type0, 19),
              "Текущая коррекция рассчитанного расхода воздуха на холостом ходу");
    EXPECT_EQ(diag::ParamName(type0, 28), "Работа в зоне регулировки по сигналу ДК");
    EXPECT_EQ(diag::ParamGraphMin(type0, 0), -48);
    EXPECT_EQ(diag::ParamGraphMax(type0, 0), 140);
    EXPECT_EQ(diag::ParamGraphMin(type0, 12), -80);
    EXPECT_EQ(diag::ParamGraphMax(type0, 14), 1500);
    EXPECT_EQ(diag::ParamGraphMin(type0, 20), -2);
}

TEST_F(CatalogueTest, TextsOfType1LetterForLetter) {
    EXPECT_EQ(diag::ParamName(type1, 1),
              "Коэффициент коррекции \xD0\xA1\xD0\x9E");  // Cyrillic "СО"
    EXPECT_EQ(diag::ParamShortName(type1, 1), "");
    EXPECT_EQ(diag::ParamUnit(type1, 8), "гр.КВ");
    EXPECT_EQ(diag::ParamUnit(type1, 12), "мсек");
    EXPECT_EQ(diag::ParamUnit(type1, 16), "л/100км");
    EXPECT_EQ(diag::ParamShortName(type1, 28), "LASTKNOCK");
    EXPECT_EQ(diag::ParamName(type1, 27), "разрешение блокировки выхода из режима холостого хода");
    EXPECT_EQ(diag::ParamName(type1, 33), "Контрольная сумма ПЗУ");
    EXPECT_EQ(diag::ParamShortName(type1, 33), "ROMSUM");
    EXPECT_EQ(diag::ParamGraphMin(type1, 10), 5);
    EXPECT_EQ(diag::ParamGraphMax(type1, 10), 19);
    EXPECT_EQ(diag::ParamGraphMax(type1, 33), 65535);
    EXPECT_EQ(diag::ParamGraphMin(type1, 1), -1);
}

TEST_F(CatalogueTest, EveryRowHasANameAndAnOrderedGraphRange) {
    for (const EcuProtocol* protocol : {&type0, &type1}) {
        for (int i = 0; i < diag::ParamCount(*protocol); ++i) {
            SCOPED_TRACE("ECU type " + std::to_string(protocol->EcuType()) + " row " +
                         std::to_string(i));
            EXPECT_FALSE(diag::ParamName(*protocol, i).empty());
            EXPECT_LE(Characters(diag::ParamName(*protocol, i)), 69u);
            EXPECT_LE(Characters(diag::ParamShortName(*protocol, i)), 9u);
            EXPECT_LE(Characters(diag::ParamUnit(*protocol, i)), 9u);
            EXPECT_LT(diag::ParamGraphMin(*protocol, i), diag::ParamGraphMax(*protocol, i));
        }
    }
    EXPECT_TRUE(sink.Reports().empty());
}

TEST_F(CatalogueTest, IndexOutsideTheRowsGetsTheFallbacks) {
    const KwpMessage record = LiveData({{12, 0xFF}, {32, 0xFF}});
    for (const EcuProtocol* protocol : {&type0, &type1}) {
        const int count = diag::ParamCount(*protocol);
        for (int index : {-1, count, count + 1, 255, INT_MIN, INT_MAX}) {
            SCOPED_TRACE("ECU type " + std::to_string(protocol->EcuType()) + " index " +
                         std::to_string(index));
            EXPECT_EQ(diag::ParamName(*protocol, index), "");
            EXPECT_EQ(diag::ParamShortName(*protocol, index), "");
            EXPECT_EQ(diag::ParamUnit(*protocol, index), "");
            EXPECT_EQ(diag::ParamGraphMin(*protocol, index), -1);
            EXPECT_EQ(diag::ParamGraphMax(*protocol, index), 1);
            EXPECT_EQ(diag::ParamText(*protocol, record, index), "");
        }
    }
    // rows 29 to 33 of type 1 never show through type 0
    for (int index = 29; index <= 33; ++index) EXPECT_EQ(diag::ParamName(type0, index), "");
    EXPECT_TRUE(sink.Reports().empty());
}

const Report kWarning{kline::kNoEcuType, platform::kAttention, Icon::Warning};
const Report kInformation{kline::kNoEcuType, platform::kAttention, Icon::Information};

TEST_F(CatalogueTest, InvalidTypeWarnsOncePerCallWithTheFallbacks) {
    EXPECT_EQ(diag::ParamCount(none), 0);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{kWarning});

    sink.Clear();
    EXPECT_EQ(diag::ParamName(none, 0), "");
    EXPECT_EQ(diag::ParamShortName(none, 0), "");
    EXPECT_EQ(diag::ParamUnit(none, 0), "");
    EXPECT_EQ(diag::ParamGraphMin(none, 0), 0);
    EXPECT_EQ(diag::ParamGraphMax(none, 0), 0);
    EXPECT_EQ(sink.Reports(), std::vector<Report>(5, kWarning));

    // the type is judged before the index
    sink.Clear();
    EXPECT_EQ(diag::ParamGraphMin(none, -1), 0);
    EXPECT_EQ(sink.Reports(), std::vector<Report>{kWarning});
}

TEST_F(CatalogueTest, InvalidTypeValueTextIsZeroAfterAnInformationMessage) {
    EXPECT_EQ(diag::ParamText(none, LiveData({{12, 0xFF}}), 0), "0");
    EXPECT_EQ(diag::ParamText(none, LiveData({}), 40), "0");
    EXPECT_EQ(sink.Reports(), std::vector<Report>(2, kInformation));
}

TEST_F(CatalogueTest, GraphValueOfFlagsAndNumbers) {
    EXPECT_EQ(diag::GraphValue("Да"), 1);
    EXPECT_EQ(diag::GraphValue("Нет"), 0);
    EXPECT_EQ(diag::GraphValue("143.25"), 143);
    EXPECT_EQ(diag::GraphValue("-83.25"), -83);  // toward zero
    EXPECT_EQ(diag::GraphValue("-0.003"), 0);
    EXPECT_EQ(diag::GraphValue("65535"), 65535);
}

TEST_F(CatalogueTest, GraphValueReadsTheUsersSeparator) {
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(diag::GraphValue("143,25"), 143);
    EXPECT_EQ(diag::GraphValue(diag::ParamText(type0, LiveData({{13, 0xFF}}), 12)), -83);
}

TEST_F(CatalogueTest, GraphValueOfNoNumberIsZero) {
    EXPECT_EQ(diag::GraphValue(""), 0);  // an index outside the rows
    EXPECT_EQ(diag::GraphValue("abc"), 0);
    EXPECT_EQ(diag::GraphValue("1e300"), INT_MAX);
    EXPECT_EQ(diag::GraphValue("-1e300"), INT_MIN);
}

}  // namespace
