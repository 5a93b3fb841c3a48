#include "link/ecu_protocol.h"

#include "platform/clock.h"

namespace kline {

namespace {

constexpr uint32_t kKLineBaud = 10400;

bool Succeeds(const EcuVariant& variant, const KwpMessage& request, Port& port) {
    return variant.Exchange(request, port).error == 0;
}

}  // namespace

EcuProtocol::EcuProtocol(int ecuType) : type_(ecuType == 0 || ecuType == 1 ? ecuType : -1) {}

const EcuVariant* EcuProtocol::Variant(platform::Icon icon) const {
    if (type_ == 0)
        return &type0_;
    if (type_ == 1)
        return &type1_;
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
        attempt.line = WakeUp(port, method, kKLineBaud);
        attempt.response = v.Exchange(MakeRequest({0x81}), port);
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
