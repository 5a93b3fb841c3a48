// How a port name and a time-out record turn into what the operating system needs. The
// station speaks of ports and time-outs as Windows does ("COM1", the five-field time-out
// record); these pure rules let the POSIX backend honour the same words.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/serial_port.h"

namespace platform {

// The device file for a port name: a name starting with '/' is a path already; "COMn" is
// /dev/ttyS(n-1), the usual Windows-emulation numbering; any other name lives in /dev, so
// "ttyUSB0" (a USB K-line cable) and "pts/3" (a pseudo-terminal) fit the settings file's
// seven characters. An empty name has no device: the result is empty.
std::string DevicePath(const std::string& portName);

// The name CreateFileA takes for a port name on Windows. Windows finds "COM1" to "COM9" by
// their short names only; "COM10" and up (USB cables often get such numbers) open only
// through the device namespace, "\\.\COM10". Every COMn goes that way, so one rule serves
// all; any other name is passed as typed.
std::string Win32DeviceName(const std::string& portName);

// Whether a port that reports `got` baud runs the line at `wanted`: a UART reaches a rate
// only through a divisor, and 2 % off is still the same rate to the far end.
bool SameRate(uint32_t got, uint32_t wanted);

// The Win32 backend's reading of a rate read back after setting `wanted`. Linux numbers every
// rate outside its fixed table 38400 and keeps the true rate beside it, in a UART's custom
// divisor; Wine reports that 38400 when the device has no divisor to read (a pseudo-terminal,
// a USB chip that takes any rate). It tells nothing of the line, so it is taken.
bool Win32TakesRate(uint32_t reported, uint32_t wanted);

// Why CreateFileA refused a port, from GetLastError. Windows answers "access denied" for a
// port that another program holds (the station asks for no sharing).
OpenError Win32OpenError(uint32_t systemError);

// How long one single-byte transfer may wait, by the rules of the Windows time-out record.
struct ByteWait {
    bool unlimited = false;  // wait until the byte is there (all time-outs zero)
    int64_t millis = 0;      // otherwise at most this long; 0 means return at once
};

ByteWait ReadWait(const CommTimeouts& timeouts);
ByteWait WriteWait(const CommTimeouts& timeouts);

// The end of one byte's wait, on the machine's steady clock: a real device waits in real
// time, whatever clock the station's own sleeps run on.
class ByteDeadline {
  public:
    explicit ByteDeadline(ByteWait wait);

    // Milliseconds left, rounded up so that a wait never ends early; -1 without a limit.
    int MillisLeft() const;

    // A failed device is treated as a silent line: the caller gets its answer when the
    // time-out ends, so a loop that retries the transfer keeps its pace instead of spinning.
    void WaitOut() const;

  private:
    bool unlimited_;
    std::chrono::steady_clock::time_point end_;
};

}  // namespace platform
