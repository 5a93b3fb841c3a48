// The message record of the KWP2000 (ISO 14230) exchange: a request or a response.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace kline {

// Why an exchange failed, in the order the exchange meets them on the line. None exactly when
// the error flag is clear.
enum class FailureReason : uint8_t {
    None,
    PortClosed,         // the port is not open
    WriteFailed,        // a request byte could not be written (adapter pulled, driver gone)
    NoEcho,             // an echo byte is missing: nothing came back from the adapter
    EchoDiffers,        // the echo was not the frame sent, and the answer then failed too
    Silent,             // not one byte of an answer after the echo
    NotForTester,       // a format byte without a physical address, or a target other than 0xF1
    WrongSource,        // the answer came from another address than the ECU's
    NegativeAnswer,     // 0x7F, the request's SID, the ECU's code: in data[0..2]
    UnexpectedService,  // any other SID than the request's with bit 0x40
    Truncated,          // the answer stopped part way: a header, data or checksum byte is missing
    BadChecksum,        // every byte came, but the sum does not match
    LateStart,          // after a wake-up the request could not begin within the ECU's window
};

struct KwpMessage {
    std::array<uint8_t, 255> data{};  // data[0] is the service identifier
    uint8_t length = 0;               // valid bytes of data, the SID included
    uint8_t error = 0;  // 1: the exchange failed, no other field but `reason` may be used
    FailureReason reason = FailureReason::None;
};

// A request of the given bytes (SID first), with error clear.
KwpMessage MakeRequest(std::initializer_list<uint8_t> bytes);

// "61 01 0A" for diagnostics and failing test comparisons.
std::string HexBytes(const uint8_t* bytes, size_t count);

// What the reason means for the user, in Russian, as the detailed text of a message box: the
// likely cause at the workbench. `negativeCode` is the ECU's code of a negative answer
// (data[2] of the response).
std::string FailureText(FailureReason reason, uint8_t negativeCode = 0);

// The enum's name, for test rows and traces ("NoEcho").
const char* FailureName(FailureReason reason);

}  // namespace kline
