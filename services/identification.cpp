#include "services/identification.h"

#include <algorithm>

#include "services/answer_bytes.h"
#include "services/cp1251.h"
#include "settings/ecu_types.h"

namespace services {

namespace {

constexpr int kFieldTextMax = 19;  // leaves at least two zero bytes in the buffer
constexpr uint8_t kErasedByte = 0xFF;

enum class FieldKind { None, Text, BcdDate };

// Where a field lies in the identification record: bytes first..last of `data`, inclusive.
struct FieldLayout {
    FieldKind kind = FieldKind::None;
    int first = 0;
    int last = 0;
};

constexpr FieldLayout Text(int first, int last) {
    return {FieldKind::Text, first, last};
}
constexpr FieldLayout kNever{};

// Per ECU family, by field index. The first family keeps its programming date as four
// binary-coded decimal bytes, the second as text.
using Layouts = std::array<FieldLayout, kPassportFieldCount>;

constexpr Layouts kFamily0{{
    Text(2, 18),                   // 0 Auto_type
    kNever,                        // 1 Serial_num
    Text(31, 40),                  // 2 Ebu_code
    Text(19, 30),                  // 3 Soft_code
    {FieldKind::BcdDate, 57, 60},  // 4 Data_progr
    Text(51, 56),                  // 5 Sys_drive
    Text(41, 50),                  // 6 Soft_serial
    kNever,                        // 7 Zap_code
    kNever,                        // 8 Kuz_num
    kNever,                        // 9 Drive_num
    kNever,                        // 10 Data_izg
}};

constexpr Layouts kFamily1{{
    Text(2, 20),   // 0 Auto_type
    Text(21, 36),  // 1 Serial_num
    Text(37, 46),  // 2 Ebu_code
    Text(89, 96),  // 3 Soft_code
    Text(79, 88),  // 4 Data_progr
    Text(57, 71),  // 5 Sys_drive
    Text(47, 56),  // 6 Soft_serial
    Text(72, 78),  // 7 Zap_code
    kNever,        // 8 Kuz_num
    kNever,        // 9 Drive_num
    kNever,        // 10 Data_izg
}};

constexpr settings::PerEcuType<Layouts> kFieldLayouts =
    settings::OnePerEcuType<Layouts>(kFamily0, kFamily1);

void CopyText(const kline::KwpMessage& record, const FieldLayout& layout, FieldBuffer& buffer) {
    const int count = std::min(layout.last - layout.first + 1, kFieldTextMax);
    for (int i = 0; i < count; ++i) buffer[i] = AnswerByte(record, layout.first + i);
    if (buffer[0] == kErasedByte)
        buffer[0] = 0;
}

void PutHexPair(uint8_t byte, uint8_t* out) {
    static const char digits[] = "0123456789ABCDEF";
    out[0] = digits[byte >> 4];
    out[1] = digits[byte & 0x0F];
}

// Bytes first..first+3 hold year high, year low, month, day; the text is DD/MM/YYYY, each
// byte shown as its own two hexadecimal digits.
void WriteBcdDate(const kline::KwpMessage& record, int first, FieldBuffer& buffer) {
    PutHexPair(AnswerByte(record, first + 3), &buffer[0]);
    buffer[2] = '/';
    PutHexPair(AnswerByte(record, first + 2), &buffer[3]);
    buffer[5] = '/';
    PutHexPair(AnswerByte(record, first), &buffer[6]);
    PutHexPair(AnswerByte(record, first + 1), &buffer[8]);
}

}  // namespace

kline::KwpMessage ReadIdentification(const kline::EcuProtocol& protocol, kline::Port& port) {
    kline::KwpMessage failed;
    failed.error = 1;
    return protocol.Dispatch(failed, [&](const kline::EcuVariant& v) {
        return v.Exchange(kline::MakeRequest({0x1A, 0x80}), port);
    });
}

void PassportField(const kline::EcuProtocol& protocol, const kline::KwpMessage& record,
                   int fieldIndex, FieldBuffer& buffer) {
    const kline::EcuVariant* variant = protocol.Variant();
    if (!variant)
        return;
    buffer.fill(0);
    if (fieldIndex < 0 || fieldIndex >= kPassportFieldCount)
        return;
    const FieldLayout& layout = kFieldLayouts[variant->Type()][fieldIndex];
    if (layout.kind == FieldKind::Text)
        CopyText(record, layout, buffer);
    if (layout.kind == FieldKind::BcdDate)
        WriteBcdDate(record, layout.first, buffer);
}

std::string FieldText(const FieldBuffer& buffer) {
    size_t n = 0;
    while (n < buffer.size() && buffer[n] != 0) ++n;
    return DecodeCp1251(reinterpret_cast<const char*>(buffer.data()), n);
}

const std::array<PassportRow, kPassportFieldCount> kPassportRows = {{
    {0, "Auto_type", "Модель автомобиля", PassportFrame::Upper},
    {3, "Soft_code", "Код программного обеспечения", PassportFrame::Upper},
    {2, "Ebu_code", "Код блока управления", PassportFrame::Upper},
    {5, "Sys_drive", "Система или двигатель", PassportFrame::Upper},
    {4, "Data_progr", "Дата программирования", PassportFrame::Upper},
    {1, "Serial_num", "Серийный номер", PassportFrame::Upper},
    {6, "Soft_serial", "Серийный номер программного обеспечения", PassportFrame::Upper},
    {7, "Zap_code", "Код запасных частей", PassportFrame::Upper},
    {8, "Kuz_num", "Номер кузова", PassportFrame::Lower},
    {9, "Drive_num", "Номер двигателя", PassportFrame::Lower},
    {10, "Data_izg", "Дата изготовления", PassportFrame::Lower},
}};

}  // namespace services
