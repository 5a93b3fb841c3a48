// The ECU passport: the identification record (ReadEcuIdentification 0x1A 0x80) and its
// eleven fields, decoded per ECU family.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"
#include "link/port.h"

namespace services {

inline constexpr int kPassportFieldCount = 11;

// One decoded field: at most 19 bytes of text, so the text always ends in a zero byte.
using FieldBuffer = std::array<uint8_t, 21>;

// Sends the identification request once. An invalid ECU type reports "Блок не выбран!" and
// gives a record with `error` set.
kline::KwpMessage ReadIdentification(const kline::EcuProtocol& protocol, kline::Port& port);

// Decodes field `fieldIndex` (0..10) of `record` into `buffer` (zero-filled first). Fields the
// family never fills, erased memory (0xFF first) and an index out of range give an empty
// buffer. An invalid ECU type reports "Блок не выбран!" and leaves `buffer` untouched.
void PassportField(const kline::EcuProtocol& protocol, const kline::KwpMessage& record,
                   int fieldIndex, FieldBuffer& buffer);

// The buffer's text up to its first zero byte, as UTF-8; empty for an empty field.
std::string FieldText(const FieldBuffer& buffer);

// The window's rows, in the order they stand from top to bottom; the field index is the
// number under which a row is decoded.
enum class PassportFrame { Upper, Lower };

struct PassportRow {
    int fieldIndex;
    const char* control;  // object name of the read-only edit
    const char* caption;  // label text, before its leader of dots
    PassportFrame frame;
};

extern const std::array<PassportRow, kPassportFieldCount> kPassportRows;

}  // namespace services
