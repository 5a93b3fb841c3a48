#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/port_diagnosis.h"
#include "platform/port_list.h"

namespace platform {

namespace {

constexpr size_t kPortNameChars = 7;  // what the settings file keeps of a name

bool StartsWith(const std::string& name, const char* prefix) {
    return name.rfind(prefix, 0) == 0;
}

bool NumberAfter(const std::string& name, size_t prefixLength) {
    return name.size() > prefixLength &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefixLength), name.end(),
                       [](unsigned char c) { return std::isdigit(c); });
}

// A ttyS device with a UART behind it: its port type is not 0 (PORT_UNKNOWN).
bool HasUart(const DeviceFolders& folders, const std::string& name) {
    return UartType(name, folders).value_or(0) != 0;
}

bool IsSerialPort(const DeviceFolders& folders, const std::string& name) {
    if (name.size() > kPortNameChars)
        return false;
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM"))
        return NumberAfter(name, 6);
    if (StartsWith(name, "ttyS"))
        return NumberAfter(name, 4) && HasUart(folders, name);
    return false;
}

}  // namespace

std::vector<std::string> PresentSerialPorts(const DeviceFolders& folders) {
    std::vector<std::string> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folders.deviceFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (IsSerialPort(folders, name))
            ports.push_back(name);
    }
    std::sort(ports.begin(), ports.end(), PortNameLess);
    return ports;
}

}  // namespace platform
