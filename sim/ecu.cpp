#include "sim/ecu.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint8_t kNegative = 0x7F;
constexpr uint8_t kPositive = 0x40;  // a positive answer's SID is the request's SID + 0x40
// Response codes of ISO 14230-3.
constexpr uint8_t kServiceNotSupported = 0x11;
constexpr uint8_t kInvalidFormat = 0x12;
constexpr uint8_t kOutOfRange = 0x31;
// Key bytes of StartCommunication (ISO 14230-2 5.2.4.1): both header formats and the length
// byte supported, normal timing.
constexpr uint8_t kKeyByte1 = 0xEF;
constexpr uint8_t kKeyByte2 = 0x8F;
// The most codes an answer holds: 0x58, N and 3 bytes per code in 255 data bytes.
constexpr size_t kMaxDtcs = 84;

enum Sid : uint8_t {
    kStartCommunication = 0x81,
    kStopCommunication = 0x82,
    kTesterPresent = 0x3E,
    kReadDataByLocalId = 0x21,
    kReadEcuIdentification = 0x1A,
    kReadDtcsByStatus = 0x18,
    kClearDiagnosticInformation = 0x14,
    kEcuReset = 0x11,
    kInputOutputControlByLocalId = 0x30,
};

std::vector<uint8_t> NegativeAnswer(uint8_t sid, uint8_t code) {
    return {kNegative, sid, code};
}

bool AllGroups(const std::vector<uint8_t>& r, size_t at) {
    return r[at] == 0xFF && r[at + 1] == 0x00;
}

}  // namespace

std::vector<Dtc> DefaultDtcs() {
    return {{0x03, 0x40, 0x60}, {0x05, 0x05, 0x20}};
}

Ecu::Ecu(const EcuOptions& options)
    : family_(&FamilyOf(options.type)),
      p2Micros_(options.p2Micros),
      sessionTimeout_(options.sessionTimeout),
      engine_(options.seed, options.engineRunning),
      identification_(family_->identification()) {
    memory_.equipment[0] = family_->defaultEquipment[0];
    memory_.equipment[1] = family_->defaultEquipment[1];
    SetDtcs(options.dtcs);
}

void Ecu::SetDtcs(std::vector<Dtc> dtcs) {
    if (dtcs.size() > kMaxDtcs)
        dtcs.resize(kMaxDtcs);
    dtcs_ = std::move(dtcs);
}

void Ecu::SetEquipment(uint8_t byte2, uint8_t byte3) {
    memory_.equipment[0] = byte2;
    memory_.equipment[1] = byte3;
}

void Ecu::SetIdentification(std::vector<uint8_t> fields) {
    identification_ = {0x5A, 0x80};
    identification_.insert(identification_.end(), fields.begin(), fields.end());
    if (identification_.size() > 255)
        identification_.resize(255);
}

void Ecu::SetEngineRunning(bool running, int64_t nowMicros) {
    engine_.AdvanceTo(nowMicros);
    if (running != engine_.Running())
        engine_.SetRunning(running);
}

const EngineState& Ecu::Engine(int64_t nowMicros) {
    engine_.AdvanceTo(nowMicros);
    return engine_.State();
}

bool Ecu::SessionActive(int64_t nowMicros) const {
    return session_ && (!sessionTimeout_ || nowMicros - lastActivity_ <= kP3MaxMicros);
}

void Ecu::SetFault(uint8_t sid, const Fault& fault) {
    if (fault.kind == FaultKind::None) {
        faults_.erase(sid);
    } else {
        faults_[sid] = fault;
    }
}

void Ecu::SetFaultForAll(const Fault& fault) {
    faultForAll_ = fault;
}

void Ecu::ClearInjectedFaults() {
    faults_.clear();
    faultForAll_ = Fault{};
}

Fault Ecu::TakeFault(uint8_t sid) {
    auto own = faults_.find(sid);
    Fault* fault = own != faults_.end() ? &own->second : &faultForAll_;
    const Fault hit = *fault;
    if (fault->kind != FaultKind::None && fault->times > 0 && --fault->times == 0) {
        if (own != faults_.end()) {
            faults_.erase(own);
        } else {
            faultForAll_ = Fault{};
        }
    }
    return hit;
}

std::optional<Answer> Ecu::OnRequest(const RequestFrame& frame, bool wokenUp) {
    if (!frame.checksumOk || !frame.addressed || frame.target != Address() || frame.data.empty())
        return std::nullopt;
    if (!SessionActive(frame.startMicros))
        session_ = false;
    const uint8_t sid = frame.data[0];
    // StartCommunication is heard right after a wake-up only, every other service in a session.
    if (sid == kStartCommunication ? !wokenUp : !session_)
        return std::nullopt;

    const Fault fault = TakeFault(sid);
    if (fault.kind == FaultKind::Silent)
        return std::nullopt;
    std::optional<std::vector<uint8_t>> data;
    if (fault.kind == FaultKind::Negative) {
        data = NegativeAnswer(sid, fault.negativeCode);
    } else {
        data = Serve(frame.data, frame.endMicros);
    }
    lastActivity_ = frame.endMicros;
    if (!data)
        return std::nullopt;
    // The answer goes back to whoever asked (the tester, 0xF1).
    Answer answer = AnswerFrame(*data, fault, frame.source);
    lastActivity_ = frame.endMicros + answer.delayMicros +
                    static_cast<int64_t>(answer.frame.size()) * kByteMicros;
    return answer;
}

