#include "services/equipment.h"

#include "services/answer_bytes.h"
#include "settings/ecu_types.h"

namespace services {

namespace {

// Bits 0..5 of bytes 2 and 3; bits 0x40 and 0x80 carry nothing. Entry 8 begins with a Latin
// capital A (0x41), not the Cyrillic one, and is shown as stored. Two entries a line.
// clang-format off
const EquipmentEntry kFamily1[] = {
    {2, 0x01, "Датчик кислорода"},                     {2, 0x02, "Адсорбер"},
    {2, 0x04, "Клапан рециркуляции"},                  {2, 0x08, "Датчик детонации"},
    {2, 0x10, "Датчик температуры воздуха"},           {2, 0x20, "Датчик фазы"},
    {3, 0x01, "Потенциометр корректировки СО"},        {3, 0x02, "Aдаптация нуля дросселя"},
    {3, 0x04, "Асинхронная подача топлива при пуске"}, {3, 0x08, "Постоянное хранение ошибок"},
    {3, 0x10, "Датчик скорости автомобиля"},           {3, 0x20, "Одновременный впрыск"},
};
// clang-format on

using Table = std::span<const EquipmentEntry>;
const settings::PerEcuType<Table> kTables = settings::OnePerEcuType<Table>(Table{}, kFamily1);

}  // namespace

std::span<const EquipmentEntry> EquipmentTable(int family) {
    if (!settings::IsEcuType(family))
        return {};
    return kTables[family];
}

kline::KwpMessage ReadEquipment(const kline::EcuProtocol& protocol, kline::Port& port) {
    kline::KwpMessage record;
    const kline::EcuVariant* variant = protocol.Variant();
    if (!variant) {
        record.error = 1;
        return record;
    }
    if (EquipmentTable(variant->Type()).empty())
        return record;  // no flags to read
    protocol.ReadLiveData(port, record);
    return record;
}

int EquipmentCount(const kline::EcuProtocol& protocol) {
    return protocol.Dispatch(0, [](const kline::EcuVariant& v) {
        return static_cast<int>(EquipmentTable(v.Type()).size());
    });
}

EquipmentText EquipmentLine(const kline::EcuProtocol& protocol, int n,
                            const kline::KwpMessage& record) {
    return protocol.Dispatch(EquipmentText{"", true}, [&](const kline::EcuVariant& v) {
        const std::span<const EquipmentEntry> table = EquipmentTable(v.Type());
        if (n < 1 || n > static_cast<int>(table.size()))
            return EquipmentText{};
        const EquipmentEntry& entry = table[n - 1];
        const bool set = (AnswerByte(record, entry.byte) & entry.mask) != 0;
        return EquipmentText{set ? entry.name : "", false};
    });
}

}  // namespace services
