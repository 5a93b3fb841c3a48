// Any content of auto.ini: the record loads or is refused, and whatever loads saves back
// byte for byte.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/dev/shm/tavro-settings-fuzz-" + std::to_string(::getpid());
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    settings::SettingsRecord record;
    const bool loaded = settings::LoadSettings(record, path);
    if (loaded != (size >= settings::kRecordSize))
        __builtin_trap();
    // The port name never runs past its field, whatever the bytes.
    if (settings::PortName(record).size() > 7)
        __builtin_trap();
    if (loaded) {
        const settings::RecordBytes bytes = settings::Encode(record);
        if (std::memcmp(bytes.data(), data, bytes.size()) != 0)
            __builtin_trap();
    }
    return 0;
}
