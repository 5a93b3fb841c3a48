// The serial port as the link sees it: the handful of calls the K-line needs,
// one interface for the POSIX backend, the Win32 backend and the simulated devices.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OnePointFive, Two };

// The device-control record: what the port reports and what the link writes back.
// Flow control and character handling are here so that the link can switch all of it
// off: a port left with XON/XOFF on swallows 0x11, the address of the type-0 ECU.
struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool xonXoffOutput = false;  // stop sending on XOFF
    bool xonXoffInput = false;   // send XOFF when the buffer fills
    bool ctsFlow = false;        // hardware handshake on CTS
    bool dsrFlow = false;        // hardware handshake on DSR
    bool dtrHandshake = false;   // DTR driven by the driver
    bool rtsHandshake = false;   // RTS driven by the driver
    bool replaceParityErrors = false;
    bool stripNulls = false;
};

// Communication time-outs in milliseconds, as the Win32 record names them.
struct CommTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

// One opened device. Every call reports success; ReadByte and WriteByte report the
// number of bytes transferred (0 or 1), a read that times out transfers nothing.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool GetState(LineSettings& settings) = 0;
    virtual bool SetState(const LineSettings& settings) = 0;
    virtual bool ClearDtr() = 0;
    virtual bool ClearRts() = 0;
    virtual bool GetTimeouts(CommTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool PurgeReceive() = 0;
    virtual int ReadByte(uint8_t& byte) = 0;
    virtual int WriteByte(uint8_t byte) = 0;
    virtual bool SetBreak() = 0;
    virtual bool ClearBreak() = 0;
    virtual bool Close() = 0;
};

// Why a port could not be opened, as far as the system tells it.
enum class OpenError : uint8_t {
    Unknown,
    Missing,           // no such device (a cable unplugged, or taken by another driver)
    PermissionDenied,  // the user may not use the device
    Busy,              // another program holds it
    NotSerial,         // the name is not a serial device
    NoUart,            // a serial device with no chip behind it (a ttyS port the PC lacks)
};

// A program that has a device open.
struct Holder {
    std::string program;  // its name as the system shows it
    int pid = 0;
};

// Who may use a device that refused the user, as its file and the user database tell.
struct DeviceAccess {
    std::string kernelName;  // the device's own name (ttyUSB0), behind any link to it
    std::string owner;       // the device file's owner
    std::string group;       // and its group
    uint32_t mode = 0;       // its permission bits, 0660 as a rule
    bool userIsOwner = false;
    bool inGroup = false;      // this login session has the device's group
    bool groupListed = false;  // the user database lists the user in it (perhaps since login)
    std::string serialGroup = "dialout";  // the group this system gives serial ports to
    bool inSerialGroup = false;           // this login session has it
    bool serialGroupListed = false;       // the user database lists the user in it
};

// Why a port failed, as far as the system tells it.
struct OpenFailure {
    OpenError error = OpenError::Unknown;
    std::string device;           // the device file (or name) that was tried
    std::vector<Holder> holders;  // the programs that hold a busy port, where they can be seen
    DeviceAccess access;          // for PermissionDenied
    std::string brailleChip;      // vendor:product of a USB serial chip the braille service holds
};

// Opens devices by the name the user typed ("COM1", "ttyUSB0", "pts/3", "/dev/...").
// Opening is exclusive: a port that another program holds gives nullptr.
class SerialBackend {
  public:
    virtual ~SerialBackend() = default;
    virtual std::unique_ptr<SerialPort> Open(const std::string& name) = 0;
    // Why the last Open gave nullptr; a backend that cannot tell says Unknown.
    virtual OpenFailure LastOpenFailure() const { return {}; }
    // Why a port that opened refuses its settings calls, as far as the system tells it (a
    // device with no chip behind it); Unknown when the system names no cause.
    virtual OpenFailure ExamineOpenedPort(const std::string& /*name*/) const { return {}; }
};

// The backend of this operating system (POSIX or Win32, chosen by the build).
SerialBackend& SystemSerialBackend();

}  // namespace platform
