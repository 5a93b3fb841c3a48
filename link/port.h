// The serial port of the K-line adapter: opened afresh for every connection, configured
// for 10400 baud 8N1 with DTR and RTS low, closed with the adapter's byte 0xAA.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

// Sends the adapter byte and closes the port; does nothing on a port that is not open.
// The handle is closed even when the byte cannot be written (adapter pulled), and never twice.
void ClosePort(Port& port);

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
