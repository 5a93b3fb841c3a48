// Any answer record given to the decoders of both families: identification fields, fault
// rows, equipment lines, CO trim and every live parameter. None may read outside the record.
#include <cstdint>
#include <cstring>

#include "diag/catalogue.h"
#include "services/co_trim.h"
#include "services/equipment.h"
#include "services/fault_codes.h"
#include "services/identification.h"
#include "settings/ecu_types.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    kline::KwpMessage record;
    record.length = data[0];
    std::memcpy(record.data.data(), data + 1, std::min(size - 1, record.data.size()));
    for (int type = 0; type < settings::kEcuTypes; ++type) {
        const kline::EcuProtocol protocol(type);
        for (int field = 0; field <= 10; ++field) {
            services::FieldBuffer buffer{};
            services::PassportField(protocol, record, field, buffer);
            if (buffer.back() != 0)
                __builtin_trap();
            (void)services::FieldText(buffer);
        }
        if (services::FaultRows(protocol, record).size() > 84)
            __builtin_trap();
        for (int n = 1; n <= services::EquipmentCount(protocol); ++n)
            (void)services::EquipmentLine(protocol, n, record);
        (void)services::CoTrimText(services::CoTrimOf(record));
        for (int index = -1; index <= diag::ParamCount(protocol); ++index)
            (void)diag::GraphValue(diag::ParamText(protocol, record, index));
    }
    return 0;
}
