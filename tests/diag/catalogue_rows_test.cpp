// Both parameter catalogues row by row against the rows as the station's users know them:
// name, short name, unit, graph limits, and the value text of one fixed live data answer,
// worked out by hand from each row's decoding rule. A changed letter, limit, offset or
// coefficient in any row fails its own row here.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "diag/catalogue.h"
#include "link/ecu_protocol.h"
#include "platform/number_format.h"
#include "tests/support/recording_sink.h"

namespace {

struct Row {
    int index;
    const char* name;
    const char* shortName;
    const char* unit;
    int graphMin;
    int graphMax;
    const char* value;  // the value text of FixedAnswer()
};

// The answer every row is decoded from: 0x61 0x01, then position i holds (41 i + 7) mod 256,
// so that neighbouring positions differ and no position reads 0.
kline::KwpMessage FixedAnswer() {
    kline::KwpMessage record;
    record.length = 36;
    for (int i = 0; i < record.length; ++i) record.data[i] = static_cast<uint8_t>(i * 41 + 7);
    record.data[0] = 0x61;
    record.data[1] = 0x01;
    return record;
}

// clang-format off
const Row kType0[] = {
    {0, "Температура охлаждающей жидкости", "TMOT", "Гр. Ц", -48, 140, "134.25"},
    {1, "Частота вращения коленвала", "", "Об/мин", 0, 6000, "7680"},
    {2, "Частота вращения коленвала на холостом ходу", "", "Об/мин", 0, 2550, "1000"},
    {3, "Желаемая частота вращения коленвала на холостом ходу", "NSOL", "Об/мин", 0, 2550, "2230"},
    {4, "Напряжене датчика кислорода после катализатора", "USVK", "mB", 0, 1130, "398.7"},
    {5, "Количество шагов регулятора холостого хода", "MOMPOS", "Шаг", 0, 255, "59"},
    {6, "Напряжение датчика массового расхода воздуха", "MAF", "В", 0, 5, "2.3436"},
    {7, "Положение дроссельной заслонки", "DKPOT", "%", 0, 100, "42.966"},
    {8, "Степень продувки адсорбера", "TATE", "%", 0, 100, "99.2124"},
    {9, "Скорость автомобиля", "VFZ", "Км/час", 0, 180, "151"},
    {10, "Переменная нагрузки", "TL", "ms", 0, 13, "8.05"},
    {11, "Напряжение бортовой сети", "UB", "В", 0, 18, "19.0486"},
    {12, "Угол опережения зажигания", "ZWOUT", "Гр. КВ", -80, 100, "87"},
    {13, "Величина отброса УОЗ при детонации", "DZW_Z", "Гр. КВ", 0, 190, "51.75"},
    {14, "Длительность импульса впрыска", "TE1", "мс", 0, 1500, "1431"},
    {15, "Желаемый расход воздуха на холостом ходу", "QSOL", "Кг/час", 0, 65, "2"},
    {16, "Расход воздуха", "ML", "Кг/час", 0, 65, "12.25"},
    {17, "Переменная адаптация расхода воздуха на холостом ходу", "", "Кг/час", -20, 20, "54"},
    {18, "Коррекция времени впрыска топлива по сигналу ДК", "", "", 0, 2, "1"},
    {19, "Текущая коррекция рассчитанного расхода воздуха на холостом ходу", "", "Кг/час", -20, 20, "13"},
    {20, "Аддитивная составляющая коррекции самообучением", "", "ms", -2, 2, "2"},
    {21, "Мультипликативная составляющая коррекции самообучением", "", "", 0, 2, "1"},
    {22, "Режим мощностного обогащения", "", "", 0, 1, "Да"},
    {23, "Режим холостого хода", "B_LL", "", 0, 1, "Да"},
    {24, "Топливный насос включен", "B_EKP", "", 0, 1, "Да"},
    {25, "Вентилятор радиатора включен", "B_LF", "", 0, 1, "Нет"},
    {26, "Кондиционер включен", "S_AC", "", 0, 1, "Да"},
    {27, "Контрольная лампа включена", "S_MILR", "", 0, 1, "Нет"},
    {28, "Работа в зоне регулировки по сигналу ДК", "", "", 0, 1, "Да"},
};

const Row kType1[] = {
    {0, "Температура охлаждающей жидкости", "TWAT", "Гр. Ц", -40, 160, "121"},
    {1, "Коэффициент коррекции СО", "", "", -1, 1, "-0.210"},
    {2, "Положение дроссельной заслонки", "THR", "%", 0, 100, "243"},
    {3, "Скорость вращения двигателя", "FREQ", "об/мин", 0, 10000, "1120"},
    {4, "Скорость вращения двигателя на холостом ходу", "FREQX", "об/мин", 0, 2550, "690"},
    {5, "Желаемое положение регулятора холостого хода", "SSM", "шагов", 0, 255, "110"},
    {6, "Текущее положение регулятора холостого хода", "FSM", "шагов", 0, 255, "151"},
    {7, "Коэффициент коррекции времени впрыска", "COINJ", "", 0, 2, "1"},
    {8, "Угол опережения зажигания", "UOZ", "гр.КВ", -20, 60, "-11.5"},
    {9, "Скорость автомобиля", "JSPEED", "км/час", 0, 255, "18"},
    {10, "Напряжение бортсети", "UACC", "В", 5, 19, "8.15"},
    {11, "Желаемые обороты холостого хода", "JUFRXX", "об/мин", 0, 2550, "1000"},
    {12, "Длительность импульса впрыска", "INJ", "мсек", 0, 50, "373"},
    {13, "Массовый расход воздуха", "JAIR", "кг/час", 0, 1200, "227"},
    {14, "Цикловой расход воздуха", "JGBC", "мг/такт", 0, 800, "3848"},
    {15, "Часовой расход топлива", "JQT", "л/час", 0, 150, "883"},
    {16, "Путевой расход топлива", "FUELPK", "л/100км", 0, 150, "509"},
    {17, "признак выключения двигателя", "BITSTP", "", 0, 1, "Да"},
    {18, "признак холостого хода", "RXX", "", 0, 1, "Да"},
    {19, "признак обогащения по мощности", "BITPOW", "", 0, 1, "Нет"},
    {20, "признак блокировки подачи топлива", "BLKINJ", "", 0, 1, "Да"},
    {21, "признак зоны регулирования по датчику кислорода", "WRKLAM", "", 0, 1, "Нет"},
    {22, "признак попадания в зону детонации", "RDET", "", 0, 1, "Да"},
    {23, "признак продувки адсорбера", "BADSPU", "", 0, 1, "Нет"},
    {24, "признак сохранения результатов обучения по датчику кислорода", "LEARN", "", 0, 1, "Да"},
    {25, "признак повторного замера параметров холостого хода", "CHIAC", "", 0, 1, "Нет"},
    {26, "признак наличия холостого хода в прошлом цикле вычислений", "LASTIAC", "", 0, 1, "Нет"},
    {27, "разрешение блокировки выхода из режима холостого хода", "RBLNOT", "", 0, 1, "Да"},
    {28, "признак попадания в зону детонации в прошлом цикле вычислений", "LASTKNOCK", "", 0, 1, "Нет"},
    {29, "признак наличия продувки адсорбера в прошлом цикле вычислений", "LASTADS", "", 0, 1, "Да"},
    {30, "признак обнаружения детонации", "KNOCK", "", 0, 1, "Нет"},
    {31, "признак прошлого состояния датчика кислорода", "LASTLAM", "", 0, 1, "Да"},
    {32, "признак текущего состояния датчика кислорода", "CURLAM", "", 0, 1, "Да"},
    {33, "Контрольная сумма ПЗУ", "ROMSUM", "", 0, 65535, "20519"},
};
// clang-format on

struct Catalogue {
    const char* label;
    int ecuType;
    std::span<const Row> rows;
};

void PrintTo(const Catalogue& c, std::ostream* os) {
    *os << c.label;
}

class CatalogueRows : public ::testing::TestWithParam<Catalogue> {
  protected:
    void SetUp() override { platform::SetDecimalSeparator('.'); }
    testing_support::RecordingSink sink;
};

TEST_P(CatalogueRows, EveryRowLetterForLetterWithItsDecodedValue) {
    const kline::EcuProtocol protocol(GetParam().ecuType);
    const kline::KwpMessage answer = FixedAnswer();
    ASSERT_EQ(diag::ParamCount(protocol), static_cast<int>(GetParam().rows.size()));
    for (const Row& row : GetParam().rows) {
        SCOPED_TRACE(testing::Message() << "row " << row.index);
        EXPECT_EQ(diag::ParamName(protocol, row.index), row.name);
        EXPECT_EQ(diag::ParamShortName(protocol, row.index), row.shortName);
        EXPECT_EQ(diag::ParamUnit(protocol, row.index), row.unit);
        EXPECT_EQ(diag::ParamGraphMin(protocol, row.index), row.graphMin);
        EXPECT_EQ(diag::ParamGraphMax(protocol, row.index), row.graphMax);
        EXPECT_EQ(diag::ParamText(protocol, answer, row.index), row.value);
    }
    EXPECT_TRUE(sink.Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, CatalogueRows,
                         ::testing::Values(Catalogue{"Type0", 0, kType0},
                                           Catalogue{"Type1", 1, kType1}),
                         [](const auto& info) { return std::string(info.param.label); });

// The flag rows of one byte, from `firstIndex` on, with the bit each of them reads.
struct FlagByte {
    const char* label;
    int ecuType;
    int firstIndex;
    int byte;
    std::vector<int> bits;
};

void PrintTo(const FlagByte& f, std::ostream* os) {
    *os << f.label;
}

const FlagByte kFlagBytes[] = {
    {"Type0_Byte32", 0, 22, 32, {0, 1, 2, 7, 5}},
    {"Type0_Byte33", 0, 27, 33, {0}},
    {"Type0_Byte34", 0, 28, 34, {6}},
    {"Type1_Byte4", 1, 17, 4, {0, 1, 2, 3, 4, 5, 6, 7}},
    {"Type1_Byte5", 1, 25, 5, {0, 1, 2, 3, 4, 5, 6, 7}},
};

// A live data answer with `value` at `byte` and `beside` in the bytes either side of it.
kline::KwpMessage FlagAnswer(int byte, uint8_t value, uint8_t beside) {
    kline::KwpMessage record;
    record.length = 36;
    record.data[0] = 0x61;
    record.data[1] = 0x01;
    record.data[byte - 1] = record.data[byte + 1] = beside;
    record.data[byte] = value;
    return record;
}

class FlagRows : public ::testing::TestWithParam<FlagByte> {};

// "Да" when only the row's bit is set; "Нет" when every other bit of its byte and of the bytes
// beside it is set: a row reading another bit or another byte fails one of the two.
TEST_P(FlagRows, EachReadsItsOwnBitOfItsOwnByte) {
    const FlagByte& f = GetParam();
    const kline::EcuProtocol protocol(f.ecuType);
    for (size_t i = 0; i < f.bits.size(); ++i) {
        const int index = f.firstIndex + static_cast<int>(i);
        const auto bit = static_cast<uint8_t>(1u << f.bits[i]);
        const auto otherBits = static_cast<uint8_t>(~bit);
        SCOPED_TRACE(testing::Message() << "row " << index << ", bit " << f.bits[i]);
        EXPECT_EQ(diag::ParamText(protocol, FlagAnswer(f.byte, bit, 0x00), index), "Да");
        EXPECT_EQ(diag::ParamText(protocol, FlagAnswer(f.byte, otherBits, 0xFF), index), "Нет");
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogues, FlagRows, ::testing::ValuesIn(kFlagBytes),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
