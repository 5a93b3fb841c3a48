// The ECU of either family as a KWP2000 server: the session, the services the station uses,
// the fault code list, the CO trim, the engine behind it, and faults injected by tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/ecu_records.h"
#include "sim/engine_model.h"
#include "sim/kwp_frame.h"
#include "sim/line_timing.h"

namespace sim {

// A fault code as it is stored: the two code bytes (binary-coded decimal, "P0130" is 0x01
// 0x30) and the status byte (0x40 present now, 0x20 stored).
struct Dtc {
    uint8_t high = 0;
    uint8_t low = 0;
    uint8_t status = 0;
    friend bool operator==(const Dtc&, const Dtc&) = default;
};

// P0340 present and stored, P0505 stored: both families know these codes.
std::vector<Dtc> DefaultDtcs();

enum class FaultKind : uint8_t {
    None,
    Silent,         // the request is not heard: no answer, nothing done
    Negative,       // 0x7F, SID, code instead of the answer; nothing done
    WrongChecksum,  // the answer's checksum byte is off by one
    WrongSource,    // the answer comes from the other family's address
    Delay,          // the answer comes `delayMicros` after the request instead of after P2
};

struct Fault {
    FaultKind kind = FaultKind::None;
    uint8_t negativeCode = 0x22;    // conditionsNotCorrect (ISO 14230-3)
    int64_t delayMicros = 200'000;  // longer than the station's 110 ms wait for a byte
    int times = -1;                 // requests it hits before it removes itself; -1: until cleared
};

// The first `n` requests go unanswered, later ones are answered.
inline Fault FailFirst(int n) {
    return Fault{FaultKind::Silent, 0x22, 0, n};
}

struct EcuOptions {
    int type = 1;  // 0: address 0x11, 1: address 0x10
    int64_t p2Micros = kDefaultP2Micros;
    bool sessionTimeout = true;  // end a session after P3max without a request
    bool idleWakeUp = false;     // StartCommunication also after idle line (no break seen)
    bool strictWakeUp = false;   // ISO 14230-2's window: StartCommunication 50 +- 1 ms after
                                 // the line went low, not merely after 24 ms of idle line
    uint32_t seed = 1;
    bool engineRunning = true;
    std::vector<Dtc> dtcs = DefaultDtcs();
};

// An answer frame and how long after the end of the request it starts.
struct Answer {
    std::vector<uint8_t> frame;
    int64_t delayMicros = 0;
};

class Ecu {
  public:
    explicit Ecu(const EcuOptions& options = {});

    int Type() const { return family_->type; }
    uint8_t Address() const { return family_->address; }

    // A frame from the receiver; `wokenUp` tells that a wake-up came right before it. Frames for
    // other addresses, with a bad checksum, or (outside a session) other than StartCommunication
    // get no answer.
    std::optional<Answer> OnRequest(const RequestFrame& frame, bool wokenUp);

    bool SessionActive(int64_t nowMicros) const;

    const std::vector<Dtc>& Dtcs() const { return dtcs_; }
    void SetDtcs(std::vector<Dtc> dtcs);
    int8_t CoTrim() const { return memory_.coTrim; }
    void SetCoTrim(int8_t trim) { memory_.coTrim = trim; }
    void SetEquipment(uint8_t byte2, uint8_t byte3);
    // The identification answer after 0x5A 0x80 (byte 2 on), in place of the family's own.
    void SetIdentification(std::vector<uint8_t> fields);

    bool EngineRunning() const { return engine_.Running(); }
    void SetEngineRunning(bool running, int64_t nowMicros);
    const EngineState& Engine(int64_t nowMicros);

    // Injected faults: one per service, one for all services; the service's own one wins.
    void SetFault(uint8_t sid, const Fault& fault);
    void SetFaultForAll(const Fault& fault);
    void ClearInjectedFaults();

  private:
    // The answer data of a request, or nothing when it goes unanswered.
    std::optional<std::vector<uint8_t>> Serve(const std::vector<uint8_t>& request, int64_t now);
    std::vector<uint8_t> StartCommunication();
    std::vector<uint8_t> LiveData(const std::vector<uint8_t>& request, int64_t now);
    std::vector<uint8_t> Identification(const std::vector<uint8_t>& request) const;
    std::vector<uint8_t> ReadDtcs(const std::vector<uint8_t>& request) const;
    std::vector<uint8_t> ClearDtcs(const std::vector<uint8_t>& request);
    std::optional<std::vector<uint8_t>> TesterPresent(const std::vector<uint8_t>& request) const;
    std::vector<uint8_t> Reset(const std::vector<uint8_t>& request);
    std::vector<uint8_t> InputOutputControl(const std::vector<uint8_t>& request);
    // The fault that hits this request, counted down; None when there is none.
    Fault TakeFault(uint8_t sid);
    Answer AnswerFrame(const std::vector<uint8_t>& data, const Fault& fault, uint8_t target) const;

    const Family* family_;
    int64_t p2Micros_;
    bool sessionTimeout_;
    bool session_ = false;
    int64_t lastActivity_ = 0;  // end of the last request or answer of the session
    EngineModel engine_;
    EcuMemory memory_;
    std::vector<Dtc> dtcs_;
    std::vector<uint8_t> identification_;
    std::map<uint8_t, Fault> faults_;
    Fault faultForAll_;
};

}  // namespace sim
