// The serial ports this computer has, for the connection dialog's list: only names that fit
// the settings file's seven characters, in natural order ("ttyUSB2" before "ttyUSB10").
#pragma once

#include <string>
#include <vector>

namespace platform {

// Linux: the USB and ACM serial devices of `deviceFolder` (/dev) and the ttyS ports that
// have a UART behind them, as `classFolder` (/sys/class/tty) tells: the kernel creates more
// ttyS devices than the machine has ports. Windows: the COM ports present; the folders are
// not used there. The USB devices and the processes are where a failed port's cause is
// looked for (platform/port_diagnosis.h).
struct DeviceFolders {
    std::string deviceFolder = "/dev";
    std::string classFolder = "/sys/class/tty";
    std::string usbFolder = "/sys/bus/usb/devices";
    std::string procFolder = "/proc";
};

std::vector<std::string> PresentSerialPorts(const DeviceFolders& folders = {});

// Orders port names by their text, with the trailing number compared as a number.
bool PortNameLess(const std::string& a, const std::string& b);

}  // namespace platform
