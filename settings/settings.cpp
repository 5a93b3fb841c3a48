#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace settings {

// Field offsets of the file.
constexpr int kGroupListsAt = 0;
constexpr int kGroupCountsAt = 290;
constexpr int kPortNameAt = 300;
constexpr int kRequestDelayAt = 308;
constexpr int kWindowTopAt = 312;
constexpr int kWindowLeftAt = 316;
constexpr int kSavedHeightAt = 320;
constexpr int kSavedWidthAt = 324;
constexpr int kWindowStateAt = 328;
constexpr int kReserved1At = 329;
constexpr int kEcuTypeAt = 332;
constexpr int kReserved2At = 333;

// The group areas of the file are sized for the ECU families it was laid out for: a further
// family needs a new place for its groups in auto.ini, not groups that run into the port name.
static_assert(kGroupListsAt + kEcuTypes * kGroups * kSlots == kGroupCountsAt,
              "auto.ini holds the group lists of exactly the known ECU families");
static_assert(kGroupCountsAt + kEcuTypes * kGroups == kPortNameAt,
              "auto.ini holds the group counts of exactly the known ECU families");

namespace {

void PutInt32(RecordBytes& bytes, int at, int32_t value) {
    auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t GetInt32(const RecordBytes& bytes, int at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t{bytes[at + i]} << (8 * i);
    return static_cast<int32_t>(u);
}

template <size_t N>
void PutBytes(RecordBytes& bytes, int at, const std::array<uint8_t, N>& from) {
    std::memcpy(bytes.data() + at, from.data(), N);
}

template <size_t N>
void GetBytes(const RecordBytes& bytes, int at, std::array<uint8_t, N>& to) {
    std::memcpy(to.data(), bytes.data() + at, N);
}

// The file a save writes: where a symbolic link (or a chain of them) in the user's set-up
// leads, so that the link stays a link and its target receives the record. A loop of links
// ends after as many hops as a kernel would follow.
std::filesystem::path FileBehindLinks(const std::string& path) {
    namespace fs = std::filesystem;
    constexpr int kMaxHops = 40;
    fs::path file = path;
    std::error_code error;
    for (int hop = 0; hop < kMaxHops && fs::is_symlink(file, error); ++hop) {
        const fs::path target = fs::read_symlink(file, error);
        if (error)
            break;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file;
}

// The new file takes the old one's permissions (a file the user made private stays private);
// a first save keeps what the process's umask gives.
void KeepMode(const std::filesystem::path& old, const std::string& replacement) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(old, error);
    if (!error && std::filesystem::exists(status))
        std::filesystem::permissions(replacement, status.permissions(),
                                     std::filesystem::perm_options::replace, error);
}

}  // namespace

RecordBytes Encode(const SettingsRecord& r) {
    RecordBytes b{};
    for (int t = 0; t < kEcuTypes; ++t)
        for (int g = 0; g < kGroups; ++g) {
            PutBytes(b, kGroupListsAt + t * kGroups * kSlots + g * kSlots, r.groupLists[t][g]);
            b[kGroupCountsAt + t * kGroups + g] = r.groupCounts[t][g];
        }
    std::memcpy(b.data() + kPortNameAt, r.portName.data(), kPortNameSize);
    PutInt32(b, kRequestDelayAt, r.requestDelay);
    PutInt32(b, kWindowTopAt, r.windowTop);
    PutInt32(b, kWindowLeftAt, r.windowLeft);
    PutInt32(b, kSavedHeightAt, r.savedHeight);
    PutInt32(b, kSavedWidthAt, r.savedWidth);
    b[kWindowStateAt] = r.windowState;
    PutBytes(b, kReserved1At, r.reserved1);
    b[kEcuTypeAt] = static_cast<uint8_t>(r.ecuType);
    PutBytes(b, kReserved2At, r.reserved2);
    return b;
}

SettingsRecord Decode(const RecordBytes& b) {
    SettingsRecord r;
    for (int t = 0; t < kEcuTypes; ++t)
        for (int g = 0; g < kGroups; ++g) {
            GetBytes(b, kGroupListsAt + t * kGroups * kSlots + g * kSlots, r.groupLists[t][g]);
            r.groupCounts[t][g] = b[kGroupCountsAt + t * kGroups + g];
        }
    std::memcpy(r.portName.data(), b.data() + kPortNameAt, kPortNameSize);
    r.requestDelay = GetInt32(b, kRequestDelayAt);
    r.windowTop = GetInt32(b, kWindowTopAt);
    r.windowLeft = GetInt32(b, kWindowLeftAt);
    r.savedHeight = GetInt32(b, kSavedHeightAt);
    r.savedWidth = GetInt32(b, kSavedWidthAt);
    r.windowState = b[kWindowStateAt];
    GetBytes(b, kReserved1At, r.reserved1);
    r.ecuType = static_cast<int8_t>(b[kEcuTypeAt]);
    GetBytes(b, kReserved2At, r.reserved2);
    return r;
}

void ApplyDefaults(SettingsRecord& record) {
    for (auto& type : record.groupLists)
        for (auto& group : type) group.fill(kEmptySlot);
    for (auto& type : record.groupCounts) type.fill(0);
    SetPortName(record, "COM1");
    record.requestDelay = 250;
}

std::string PortName(const SettingsRecord& record) {
    // The file is unchecked input: a name without its zero stops at the field's end.
    const char* name = record.portName.data();
    return std::string(name, strnlen(name, kPortNameSize - 1));
}

void SetPortName(SettingsRecord& record, const std::string& name) {
    record.portName.fill(0);
    std::memcpy(record.portName.data(), name.data(),
                std::min<size_t>(name.size(), kPortNameSize - 1));
}

bool LoadSettings(SettingsRecord& record, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    // A short file still lands in the record's first bytes, as one block read would leave it;
    // the caller then lays the defaults over the groups, the port and the delay.
    RecordBytes bytes = Encode(record);
    size_t read = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    record = Decode(bytes);
    return read == bytes.size();
}

bool SaveSettings(const SettingsRecord& record, const std::string& path) {
    const std::filesystem::path target = FileBehindLinks(path);
    const std::string temporary = target.string() + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const RecordBytes bytes = Encode(record);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = (std::fflush(file) == 0) && written;
    written = (std::fclose(file) == 0) && written;
    std::error_code error;
    if (written)
        KeepMode(target, temporary);
    if (written)
        std::filesystem::rename(temporary, target, error);
    if (!written || error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace settings
