// The serial port of the K-line adapter: opened afresh for every connection, configured
// for 10400 baud 8N1 with DTR and RTS low, closed with the adapter's byte 0xAA.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "link/kwp_message.h"
#include "platform/serial_port.h"

namespace kline {

inline constexpr uint8_t kAdapterByte = 0xAA;

// portHandle of the connection state: the device of the last open attempt, if any.
struct Port {
    std::unique_ptr<platform::SerialPort> device;
    bool IsOpen() const { return device != nullptr; }
};

// The per-byte time-outs: every single read or write gives up after 20 x 1 + 90 = 110 ms.
platform::CommTimeouts LineTimeouts();

// Opens and configures the port; on failure it has shown its message (caption
// "Внимание!", warning icon) and closed what it opened.
bool OpenPort(platform::SerialBackend& backend, const std::string& portName, uint32_t baudRate,
              Port& port);

// The adapter check's probe on the open port: 0xAA out, one byte back. None when the adapter
// echoed it; NoEcho when nothing came (no power: the adapter takes it from the car's
// diagnostic socket); EchoDiffers when another byte came (wrong rate or a noisy line).
FailureReason ProbeAdapter(Port& port);

// Sends the adapter byte and closes the port; does nothing on a port that is not open.
// The handle is closed even when the byte cannot be written (adapter pulled), and never twice.
void ClosePort(Port& port);

// How the line is pulled low for the fast initialisation's 25 ms (ISO 14230-2 5.2.4.2.3).
enum class WakeUpMethod : uint8_t {
    Break,    // set-break, 25 ms, clear-break: timed by the program
    LowByte,  // 0x00 at 360 baud: start bit and eight zero bits are 25.0 ms, timed by the chip
};

inline constexpr uint32_t kLowByteBaud = 360;

// After a wake-up that went wrong the line stays idle this long before the next one
// (ISO 14230-2 W5).
inline constexpr int kIdleBeforeNewWakeUpMs = 300;

// The ECU takes StartCommunication up to 51 ms after the line went low (ISO 14230-2 TWuP,
// 50 +- 1 ms); a quarter of a millisecond is left for the way to the line.
inline constexpr int64_t kLatestStartMicros = 50'750;
// A wake-up after which StartCommunication could not begin in time is made again; this many
// patterns in all.
inline constexpr int kWakeUpTries = 3;

// What the line did during one wake-up.
struct WakeUpLine {
    bool breakLate = false;    // clear-break returned far later than asked: no break on this cable
    bool rateRefused = false;  // the port would not take 360 baud (or 10400 again)
    // After an echoed low byte: the clock time by which StartCommunication's first byte must
    // have begun; 0 when there is no such limit.
    int64_t startBy = 0;
};

// One byte on the line at `baud`: start bit, eight data bits, stop bit.
constexpr int64_t ByteMicros(uint32_t baud) {
    return 10 * 1'000'000 / baud;
}

// When a byte handed to the driver between `called` and `returned` began on the line, for a
// byte `byteMicros` long. A tty driver takes a byte and returns at once: one that returns
// well before the byte could have gone out was held on its way in (a lock, the scheduler), and
// the byte began as it returned. A driver that returns once the byte has gone began it one
// byte time before, or when called if that was later.
int64_t ByteBegan(int64_t called, int64_t returned, int64_t byteMicros);

// Pulls the line low for 25 ms by `method` and leaves it high at the line's rate `baudRate`
// until StartCommunication may begin: the break is followed by 25 ms of idle line; the low
// byte is followed by idle line until 50 ms after the byte began (ISO 14230-2 TWuP). The low
// byte's echo says when it has left the chip; only then is the rate set back. One pattern:
// the caller makes it again when StartCommunication could not begin by `startBy`.
WakeUpLine WakeUp(Port& port, WakeUpMethod method, uint32_t baudRate);

// What the station has learnt of the cable on each port while the program runs (nothing of
// it is stored): the wake-up that works there.
struct CableKnowledge {
    WakeUpMethod method = WakeUpMethod::Break;
    bool confirmed = false;  // the ECU has answered after this wake-up on this port
    bool noBreak = false;    // clear-break came back late: the chip cannot make a break
    bool noLowByte = false;  // the port refused 360 baud
};

struct CableMemory {
    std::map<std::string, CableKnowledge> ports;  // by port name
};

inline constexpr const char* kPortBusy =
    "Данный порт уже занят другим приложением или не поддерживается!";
inline constexpr const char* kPortReadSettingsFailed = "Ошибка при чтении параметров порта!";
inline constexpr const char* kPortWriteSettingsFailed = "Ошибка при установлении параметров порта!";
inline constexpr const char* kPortModemLinesFailed = "Ошибка при сбросе сигналов DTR и RTS!";
inline constexpr const char* kPortReadTimeoutsFailed =
    "Ошибка при запросе временных интервалов порта!";
inline constexpr const char* kPortWriteTimeoutsFailed =
    "Ошибка при установке временных интервалов порта!";

}  // namespace kline
