#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/port_list.h"

namespace platform {

namespace {

constexpr size_t kPortNameChars = 7;  // what the settings file keeps of a name

bool IsComName(const std::string& name) {
    return name.size() > 3 && name.size() <= kPortNameChars && name.rfind("COM", 0) == 0 &&
           std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

// Every device name the system knows, and of them the COM ports: what is plugged in now.
std::vector<std::string> PresentSerialPorts(const DeviceFolders&) {
    std::vector<char> names(64 * 1024);
    DWORD length = 0;
    while ((length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()))) ==
               0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < 16 * 1024 * 1024)
        names.resize(names.size() * 2);
    std::vector<std::string> ports;
    for (size_t at = 0; at < length && names[at] != '\0';) {
        const std::string name(names.data() + at);
        if (IsComName(name))
            ports.push_back(name);
        at += name.size() + 1;
    }
    std::sort(ports.begin(), ports.end(), PortNameLess);
    return ports;
}

}  // namespace platform
