// The settings record and its file auto.ini: 336 bytes, no header, little-endian numbers.
// The record is all the station remembers between runs: the display groups of both ECU
// families, the port, the delay between requests, the main window's placement, the ECU type.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/ecu_types.h"

namespace settings {

inline constexpr int kRecordSize = 336;
inline constexpr int kGroups = 5;
inline constexpr int kSlots = 29;
inline constexpr uint8_t kEmptySlot = 255;
inline constexpr int kPortNameSize = 8;  // 7 characters and the terminating zero
inline constexpr const char* kFileName = "auto.ini";

struct SettingsRecord {
    // groupLists[t][g][slot]: parameter indices of ECU type t, group g; 255 marks an empty slot.
    PerEcuType<std::array<std::array<uint8_t, kSlots>, kGroups>> groupLists{};
    PerEcuType<std::array<uint8_t, kGroups>> groupCounts{};
    std::array<char, kPortNameSize> portName{};
    int32_t requestDelay = 0;  // milliseconds slept before each request to the ECU
    int32_t windowTop = 0;
    int32_t windowLeft = 0;
    int32_t savedHeight = 0;  // main window size before the diagnostics window opened
    int32_t savedWidth = 0;
    uint8_t windowState = 0;  // 0 normal, 1 minimised, 2 maximised
    std::array<uint8_t, 3> reserved1{};
    int8_t ecuType = 0;  // 0 or 1; anything else means no ECU type is chosen
    std::array<uint8_t, 3> reserved2{};
};

using RecordBytes = std::array<uint8_t, kRecordSize>;

RecordBytes Encode(const SettingsRecord& record);
SettingsRecord Decode(const RecordBytes& bytes);

// The defaults of a first run: empty groups, "COM1", 250 ms. Other fields are left as they are.
void ApplyDefaults(SettingsRecord& record);

// The port name as text (up to the first zero, at most 7 characters).
std::string PortName(const SettingsRecord& record);
// Stores a port name, cut to 7 characters so that it never reaches requestDelay.
void SetPortName(SettingsRecord& record, const std::string& name);

// Reads auto.ini from the working directory; false when it is missing or shorter than 336 bytes.
// Bytes beyond the 336th are ignored; a short file fills the record's first bytes only.
bool LoadSettings(SettingsRecord& record, const std::string& path = kFileName);
// Writes the 336 bytes through a temporary file renamed over auto.ini, so that a failed
// save leaves the old file whole. A symbolic link is followed (its target is replaced, the
// link stays), and the file keeps its permissions.
bool SaveSettings(const SettingsRecord& record, const std::string& path = kFileName);

inline constexpr const char* kLoadFailed = "Не удалось прочитать файл настроек!";
inline constexpr const char* kSaveFailed = "Не удалось сохранить файл настроек!";

}  // namespace settings
