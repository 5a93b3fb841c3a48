#include "diag/groups.h"

#include <cstdint>

namespace diag {

namespace {

using settings::kEmptySlot;
using settings::kSlots;

// Writes the group back whole, so that every edit leaves it as the editor keeps its groups:
// the entries from slot 0, an empty slot after each of them up to slot 28, the count of them.
void WriteGroup(settings::SettingsRecord& record, int ecuType, int group,
                const std::vector<int>& entries) {
    auto& slots = record.groupLists[ecuType][group];
    for (int slot = 0; slot < kSlots; ++slot) {
        const bool filled = slot < static_cast<int>(entries.size());
        slots[slot] = filled ? static_cast<uint8_t>(entries[slot]) : kEmptySlot;
    }
    record.groupCounts[ecuType][group] = static_cast<uint8_t>(entries.size());
}

}  // namespace

bool IsGroup(int ecuType, int group) {
    return ecuType >= 0 && ecuType < settings::kEcuTypes && group >= 0 && group < settings::kGroups;
}

std::vector<int> GroupEntries(const settings::SettingsRecord& record, int ecuType, int group) {
    std::vector<int> entries;
    if (!IsGroup(ecuType, group))
        return entries;
    for (uint8_t slot : record.groupLists[ecuType][group]) {
        if (slot == kEmptySlot)
            break;
        entries.push_back(slot);
    }
    return entries;
}

bool AddToGroup(settings::SettingsRecord& record, int ecuType, int group, int index) {
    if (!IsGroup(ecuType, group) || index < 0 || index >= kEmptySlot)
        return false;
    std::vector<int> entries = GroupEntries(record, ecuType, group);
    if (static_cast<int>(entries.size()) >= kGroupCapacity)
        return false;
    entries.push_back(index);
    WriteGroup(record, ecuType, group, entries);
    return true;
}

bool RemoveFromGroup(settings::SettingsRecord& record, int ecuType, int group, int position) {
    std::vector<int> entries = GroupEntries(record, ecuType, group);
    if (position < 0 || position >= static_cast<int>(entries.size()))
        return false;
    entries.erase(entries.begin() + position);
    WriteGroup(record, ecuType, group, entries);
    return true;
}

bool ClearGroup(settings::SettingsRecord& record, int ecuType, int group) {
    if (!IsGroup(ecuType, group))
        return false;
    WriteGroup(record, ecuType, group, {});
    return true;
}

}  // namespace diag
