// The ECU protocol object: every ECU operation of the station goes through it, and it
// runs the variant of the ECU type in force. For no valid type it says "Блок не выбран!"
// and sends nothing.
#pragma once

#include <cstdint>

#include "link/exchange.h"
#include "link/kwp_message.h"
#include "link/port.h"
#include "platform/messages.h"

namespace kline {

inline constexpr const char* kNoEcuType = "Блок не выбран!";

// What differs between the ECU families at the link level, and the family's name as the
// ECU-type dialog lists it. Tables of the services and of the parameter catalogue are
// indexed by Type(). The variants hold no data and live for the whole run.
class EcuVariant {
  public:
    virtual int Type() const = 0;
    virtual const char* Name() const = 0;
    virtual uint8_t Address() const = 0;
    virtual bool HasEquipmentConfiguration() const = 0;
    // Reads the engine state from a live data record.
    virtual bool EngineRunning(const KwpMessage& liveData) const = 0;

    KwpMessage Exchange(const KwpMessage& request, Port& port, int64_t firstByteBy = 0) const {
        return kline::Exchange(Address(), request, port, firstByteBy);
    }

  protected:
    ~EcuVariant() = default;  // never deleted through the base: the variants are constants
};

// The first family, "TAVRO - KX4.2", at ECU address 0x11.
class Type0Protocol final : public EcuVariant {
  public:
    constexpr int Type() const override { return 0; }
    const char* Name() const override { return "TAVRO - KX4.2"; }
    uint8_t Address() const override { return 0x11; }
    bool HasEquipmentConfiguration() const override { return false; }
    // Byte 20 carries the idle stepper position, which is 0 only with the engine stopped.
    bool EngineRunning(const KwpMessage& liveData) const override { return liveData.data[20] != 0; }
};

// The second family, "КАРНЕЛ  -   5.1", at ECU address 0x10.
class Type1Protocol final : public EcuVariant {
  public:
    constexpr int Type() const override { return 1; }
    const char* Name() const override { return "КАРНЕЛ  -   5.1"; }
    uint8_t Address() const override { return 0x10; }
    bool HasEquipmentConfiguration() const override { return true; }
    // Bit 0 of byte 4 is the engine-stopped flag.
    bool EngineRunning(const KwpMessage& liveData) const override {
        return (liveData.data[4] & 0x01) == 0;
    }
};

// The variant of an ECU type; nullptr for no valid type. Nothing is shown.
const EcuVariant* VariantOf(int ecuType);

class EcuProtocol {
  public:
    explicit EcuProtocol(int ecuType);
    EcuProtocol(const EcuProtocol&) = delete;
    EcuProtocol& operator=(const EcuProtocol&) = delete;

    // The ECU type it was built with; -1 when that was no valid type.
    int EcuType() const { return variant_ ? variant_->Type() : -1; }

    // The variant of the ECU type, or nullptr after showing "Блок не выбран!" with `icon`.
    const EcuVariant* Variant(platform::Icon icon = platform::Icon::Warning) const;

    // Runs op(variant) for a valid ECU type; otherwise reports and returns `none`.
    template <class R, class Op>
    R Dispatch(R none, Op&& op, platform::Icon icon = platform::Icon::Warning) const {
        const EcuVariant* variant = Variant(icon);
        return variant ? op(*variant) : none;
    }

    uint32_t BaudRate() const;
    bool HasEquipmentConfiguration() const;

    // Fast initialisation (25 ms break, 25 ms idle) and StartCommunication 0x81.
    bool StartCommunication(Port& port) const;
    // The same with the wake-up the cable needs; `attempt` tells what the line did and what
    // the ECU answered (or why the exchange failed).
    struct StartAttempt {
        WakeUpLine line;
        KwpMessage response;
    };
    bool StartCommunication(Port& port, WakeUpMethod method, StartAttempt& attempt) const;
    // StopCommunication 0x82; true when the ECU answered 0xC2.
    bool StopCommunication(Port& port) const;

    // ReadDataByLocalIdentifier 0x21 0x01 into `record`; an invalid type leaves it as it was.
    // True when the record now holds a good answer.
    bool ReadLiveData(Port& port, KwpMessage& record) const;
    bool IsEngineRunning(Port& port) const;
    bool ResetController(Port& port) const;  // ECUReset 0x11 0x01
    bool ClearFaults(Port& port) const;      // ClearDiagnosticInformation 0x14 0xFF 0x00

  private:
    const EcuVariant* variant_;  // nullptr for no valid type
};

}  // namespace kline
