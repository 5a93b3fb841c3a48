// The serial port on Windows: the system's communications calls, one byte per transfer.
// A COM port goes to CreateFileA by its device name ("COM12" as \\.\COM12), any other name
// as the user typed it.
#include <windows.h>

#include "platform/serial_port.h"
#include "platform/serial_rules.h"

namespace platform {

namespace {

// The DCB's codes beside our values, looked up both ways.
template <class Value>
struct CodeRow {
    Value value;
    BYTE code;
};

using ParityRow = CodeRow<Parity>;
using StopBitsRow = CodeRow<StopBits>;

constexpr ParityRow kParityCodes[] = {{Parity::None, NOPARITY},
                                      {Parity::Odd, ODDPARITY},
                                      {Parity::Even, EVENPARITY},
                                      {Parity::Mark, MARKPARITY},
                                      {Parity::Space, SPACEPARITY}};

constexpr StopBitsRow kStopBitsCodes[] = {{StopBits::One, ONESTOPBIT},
                                          {StopBits::OnePointFive, ONE5STOPBITS},
                                          {StopBits::Two, TWOSTOPBITS}};

// The row whose `field` is `key`; the first row when none is (a code the port invented).
template <class Row, size_t N, class Key>
const Row& RowWith(const Row (&rows)[N], Key Row::*field, Key key) {
    for (const Row& row : rows) {
        if (row.*field == key)
            return row;
    }
    return rows[0];
}

LineSettings FromDcb(const DCB& dcb) {
    LineSettings s;
    s.baudRate = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = RowWith(kParityCodes, &ParityRow::code, dcb.Parity).value;
    s.stopBits = RowWith(kStopBitsCodes, &StopBitsRow::code, dcb.StopBits).value;
    s.xonXoffOutput = dcb.fOutX;
    s.xonXoffInput = dcb.fInX;
    s.ctsFlow = dcb.fOutxCtsFlow;
    s.dsrFlow = dcb.fOutxDsrFlow;
    s.dtrHandshake = dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
    // Toggling RTS around each transmission is the driver's hand on the line too.
    s.rtsHandshake =
        dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE;
    s.replaceParityErrors = dcb.fErrorChar;
    s.stripNulls = dcb.fNull;
    return s;
}

// Every flow-control and character-handling field is written, whatever the port reported:
// a driver left with XON/XOFF, DSR sensitivity or abort-on-error swallows bytes or stalls
// reads, and the type-0 ECU's address 0x11 is the XON character.
void ApplyToDcb(const LineSettings& s, DCB& dcb) {
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.dataBits;
    dcb.Parity = RowWith(kParityCodes, &ParityRow::value, s.parity).code;
    dcb.StopBits = RowWith(kStopBitsCodes, &StopBitsRow::value, s.stopBits).code;
    dcb.fBinary = TRUE;  // the only mode Windows knows
    dcb.fParity = s.parity != Parity::None;
    dcb.fOutxCtsFlow = s.ctsFlow;
    dcb.fOutxDsrFlow = s.dsrFlow;
    dcb.fDtrControl = s.dtrHandshake ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = s.xonXoffOutput;
    dcb.fInX = s.xonXoffInput;
    dcb.fErrorChar = s.replaceParityErrors;
    dcb.fNull = s.stripNulls;
    dcb.fRtsControl = s.rtsHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
}

class Win32SerialPort final : public SerialPort {
  public:
    explicit Win32SerialPort(HANDLE handle) : handle_(handle) {}
    ~Win32SerialPort() override { Close(); }
    bool Close() override {
        if (!IsOpen())
            return false;
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;  // never closed twice, whatever CloseHandle says
        return CloseHandle(handle);
    }

    bool GetState(LineSettings& settings) override {
        DCB dcb{};
        if (!ReadDcb(dcb))
            return false;
        reported_ = dcb;
        haveReported_ = true;
        settings = FromDcb(dcb);
        return true;
    }

    // The fields the settings do not name keep what the port reported.
    bool SetState(const LineSettings& settings) override {
        DCB dcb = reported_;
        if (!haveReported_ && !ReadDcb(dcb))
            return false;
        ApplyToDcb(settings, dcb);
        // A driver that cannot make the rate refuses it here; one that rounds it tells only
        // when the state is read back.
        DCB applied{};
        return IsOpen() && SetCommState(handle_, &dcb) && ReadDcb(applied) &&
               Win32TakesRate(applied.BaudRate, settings.baudRate);
    }

