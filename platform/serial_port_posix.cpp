// Placeholder until the POSIX backend lands: no device can be opened.
#include "platform/serial_port.h"

namespace platform {
namespace {
class NoDevices final : public SerialBackend {
public:
    std::unique_ptr<SerialPort> Open(const std::string&) override { return nullptr; }
};
}  // namespace
SerialBackend& SystemSerialBackend() {
    static NoDevices backend;
    return backend;
}
}  // namespace platform
