// Where the POSIX backend looks for the cause of a port that failed: the UART behind a ttyS
// device, the programs that hold a device open, the braille display service holding a USB
// serial chip, and who may use a device file. The system's folders are parameters, so that
// tests build a system of their own (no root, no real device).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/port_list.h"
#include "platform/serial_port.h"

namespace platform {

// The port type the kernel found behind a ttyS device (0: no UART answered there); nothing
// for other devices or when the kernel does not say.
std::optional<int> UartType(const std::string& kernelName, const DeviceFolders& folders);

// The processes other than `self` that have the device file `device` (a resolved path) open,
// as their open files under the process folder show. Only processes the user may look into
// are seen: those of other users and of system services stay hidden.
std::vector<Holder> HoldersOf(const std::string& device, int self, const DeviceFolders& folders);

// vendor:product of a USB serial chip that the braille display service holds: the service
// runs and an interface of the chip is claimed through usbfs, the way it takes the cables it
// believes to be braille displays (the serial driver then lets go and the port vanishes).
// Empty otherwise.
std::string BrailleHeldChip(const DeviceFolders& folders);

// Who may use the device file at `path`: its owner, group and mode, and where the user
// stands in the user database and in this login session.
DeviceAccess AccessOf(const std::string& path);

// Why `path` failed with `error`: an errno of open(), or EBUSY / ENOTTY of the backend's own
// checks after it. `self` is this process, which never counts as a holder.
OpenFailure Diagnose(const std::string& path, int error, const DeviceFolders& folders, int self);

// The device file behind `path` (links followed), or `path` itself when it does not resolve.
std::string ResolvedDevice(const std::string& path);

}  // namespace platform