    bool ClearDtr() override { return Escape(CLRDTR); }
    bool ClearRts() override { return Escape(CLRRTS); }

    bool GetTimeouts(CommTimeouts& timeouts) override {
        COMMTIMEOUTS record{};
        if (!IsOpen() || !GetCommTimeouts(handle_, &record))
            return false;
        timeouts.readInterval = record.ReadIntervalTimeout;
        timeouts.readTotalMultiplier = record.ReadTotalTimeoutMultiplier;
        timeouts.readTotalConstant = record.ReadTotalTimeoutConstant;
        timeouts.writeTotalMultiplier = record.WriteTotalTimeoutMultiplier;
        timeouts.writeTotalConstant = record.WriteTotalTimeoutConstant;
        timeouts_ = timeouts;
        return true;
    }

    bool SetTimeouts(const CommTimeouts& timeouts) override {
        COMMTIMEOUTS record{};
        record.ReadIntervalTimeout = timeouts.readInterval;
        record.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
        record.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
        record.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
        record.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
        if (!IsOpen() || !SetCommTimeouts(handle_, &record))
            return false;
        timeouts_ = timeouts;
        return true;
    }

    bool PurgeReceive() override { return IsOpen() && PurgeComm(handle_, PURGE_RXCLEAR); }

    int ReadByte(uint8_t& byte) override {
        return TransferByte(ReadWait(timeouts_), [&](DWORD& count) {
            return ReadFile(handle_, &byte, 1, &count, nullptr);
        });
    }

    int WriteByte(uint8_t byte) override {
        return TransferByte(WriteWait(timeouts_), [&](DWORD& count) {
            return WriteFile(handle_, &byte, 1, &count, nullptr);
        });
    }

    bool SetBreak() override { return IsOpen() && SetCommBreak(handle_); }
    bool ClearBreak() override { return IsOpen() && ClearCommBreak(handle_); }

  private:
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // One byte through ReadFile or WriteFile (`transfer`); 1 when it went through. A call
    // that fails at once (a removed adapter) still takes the byte's wait: keep the line's pace.
    template <class Transfer>
    int TransferByte(ByteWait wait, Transfer transfer) {
        if (!IsOpen())
            return 0;
        const ByteDeadline deadline(wait);
        DWORD count = 0;
        if (transfer(count))
            return count == 1 ? 1 : 0;
        deadline.WaitOut();
        return 0;
    }

    bool ReadDcb(DCB& dcb) {
        dcb.DCBlength = sizeof dcb;
        return IsOpen() && GetCommState(handle_, &dcb);
    }

    // A device without modem lines (a USB adapter without them, a virtual port) answers
    // ERROR_NOT_SUPPORTED: there is nothing to clear.
    bool Escape(DWORD function) {
        if (!IsOpen())
            return false;
        return EscapeCommFunction(handle_, function) || GetLastError() == ERROR_NOT_SUPPORTED;
    }

    HANDLE handle_;
    DCB reported_{};
    bool haveReported_ = false;
    CommTimeouts timeouts_;  // as last read or written, for the wait after a failed transfer
};

// Win32OpenError names the system's error codes by number.
static_assert(ERROR_FILE_NOT_FOUND == 2 && ERROR_PATH_NOT_FOUND == 3 && ERROR_ACCESS_DENIED == 5 &&
              ERROR_SHARING_VIOLATION == 32);

class Win32SerialBackend final : public SerialBackend {
  public:
    std::unique_ptr<SerialPort> Open(const std::string& name) override {
        // Read and write, no sharing, plain synchronous transfers.
        const HANDLE handle =
            CreateFileA(Win32DeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        failure_ = {};
        failure_.device = name;
        if (handle == INVALID_HANDLE_VALUE) {
            failure_.error = Win32OpenError(GetLastError());
            return nullptr;
        }
        // A disk file or a pipe opens as well but is no port.
        if (GetFileType(handle) != FILE_TYPE_CHAR) {
            CloseHandle(handle);
            failure_.error = OpenError::NotSerial;
            return nullptr;
        }
        failure_.error = OpenError::Unknown;
        return std::make_unique<Win32SerialPort>(handle);
    }

    OpenFailure LastOpenFailure() const override { return failure_; }

  private:
    OpenFailure failure_;
};

}  // namespace

SerialBackend& SystemSerialBackend() {
    static Win32SerialBackend backend;
    return backend;
}

}  // namespace platform
