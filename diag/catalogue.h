// The parameter catalogue: which live engine parameters each ECU family reports, how the
// user sees them and how their bytes in the live data record (the answer 0x61 0x01 ...) are
// turned into text. The catalogue of the ECU type held by the protocol object is looked up
// on every call, so a change of ECU type takes effect at the next call.
//
// A parameter index is a 0-based row number of the current type's catalogue. For no valid
// ECU type every operation says "Блок не выбран!" (once per call) and returns its fallback.
#pragma once

#include <string>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"

namespace diag {

// The texts of a flag parameter.
inline constexpr const char* kYes = "Да";
inline constexpr const char* kNo = "Нет";

// 29 rows for ECU type 0, 34 for ECU type 1; 0 for no valid type.
int ParamCount(const kline::EcuProtocol& protocol);

// Texts of a row (UTF-8); empty for an index outside the rows. Short name and unit may be
// empty for a valid row too.
std::string ParamName(const kline::EcuProtocol& protocol, int index);
std::string ParamShortName(const kline::EcuProtocol& protocol, int index);
std::string ParamUnit(const kline::EcuProtocol& protocol, int index);

// The limits given to the row's graph; -1 and 1 for an index outside the rows.
int ParamGraphMin(const kline::EcuProtocol& protocol, int index);
int ParamGraphMax(const kline::EcuProtocol& protocol, int index);

// The value text of a row decoded from a live data record: "Да"/"Нет" for a flag, otherwise
// the number in the general decimal form with the user's separator. Empty for an index
// outside the rows; "0" (after an information message) for no valid ECU type.
std::string ParamText(const kline::EcuProtocol& protocol, const kline::KwpMessage& record,
                      int index);

// The whole number a graph draws for a value text: 1 for "Да", 0 for "Нет", otherwise the
// number read back with the user's separator and truncated toward zero. A text that is no
// number (the empty text of an index outside the rows) draws 0 rather than failing.
int GraphValue(const std::string& valueText);

}  // namespace diag
