#include "platform/serial_rules.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <thread>
#include <utility>

#include "platform/port_list.h"

namespace platform {

namespace {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;  // MAXDWORD, the record's "special" value

bool StartsWithCom(const std::string& name) {
    if (name.size() < 4)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return false;
    return true;
}

// n of "COMn" (any case, as Windows reads it), or 0 when the name is not of that form.
unsigned ComNumber(const std::string& name) {
    if (!StartsWithCom(name))
        return 0;
    unsigned number = 0;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last)
        return 0;
    return number;
}

// The number at the end of a name, and the text before it.
std::pair<std::string, unsigned long> Split(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    const std::string number = name.substr(digits).substr(0, 9);
    return {name.substr(0, digits), number.empty() ? 0 : std::stoul(number)};
}

ByteWait Limited(int64_t millis) {
    return ByteWait{false, millis};
}

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
    return Split(a) < Split(b);
}

std::string DevicePath(const std::string& portName) {
    if (portName.empty())
        return {};
    if (portName.front() == '/')
        return portName;
    if (const unsigned n = ComNumber(portName); n >= 1)
        return "/dev/ttyS" + std::to_string(n - 1);
    return "/dev/" + portName;
}

std::string Win32DeviceName(const std::string& portName) {
    if (const unsigned n = ComNumber(portName); n >= 1)
        return "\\\\.\\COM" + std::to_string(n);
    return portName;
}

bool SameRate(uint32_t got, uint32_t wanted) {
    const int64_t off = int64_t{got} - int64_t{wanted};
    return (off < 0 ? -off : off) * 50 <= int64_t{wanted};
}

bool Win32TakesRate(uint32_t reported, uint32_t wanted) {
    constexpr uint32_t kLinuxCustomRateAlias = 38400;
    return SameRate(reported, wanted) || reported == kLinuxCustomRateAlias;
}

OpenError Win32OpenError(uint32_t systemError) {
    // winerror.h: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED and
    // ERROR_SHARING_VIOLATION.
    switch (systemError) {
        case 2:
        case 3:
            return OpenError::Missing;
        case 5:
        case 32:
            return OpenError::Busy;
        default:
            return OpenError::Unknown;
    }
}

ByteWait ReadWait(const CommTimeouts& t) {
    const bool noTotal = t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    if (t.readInterval == kMaxDword) {
        // Return what is there at once, or wait only the constant for the first byte.
        if (noTotal)
            return Limited(0);
        if (t.readTotalMultiplier == kMaxDword && t.readTotalConstant != kMaxDword)
            return Limited(t.readTotalConstant);
    }
    // The interval time-out runs only between bytes, so a one-byte read without a total
    // time-out waits for its byte.
    if (noTotal)
        return ByteWait{true, 0};
    return Limited(int64_t{t.readTotalMultiplier} + t.readTotalConstant);
}

ByteWait WriteWait(const CommTimeouts& t) {
    if (t.writeTotalMultiplier == 0 && t.writeTotalConstant == 0)
        return ByteWait{true, 0};
    return Limited(int64_t{t.writeTotalMultiplier} + t.writeTotalConstant);
}

ByteDeadline::ByteDeadline(ByteWait wait)
    : unlimited_(wait.unlimited),
      end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(wait.millis)) {}

int ByteDeadline::MillisLeft() const {
    if (unlimited_)
        return -1;
    const auto left = end_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto millis = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return millis > INT_MAX ? INT_MAX : static_cast<int>(millis);
}

void ByteDeadline::WaitOut() const {
    if (!unlimited_)
        std::this_thread::sleep_until(end_);
}

}  // namespace platform
