#include "sim/ecu_records.h"

#include <algorithm>
#include <cmath>

#include "settings/ecu_types.h"

namespace sim {

namespace {

// A raw byte from a physical value and the scale the station decodes it with.
uint8_t Scaled(double value, double unitPerBit, double offset = 0) {
    const double raw = std::round((value - offset) / unitPerBit);
    return static_cast<uint8_t>(std::clamp(raw, 0.0, 255.0));
}

uint8_t SignedByte(double value) {
    const double raw = std::clamp(std::round(value), -128.0, 127.0);
    return static_cast<uint8_t>(static_cast<int8_t>(raw));
}

uint8_t Bit(bool set, int bit) {
    return set ? static_cast<uint8_t>(1u << bit) : 0;
}

void PutWordLowFirst(std::vector<uint8_t>& d, size_t at, double value) {
    const auto word = static_cast<uint16_t>(std::clamp(std::round(value), 0.0, 65535.0));
    d[at] = static_cast<uint8_t>(word & 0xFF);
    d[at + 1] = static_cast<uint8_t>(word >> 8);
}

// Type 0: positions 9..34 after 0x61 0x01.
std::vector<uint8_t> LiveDataType0(const EngineState& e, const EcuMemory& memory) {
    std::vector<uint8_t> d(35, 0);
    d[0] = 0x61;
    d[1] = 0x01;
    const double mafVolts = e.running ? 1.0 + e.airFlowKgH * 0.02 : 0.98;
    d[9] = Scaled(mafVolts, 0.01953);
    d[10] = Scaled(e.injectionMs * 0.55, 0.05);  // load
    d[11] = Scaled(e.supplyVolts, 0.0943);
    d[12] = Scaled(e.coolantC, 0.75, -48);
    d[13] = Scaled(108 - e.advanceDeg, 0.75);  // decoded as 108 - x * 0.75
    d[14] = 0;                                 // no knock retard
    d[15] = Scaled(e.throttlePercent, 0.3906);
    d[16] = 0;  // vehicle standing
    d[17] = Scaled(e.rpm, 40);
    // Injection pulse, high byte first, in 24 µs steps.
    const auto pulse = static_cast<uint16_t>(std::round(e.injectionMs * 1000 / 24));
    d[18] = static_cast<uint8_t>(pulse >> 8);
    d[19] = static_cast<uint8_t>(pulse & 0xFF);
    d[20] = static_cast<uint8_t>(std::clamp(e.stepperSteps, 0, 255));
    d[21] = Scaled(e.rpm, 10);
    d[22] = Scaled(e.airFlowKgH - e.airTargetKgH, 1, -128);
    d[23] = 130;  // learnt idle air adaptation: +2 kg/h
    d[24] = Scaled(e.idleTargetRpm, 10);
    d[25] = Scaled(e.airTargetKgH, 0.25);
    d[26] = Scaled(e.airFlowKgH, 0.25);
    d[27] = Scaled(e.postCatO2Volts * 1000, 4.43);
    d[28] = Scaled(e.lambdaCorrection * 128, 1);
    d[29] = 16;   // additive learnt correction, small
    d[30] = 131;  // multiplicative learnt correction, about 1.02
    d[31] = Scaled(e.purgePercent, 0.3906);
    d[32] = Bit(e.idleMode, 1) | Bit(e.fuelPump, 2) | Bit(e.fanOn, 7);
    d[33] = Bit(memory.faultLampOn, 0);
    d[34] = Bit(e.o2Ready, 6);
    return d;
}

// Type 1: positions 2..33 after 0x61 0x01; two-byte values low byte first.
std::vector<uint8_t> LiveDataType1(const EngineState& e, const EcuMemory& memory) {
    std::vector<uint8_t> d(34, 0);
    d[0] = 0x61;
    d[1] = 0x01;
    d[2] = memory.equipment[0];
    d[3] = memory.equipment[1];
    const bool learning = e.o2Ready && e.secondsRunning > 60;
    d[4] = Bit(!e.running, 0) | Bit(e.idleMode, 1) | Bit(!e.running, 3) | Bit(e.o2Ready, 4) |
           Bit(e.purgePercent > 0, 6) | Bit(learning, 7);
    d[5] = Bit(e.idleMode, 1) | Bit(e.purgeBefore, 4) | Bit(e.o2RichBefore, 6) | Bit(e.o2Rich, 7);
    d[10] = Scaled(e.coolantC, 1, -40);
    d[11] = static_cast<uint8_t>(memory.coTrim);
    d[12] = Scaled(e.throttlePercent, 1);
    d[13] = Scaled(e.rpm, 40);
    d[14] = Scaled(e.rpm, 10);
    d[15] = static_cast<uint8_t>(std::clamp(e.stepperTargetSteps, 0, 255));
    d[16] = static_cast<uint8_t>(std::clamp(e.stepperSteps, 0, 255));
    d[17] = Scaled(e.lambdaCorrection * 128, 1);
    d[18] = SignedByte(e.advanceDeg * 2);
    d[19] = 0;  // vehicle standing
    d[20] = Scaled(e.supplyVolts, 0.05, 5.2);
    d[21] = Scaled(e.idleTargetRpm, 10);
    PutWordLowFirst(d, 22, e.injectionMs * 125);
    PutWordLowFirst(d, 24, e.airFlowKgH * 10);
    // Air per cycle: four cylinders take two charges per revolution.
    const double mgPerCycle = e.rpm > 0 ? e.airFlowKgH * 1e6 / 3600 / (e.rpm / 30) : 0;
    PutWordLowFirst(d, 26, mgPerCycle * 6);
    const double litresPerHour = e.airFlowKgH / 14.7 / 0.74;
    PutWordLowFirst(d, 28, litresPerHour * 50);
    PutWordLowFirst(d, 30, 0);       // fuel per 100 km: the vehicle stands
    PutWordLowFirst(d, 32, 0xB7E4);  // program memory checksum
    return d;
}

struct TextField {
    size_t first;  // inclusive byte positions of the record
    size_t last;
    const char* text;
};

// Writes a text field, padded with blanks to its width.
void PutText(std::vector<uint8_t>& record, const TextField& field) {
    std::vector<uint8_t> bytes = Cp1251(field.text);
    const size_t width = field.last - field.first + 1;
    bytes.resize(width, ' ');
    std::copy(bytes.begin(), bytes.end(), record.begin() + static_cast<long>(field.first));
}

std::vector<uint8_t> Record(size_t size, std::initializer_list<TextField> fields) {
    std::vector<uint8_t> record(size, 0);
    record[0] = 0x5A;
    record[1] = 0x80;
    for (const TextField& f : fields) PutText(record, f);
    return record;
}

std::vector<uint8_t> IdentificationType0() {
    std::vector<uint8_t> r = Record(61, {
                                            {2, 18, "СЕДАН 1.5i 16кл"},  // vehicle model
                                            {19, 30, "KX42-0112-03"},    // software code
                                            {31, 40, "KX42-11020"},      // control unit code
                                            {41, 50, "0000104377"},      // software serial
                                            {51, 56, "ДВС-16"},          // system or engine
                                        });
    // Programming date in binary-coded decimal: century and year, month, day (14/11/2003).
    r[57] = 0x20;
    r[58] = 0x03;
    r[59] = 0x11;
    r[60] = 0x14;
    return r;
}

// 97 data bytes: the answer needs the length byte.
std::vector<uint8_t> IdentificationType1() {
    return Record(97, {
                          {2, 20, "УНИВЕРСАЛ 1.6i 8кл"},  // vehicle model
                          {21, 36, "5100437021093311"},   // serial number
                          {37, 46, "КРН51-1411"},         // control unit code
                          {47, 56, "0000271834"},         // software serial
                          {57, 71, "Впрыск 1.6 8кл."},    // system or engine
                          {72, 78, "1411020"},            // spare parts code
                          {79, 88, "21.04.2004"},         // programming date
                          {89, 96, "K51-0402"},           // software code
                      });
}

// Type 1's default equipment: oxygen sensor, canister, knock and phase sensors (byte 2);
// throttle zero adaptation, permanent fault storage, vehicle speed sensor (byte 3).
constexpr settings::PerEcuType<Family> kFamilies = settings::OnePerEcuType<Family>(
    Family{0, 0x11, "TAVRO - KX4.2", LiveDataType0, IdentificationType0, false, {0x00, 0x00}},
    Family{1, 0x10, "КАРНЕЛ  -   5.1", LiveDataType1, IdentificationType1, true, {0x2B, 0x1A}});

constexpr bool EachFamilyAtItsType() {
    for (int type = 0; type < settings::kEcuTypes; ++type)
        if (kFamilies[type].type != type)
            return false;
    return true;
}
static_assert(EachFamilyAtItsType(), "the families stand in the order of their ECU types");

// Appends the UTF-8 sequence starting at `i` as one Windows-1251 byte and returns its length.
size_t PutCp1251(std::string_view s, size_t i, std::vector<uint8_t>& out) {
    const auto c = static_cast<uint8_t>(s[i]);
    if (c < 0x80) {
        out.push_back(c);
        return 1;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
        const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3Fu);
        if (code >= 0x410 && code <= 0x44F) {
            out.push_back(static_cast<uint8_t>(0xC0 + (code - 0x410)));
        } else if (code == 0x401) {
            out.push_back(0xA8);  // Ё
        } else if (code == 0x451) {
            out.push_back(0xB8);  // ё
        } else {
            out.push_back('?');
        }
        return 2;
    }
    if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
        const unsigned code = ((c & 0x0Fu) << 12) |
                              ((static_cast<uint8_t>(s[i + 1]) & 0x3Fu) << 6) |
                              (static_cast<uint8_t>(s[i + 2]) & 0x3Fu);
        out.push_back(code == 0x2116 ? 0xB9 : '?');  // №
        return 3;
    }
    out.push_back('?');
    return 1;
}

}  // namespace

const Family& FamilyOf(int type) {
    return kFamilies[settings::IsEcuType(type) ? type : 1];
}

const Family& NextFamily(int type) {
    return FamilyOf((type + 1) % settings::kEcuTypes);
}

std::vector<uint8_t> Cp1251(std::string_view utf8) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < utf8.size();) i += PutCp1251(utf8, i, out);
    return out;
}

}  // namespace sim
