#include "link/ecu_protocol.h"

#include "platform/clock.h"
#include "settings/ecu_types.h"

namespace kline {

namespace {

constexpr Type0Protocol kType0;
constexpr Type1Protocol kType1;

// The one dispatch on the ECU type: every operation runs the variant found here.
constexpr settings::PerEcuType<const EcuVariant*> kVariants =
    settings::OnePerEcuType<const EcuVariant*>(&kType0, &kType1);

constexpr bool EachVariantAtItsType() {
    for (int type = 0; type < settings::kEcuTypes; ++type)
        if (kVariants[type]->Type() != type)
            return false;
    return true;
}
static_assert(EachVariantAtItsType(), "the variants stand in the order of their ECU types");

bool Succeeds(const EcuVariant& variant, const KwpMessage& request, Port& port) {
    return variant.Exchange(request, port).error == 0;
}

}  // namespace

const EcuVariant* VariantOf(int ecuType) {
    return settings::IsEcuType(ecuType) ? kVariants[ecuType] : nullptr;
}

EcuProtocol::EcuProtocol(int ecuType) : variant_(VariantOf(ecuType)) {}

const EcuVariant* EcuProtocol::Variant(platform::Icon icon) const {
    if (variant_)
        return variant_;
    platform::ShowMessage(kNoEcuType, platform::kAttention, icon);
    return nullptr;
}

uint32_t EcuProtocol::BaudRate() const {
    return Dispatch(uint32_t{0}, [](const EcuVariant&) { return kKLineBaud; });
}

bool EcuProtocol::HasEquipmentConfiguration() const {
    return Dispatch(false, [](const EcuVariant& v) { return v.HasEquipmentConfiguration(); });
}

bool EcuProtocol::StartCommunication(Port& port) const {
    StartAttempt attempt;
    return StartCommunication(port, WakeUpMethod::Break, attempt);
}

bool EcuProtocol::StartCommunication(Port& port, WakeUpMethod method, StartAttempt& attempt) const {
    return Dispatch(false, [&](const EcuVariant& v) {
        // A StartCommunication that cannot begin within the ECU's window (the scheduler
        // overslept, the echo or the write was held up) would meet a sleeping ECU and cost a
        // whole attempt: the line idles and the pattern is made again. The last try sends it
        // all the same, for an ECU that takes it late.
        for (int tries = 1;; ++tries) {
            attempt.line = WakeUp(port, method, kKLineBaud);
            const int64_t startBy = tries < kWakeUpTries ? attempt.line.startBy : 0;
            attempt.response = v.Exchange(MakeRequest({0x81}), port, startBy);
            if (attempt.response.reason != FailureReason::LateStart)
                break;
            platform::Sleep(kIdleBeforeNewWakeUpMs);
        }
        return attempt.response.error == 0;  // the key bytes after 0xC1 are not examined
    });
}

bool EcuProtocol::StopCommunication(Port& port) const {
    return Dispatch(false,
                    [&](const EcuVariant& v) { return Succeeds(v, MakeRequest({0x82}), port); });
}

bool EcuProtocol::ReadLiveData(Port& port, KwpMessage& record) const {
    return Dispatch(false, [&](const EcuVariant& v) {
        record = v.Exchange(MakeRequest({0x21, 0x01}), port);
        return record.error == 0;
    });
}

bool EcuProtocol::IsEngineRunning(Port& port) const {
    return Dispatch(false, [&](const EcuVariant& v) {
        const KwpMessage record = v.Exchange(MakeRequest({0x21, 0x01}), port);
        return record.error == 0 && v.EngineRunning(record);
    });
}

bool EcuProtocol::ResetController(Port& port) const {
    // Both families take ECUReset with reset mode 0x01 (power on).
    return Dispatch(false, [&](const EcuVariant& v) {
        return Succeeds(v, MakeRequest({0x11, 0x01}), port);
    });
}

bool EcuProtocol::ClearFaults(Port& port) const {
    return Dispatch(false, [&](const EcuVariant& v) {
        return Succeeds(v, MakeRequest({0x14, 0xFF, 0x00}), port);
    });
}

}  // namespace kline