Answer Ecu::AnswerFrame(const std::vector<uint8_t>& data, const Fault& fault,
                        uint8_t target) const {
    const uint8_t source =
        fault.kind == FaultKind::WrongSource ? NextFamily(Type()).address : Address();
    Answer answer;
    answer.frame = EncodeFrame(target, source, data);
    if (fault.kind == FaultKind::WrongChecksum)
        ++answer.frame.back();
    answer.delayMicros = fault.kind == FaultKind::Delay ? fault.delayMicros : p2Micros_;
    return answer;
}

std::optional<std::vector<uint8_t>> Ecu::Serve(const std::vector<uint8_t>& r, int64_t now) {
    switch (r[0]) {
        case kStartCommunication:
            return StartCommunication();
        case kStopCommunication:
            session_ = false;  // after this answer
            return std::vector<uint8_t>{kStopCommunication | kPositive};
        case kTesterPresent:
            return TesterPresent(r);
        case kReadDataByLocalId:
            return LiveData(r, now);
        case kReadEcuIdentification:
            return Identification(r);
        case kReadDtcsByStatus:
            return ReadDtcs(r);
        case kClearDiagnosticInformation:
            return ClearDtcs(r);
        case kEcuReset:
            return Reset(r);
        case kInputOutputControlByLocalId:
            return InputOutputControl(r);
        default:
            return NegativeAnswer(r[0], kServiceNotSupported);
    }
}

std::vector<uint8_t> Ecu::StartCommunication() {
    session_ = true;
    return {kStartCommunication | kPositive, kKeyByte1, kKeyByte2};
}

std::optional<std::vector<uint8_t>> Ecu::TesterPresent(const std::vector<uint8_t>& r) const {
    // responseRequired 0x02 asks for no answer (ISO 14230-3 TesterPresent).
    if (r.size() >= 2 && r[1] == 0x02)
        return std::nullopt;
    return std::vector<uint8_t>{kTesterPresent | kPositive};
}

std::vector<uint8_t> Ecu::LiveData(const std::vector<uint8_t>& r, int64_t now) {
    if (r.size() != 2)
        return NegativeAnswer(r[0], kInvalidFormat);
    if (r[1] != 0x01)
        return NegativeAnswer(r[0], kOutOfRange);
    memory_.faultLampOn = std::any_of(dtcs_.begin(), dtcs_.end(),
                                      [](const Dtc& d) { return (d.status & 0x40) != 0; });
    return family_->liveData(Engine(now), memory_);
}

std::vector<uint8_t> Ecu::Identification(const std::vector<uint8_t>& r) const {
    if (r.size() != 2)
        return NegativeAnswer(r[0], kInvalidFormat);
    if (r[1] != 0x80)
        return NegativeAnswer(r[0], kOutOfRange);
    return identification_;
}

std::vector<uint8_t> Ecu::ReadDtcs(const std::vector<uint8_t>& r) const {
    if (r.size() != 4)
        return NegativeAnswer(r[0], kInvalidFormat);
    if (!AllGroups(r, 2))
        return NegativeAnswer(r[0], kOutOfRange);
    std::vector<uint8_t> answer{kReadDtcsByStatus | kPositive, static_cast<uint8_t>(dtcs_.size())};
    for (const Dtc& d : dtcs_) answer.insert(answer.end(), {d.high, d.low, d.status});
    return answer;
}

std::vector<uint8_t> Ecu::ClearDtcs(const std::vector<uint8_t>& r) {
    if (r.size() != 3)
        return NegativeAnswer(r[0], kInvalidFormat);
    if (!AllGroups(r, 1))
        return NegativeAnswer(r[0], kOutOfRange);
    dtcs_.clear();
    return {kClearDiagnosticInformation | kPositive, 0xFF, 0x00};
}

std::vector<uint8_t> Ecu::Reset(const std::vector<uint8_t>& r) {
    if (r.size() != 2 || r[1] != 0x01)
        return NegativeAnswer(r[0], kInvalidFormat);
    session_ = false;  // the controller restarts after this answer: a new wake-up is needed
    return {kEcuReset | kPositive};
}

std::vector<uint8_t> Ecu::InputOutputControl(const std::vector<uint8_t>& r) {
    if (!family_->writesCoTrim)
        return NegativeAnswer(r[0], kServiceNotSupported);
    if (r.size() < 3)
        return NegativeAnswer(r[0], kInvalidFormat);
    if (r[1] != 0x61)
        return NegativeAnswer(r[0], kOutOfRange);
    // 0x08 long-term adjustment with the new trim, 0x00 return control to the ECU.
    if (r[2] == 0x08 && r.size() == 4) {
        memory_.coTrim = static_cast<int8_t>(r[3]);
        return {kInputOutputControlByLocalId | kPositive, 0x61, 0x08, r[3]};
    }
    if (r[2] == 0x00 && r.size() == 3)
        return {kInputOutputControlByLocalId | kPositive, 0x61, 0x00};
    return NegativeAnswer(r[0], kInvalidFormat);
}

}  // namespace sim
