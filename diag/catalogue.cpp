#include "diag/catalogue.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "platform/number_format.h"
#include "settings/ecu_types.h"

namespace diag {

namespace {

// How a row's value is made from the live data record. x is the byte at the row's offset
// (unsigned), y the byte after it, s the byte at the offset read as signed. Real results are
// computed in double exactly as the formula reads; "div" results are whole numbers.
enum class Rule {
    Linear,          // x × scale + offset
    SignedScaled,    // s × scale
    SignedFraction,  // s ÷ divisor, the text cut to its first `cut` characters
    ByteDiv,         // (x + bias) div divisor
    WordHighFirst,   // (x × 256 + y) × factor div divisor: ECU type 0 sends x as the high byte
    WordLowFirst,    // w div divisor with w = y × 256 + x: ECU type 1 sends the low byte first
    Flag,            // "Да" when bit `bit` of x is set, otherwise "Нет"
};

struct Decoding {
    Rule rule = Rule::Linear;
    double scale = 1;
    double offset = 0;
    int bias = 0;
    int factor = 1;
    int divisor = 1;
    int bit = 0;
    size_t cut = std::string::npos;
};

// x × scale + offset. A rule written "c − x × k" is Linear(−k, c): negating a product and
// adding are exact in IEEE arithmetic, so the double is the same as the written one.
constexpr Decoding Linear(double scale, double offset = 0) {
    return {.rule = Rule::Linear, .scale = scale, .offset = offset};
}
constexpr Decoding Raw() {
    return Linear(1);
}  // x as it is
constexpr Decoding SignedScaled(double scale) {
    return {.rule = Rule::SignedScaled, .scale = scale};
}
constexpr Decoding SignedFraction(int divisor, size_t cut) {
    return {.rule = Rule::SignedFraction, .divisor = divisor, .cut = cut};
}
constexpr Decoding ByteDiv(int divisor, int bias = 0) {
    return {.rule = Rule::ByteDiv, .bias = bias, .divisor = divisor};
}
constexpr Decoding WordHighFirst(int factor, int divisor) {
    return {.rule = Rule::WordHighFirst, .factor = factor, .divisor = divisor};
}
constexpr Decoding WordLowFirst(int divisor = 1) {
    return {.rule = Rule::WordLowFirst, .divisor = divisor};
}
constexpr Decoding Bit(int n) {
    return {.rule = Rule::Flag, .bit = n};
}

struct Param {
    const char* name;
    const char* shortName;  // the ECU's own variable name
    const char* unit;
    int graphMin;
    int graphMax;
    uint8_t offset;  // position in the live data record, 0 being the service id 0x61
    Decoding decoding;
};

// "TAVRO - KX4.2": reads positions 9 to 34 of the answer.
constexpr std::array<Param, 29> kType0{{
    {"Температура охлаждающей жидкости", "TMOT", "Гр. Ц", -48, 140, 12, Linear(0.75, -48)},
    {"Частота вращения коленвала", "", "Об/мин", 0, 6000, 17, Linear(40)},
    {"Частота вращения коленвала на холостом ходу", "", "Об/мин", 0, 2550, 21, Linear(10)},
    {"Желаемая частота вращения коленвала на холостом ходу", "NSOL", "Об/мин", 0, 2550, 24,
     Linear(10)},
    {"Напряжене датчика кислорода после катализатора", "USVK", "mB", 0, 1130, 27, Linear(4.43)},
    {"Количество шагов регулятора холостого хода", "MOMPOS", "Шаг", 0, 255, 20, Raw()},
    {"Напряжение датчика массового расхода воздуха", "MAF", "В", 0, 5, 9, Linear(0.01953)},
    {"Положение дроссельной заслонки", "DKPOT", "%", 0, 100, 15, Linear(0.3906)},
    {"Степень продувки адсорбера", "TATE", "%", 0, 100, 31, Linear(0.3906)},
    {"Скорость автомобиля", "VFZ", "Км/час", 0, 180, 16, Raw()},
    {"Переменная нагрузки", "TL", "ms", 0, 13, 10, Linear(0.05)},
    {"Напряжение бортовой сети", "UB", "В", 0, 18, 11, Linear(0.0943)},
    {"Угол опережения зажигания", "ZWOUT", "Гр. КВ", -80, 100, 13, Linear(-0.75, 108)},
    {"Величина отброса УОЗ при детонации", "DZW_Z", "Гр. КВ", 0, 190, 14, Linear(0.75)},
    {"Длительность импульса впрыска", "TE1", "мс", 0, 1500, 18, WordHighFirst(24, 1000)},
    {"Желаемый расход воздуха на холостом ходу", "QSOL", "Кг/час", 0, 65, 25, Linear(0.25)},
    {"Расход воздуха", "ML", "Кг/час", 0, 65, 26, Linear(0.25)},
    {"Переменная адаптация расхода воздуха на холостом ходу", "", "Кг/час", -20, 20, 23,
     Linear(1, -128)},
    {"Коррекция времени впрыска топлива по сигналу ДК", "", "", 0, 2, 28, ByteDiv(128)},
    {"Текущая коррекция рассчитанного расхода воздуха на холостом ходу", "", "Кг/час", -20, 20, 22,
     Linear(1, -128)},
    {"Аддитивная составляющая коррекции самообучением", "", "ms", -2, 2, 29, ByteDiv(64)},
    {"Мультипликативная составляющая коррекции самообучением", "", "", 0, 2, 30, ByteDiv(128)},
    {"Режим мощностного обогащения", "", "", 0, 1, 32, Bit(0)},
    {"Режим холостого хода", "B_LL", "", 0, 1, 32, Bit(1)},
    {"Топливный насос включен", "B_EKP", "", 0, 1, 32, Bit(2)},
    {"Вентилятор радиатора включен", "B_LF", "", 0, 1, 32, Bit(7)},
    {"Кондиционер включен", "S_AC", "", 0, 1, 32, Bit(5)},
    {"Контрольная лампа включена", "S_MILR", "", 0, 1, 33, Bit(0)},
    {"Работа в зоне регулировки по сигналу ДК", "", "", 0, 1, 34, Bit(6)},
}};

// "КАРНЕЛ  -   5.1": reads positions 4 to 33 of the answer.
constexpr std::array<Param, 34> kType1{{
    {"Температура охлаждающей жидкости", "TWAT", "Гр. Ц", -40, 160, 10, Linear(1, -40)},
    // The CO trim coefficient lies in -0.5 .. 0.5; six characters keep three or four decimals.
    {"Коэффициент коррекции СО", "", "", -1, 1, 11, SignedFraction(256, 6)},
    {"Положение дроссельной заслонки", "THR", "%", 0, 100, 12, Raw()},
    {"Скорость вращения двигателя", "FREQ", "об/мин", 0, 10000, 13, Linear(40)},
    {"Скорость вращения двигателя на холостом ходу", "FREQX", "об/мин", 0, 2550, 14, Linear(10)},
    {"Желаемое положение регулятора холостого хода", "SSM", "шагов", 0, 255, 15, Raw()},
    {"Текущее положение регулятора холостого хода", "FSM", "шагов", 0, 255, 16, Raw()},
    {"Коэффициент коррекции времени впрыска", "COINJ", "", 0, 2, 17, ByteDiv(256, 128)},
    {"Угол опережения зажигания", "UOZ", "гр.КВ", -20, 60, 18, SignedScaled(0.5)},
    {"Скорость автомобиля", "JSPEED", "км/час", 0, 255, 19, Raw()},
    {"Напряжение бортсети", "UACC", "В", 5, 19, 20, Linear(0.05, 5.2)},
    {"Желаемые обороты холостого хода", "JUFRXX", "об/мин", 0, 2550, 21, Linear(10)},
    {"Длительность импульса впрыска", "INJ", "мсек", 0, 50, 22, WordLowFirst(125)},
    {"Массовый расход воздуха", "JAIR", "кг/час", 0, 1200, 24, WordLowFirst(10)},
    {"Цикловой расход воздуха", "JGBC", "мг/такт", 0, 800, 26, WordLowFirst(6)},
    {"Часовой расход топлива", "JQT", "л/час", 0, 150, 28, WordLowFirst(50)},
    {"Путевой расход топлива", "FUELPK", "л/100км", 0, 150, 30, WordLowFirst(128)},
    {"признак выключения двигателя", "BITSTP", "", 0, 1, 4, Bit(0)},
    {"признак холостого хода", "RXX", "", 0, 1, 4, Bit(1)},
    {"признак обогащения по мощности", "BITPOW", "", 0, 1, 4, Bit(2)},
    {"признак блокировки подачи топлива", "BLKINJ", "", 0, 1, 4, Bit(3)},
    {"признак зоны регулирования по датчику кислорода", "WRKLAM", "", 0, 1, 4, Bit(4)},
    {"признак попадания в зону детонации", "RDET", "", 0, 1, 4, Bit(5)},
    {"признак продувки адсорбера", "BADSPU", "", 0, 1, 4, Bit(6)},
    {"признак сохранения результатов обучения по датчику кислорода", "LEARN", "", 0, 1, 4, Bit(7)},
    {"признак повторного замера параметров холостого хода", "CHIAC", "", 0, 1, 5, Bit(0)},
    {"признак наличия холостого хода в прошлом цикле вычислений", "LASTIAC", "", 0, 1, 5, Bit(1)},
    {"разрешение блокировки выхода из режима холостого хода", "RBLNOT", "", 0, 1, 5, Bit(2)},
    {"признак попадания в зону детонации в прошлом цикле вычислений", "LASTKNOCK", "", 0, 1, 5,
     Bit(3)},
    {"признак наличия продувки адсорбера в прошлом цикле вычислений", "LASTADS", "", 0, 1, 5,
     Bit(4)},
    {"признак обнаружения детонации", "KNOCK", "", 0, 1, 5, Bit(5)},
    {"признак прошлого состояния датчика кислорода", "LASTLAM", "", 0, 1, 5, Bit(6)},
    {"признак текущего состояния датчика кислорода", "CURLAM", "", 0, 1, 5, Bit(7)},
    {"Контрольная сумма ПЗУ", "ROMSUM", "", 0, 65535, 32, WordLowFirst()},
}};

// Indexed by the variant's ECU type.
using Catalogue = std::span<const Param>;
constexpr settings::PerEcuType<Catalogue> kCatalogues =
    settings::OnePerEcuType<Catalogue>(kType0, kType1);

std::span<const Param> CatalogueOf(const kline::EcuVariant& variant) {
    return kCatalogues[variant.Type()];
}

// The row, or nullptr for an index outside the type's own rows.
const Param* FindRow(const kline::EcuVariant& variant, int index) {
    const std::span<const Param> rows = CatalogueOf(variant);
    if (index < 0 || static_cast<size_t>(index) >= rows.size())
        return nullptr;
    return &rows[index];
}

// Runs field(row) for a valid ECU type and index; `none` for no valid type (after the
// message with `icon`), `outside` for an index outside the rows.
template <class R, class Field>
R WithRow(const kline::EcuProtocol& protocol, int index, R none, R outside, Field field,
          platform::Icon icon = platform::Icon::Warning) {
    return protocol.Dispatch(
        none,
        [&](const kline::EcuVariant& variant) -> R {
            const Param* row = FindRow(variant, index);
            return row ? field(*row) : outside;
        },
        icon);
}

// Positions past the received bytes hold 0 (the exchange clears the record); positions past
// the record itself read as 0 too.
int ByteAt(const kline::KwpMessage& record, size_t position) {
    return position < record.data.size() ? record.data[position] : 0;
}

std::string Decode(const Param& row, const kline::KwpMessage& record) {
    const int x = ByteAt(record, row.offset);
    const int y = ByteAt(record, row.offset + 1u);
    const int s = static_cast<int8_t>(x);
    const Decoding& d = row.decoding;
    switch (d.rule) {
        case Rule::Linear:
            return platform::FormatNumber(x * d.scale + d.offset);
        case Rule::SignedScaled:
            return platform::FormatNumber(s * d.scale);
        case Rule::SignedFraction:
            return platform::FormatNumber(static_cast<double>(s) / d.divisor).substr(0, d.cut);
        case Rule::ByteDiv:
            return platform::FormatNumber((x + d.bias) / d.divisor);
        case Rule::WordHighFirst:
            return platform::FormatNumber((x * 256 + y) * d.factor / d.divisor);
        case Rule::WordLowFirst:
            return platform::FormatNumber((y * 256 + x) / d.divisor);
        case Rule::Flag:
            return (x & (1 << d.bit)) ? kYes : kNo;
    }
    return {};
}

}  // namespace

int ParamCount(const kline::EcuProtocol& protocol) {
    return protocol.Dispatch(0, [](const kline::EcuVariant& variant) {
        return static_cast<int>(CatalogueOf(variant).size());
    });
}

std::string ParamName(const kline::EcuProtocol& protocol, int index) {
    return WithRow(protocol, index, std::string(), std::string(),
                   [](const Param& row) { return std::string(row.name); });
}

std::string ParamShortName(const kline::EcuProtocol& protocol, int index) {
    return WithRow(protocol, index, std::string(), std::string(),
                   [](const Param& row) { return std::string(row.shortName); });
}

std::string ParamUnit(const kline::EcuProtocol& protocol, int index) {
    return WithRow(protocol, index, std::string(), std::string(),
                   [](const Param& row) { return std::string(row.unit); });
}

int ParamGraphMin(const kline::EcuProtocol& protocol, int index) {
    return WithRow(protocol, index, 0, -1, [](const Param& row) { return row.graphMin; });
}

int ParamGraphMax(const kline::EcuProtocol& protocol, int index) {
    return WithRow(protocol, index, 0, 1, [](const Param& row) { return row.graphMax; });
}

std::string ParamText(const kline::EcuProtocol& protocol, const kline::KwpMessage& record,
                      int index) {
    return WithRow(
        protocol, index, std::string("0"), std::string(),
        [&](const Param& row) { return Decode(row, record); }, platform::Icon::Information);
}

int GraphValue(const std::string& valueText) {
    if (valueText == kYes)
        return 1;
    if (valueText == kNo)
        return 0;
    double value = 0;
    if (!platform::ParseNumber(valueText, value))
        return 0;
    // The catalogue's values lie well inside int; clamp anyway so a stray text cannot overflow.
    constexpr double kLow = std::numeric_limits<int>::min();
    constexpr double kHigh = std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(std::fmax(kLow, std::fmin(kHigh, value))));
}

}  // namespace diag
