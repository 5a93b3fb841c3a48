#include "services/fault_codes.h"

#include <algorithm>

#include "services/answer_bytes.h"

namespace services {

namespace {

constexpr uint8_t kCurrentBit = 0x40;
constexpr uint8_t kStoredBit = 0x20;
constexpr size_t kFirstEntry = 2;  // after the response SID 0x58 and the count
constexpr size_t kEntrySize = 3;   // two code bytes, one status byte

const char* Lookup(int family, int codeNumber) {
    for (const FaultDescription& entry : FaultTable(family))
        if (entry.code == codeNumber)
            return entry.text;
    return kUnknownFault;
}

std::optional<int> BcdValue(uint8_t byte) {
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9)
        return std::nullopt;
    return high * 10 + low;
}

const char* YesNo(bool set) {
    return set ? "Да" : "Нет";
}

FaultRow DecodeEntry(int family, const kline::KwpMessage& answer, size_t position) {
    const uint8_t first = AnswerByte(answer, position);
    const uint8_t second = AnswerByte(answer, position + 1);
    const uint8_t status = AnswerByte(answer, position + 2);
    const std::optional<int> number = FaultCodeNumber(first, second);
    return {FaultCodeText(first, second), number ? Lookup(family, *number) : kUnknownFault,
            YesNo(status & kCurrentBit), YesNo(status & kStoredBit)};
}

}  // namespace

kline::KwpMessage ReadFaultCodes(const kline::EcuProtocol& protocol, kline::Port& port) {
    kline::KwpMessage failed;
    failed.error = 1;
    // Status selector 0x00 and group 0xFF00: every code, whatever its status.
    return protocol.Dispatch(failed, [&](const kline::EcuVariant& v) {
        return v.Exchange(kline::MakeRequest({0x18, 0x00, 0xFF, 0x00}), port);
    });
}

std::string FaultText(const kline::EcuProtocol& protocol, int codeNumber) {
    return protocol.Dispatch(std::string(), [&](const kline::EcuVariant& v) {
        return std::string(Lookup(v.Type(), codeNumber));
    });
}

std::optional<int> FaultCodeNumber(uint8_t first, uint8_t second) {
    const std::optional<int> high = BcdValue(first);
    const std::optional<int> low = BcdValue(second);
    if (!high || !low)
        return std::nullopt;
    return *high * 100 + *low;
}

std::string FaultCodeText(uint8_t first, uint8_t second) {
    const uint8_t code[2] = {first, second};
    std::string text = kline::HexBytes(code, 2);  // "01 30"
    text.erase(2, 1);
    return "P" + text;
}

std::vector<FaultRow> FaultRows(const kline::EcuProtocol& protocol,
                                const kline::KwpMessage& answer) {
    const kline::EcuVariant* variant = protocol.Variant();
    if (!variant)
        return {};
    // The count byte is the ECU's word; the record has room for 84 entries only.
    const size_t count = std::min<size_t>(AnswerByte(answer, 1), kMaxFaultEntries);
    std::vector<FaultRow> rows;
    rows.reserve(count);
    for (size_t i = 0; i < count; ++i)
        rows.push_back(DecodeEntry(variant->Type(), answer, kFirstEntry + i * kEntrySize));
    return rows;
}

int FaultGridRowCount(size_t codes) {
    return codes == 0 ? 2 : static_cast<int>(codes) + 1;
}

const std::array<FaultColumn, 4> kFaultColumns = {{
    {"Код ошибки", 77},
    {"Описание ошибки", 385},
    {"Текущая", 82},
    {"Сохраненная", 86},
}};

}  // namespace services
