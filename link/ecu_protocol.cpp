#include "link/ecu_protocol.h"

#include "platform/clock.h"

namespace kline {

namespace {

constexpr uint32_t kKLineBaud = 10400;
// ISO 14230-2 5.2.4.2.3 fast initialisation: TiniL = 25 ms low, then 25 ms idle (TWuP - TiniL).
constexpr int kWakeUpLowMs = 25;
constexpr int kWakeUpIdleMs = 25;

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
    return Dispatch(false, [&](const EcuVariant& v) {
        const KwpMessage request = MakeRequest({0x81});
        if (port.IsOpen()) {
            port.device->SetBreak();
            platform::Sleep(kWakeUpLowMs);
            port.device->ClearBreak();
            platform::Sleep(kWakeUpIdleMs);
        }
        return Succeeds(v, request, port);  // the key bytes after 0xC1 are not examined
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
