// The five display groups of each ECU type, as the group editor changes them in the settings
// record: ordered lists of parameter indices in 29 slot bytes, 255 marking an empty slot, with
// one count byte per group.
//
// The record comes from auto.ini unchecked, so a group may hold anything: a count above 16,
// slots with indices beyond the catalogue, entries after an empty slot. Showing a group never
// changes its bytes. An edit works on the entries shown (slot 0 up to the first empty slot)
// and writes the group back whole: those entries first, 255 in every slot after them, and
// the count of them. For a group the editor built itself that is exactly the one slot and the
// count byte the edit touches.
#pragma once

#include <vector>

#include "settings/settings.h"

namespace diag {

// A group takes at most 16 parameters; a seventeenth addition is ignored.
inline constexpr int kGroupCapacity = 16;

// True for ECU type 0 or 1 and group 0..4; anything else names no group of the record.
bool IsGroup(int ecuType, int group);

// The parameter indices the group shows, in slot order: slot 0 up to the first empty slot,
// at most all 29. Empty when (ecuType, group) names no group.
std::vector<int> GroupEntries(const settings::SettingsRecord& record, int ecuType, int group);

// Appends a parameter index (0..254) to the group. Ignored (false) when the group already
// shows 16 or more entries, the index does not fit a slot, or (ecuType, group) names no group.
bool AddToGroup(settings::SettingsRecord& record, int ecuType, int group, int index);

// Removes the entry at `position` of the shown entries; the later entries move one slot down
// and the empty slot after them follows. Ignored (false) for a position outside the entries.
bool RemoveFromGroup(settings::SettingsRecord& record, int ecuType, int group, int position);

// Empties the group: all 29 slots 255, count 0. Only this group changes. False (and nothing
// changes) when (ecuType, group) names no group.
bool ClearGroup(settings::SettingsRecord& record, int ecuType, int group);

}  // namespace diag
