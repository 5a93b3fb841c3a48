// The ECU families the station knows, numbered by ECU type in the order of the ECU-type
// dialog: 0 is "TAVRO - KX4.2" at address 0x11, 1 is "КАРНЕЛ  -   5.1" at address 0x10.
//
// kEcuTypes is the one count of them. Each room keeps its own knowledge of a family in a
// table with one entry per family (the link's variants, the catalogue, the services'
// tables, the simulator's records), and every such table is a PerEcuType made by
// OnePerEcuType: raising kEcuTypes then fails to compile at each table that lacks the new
// family's entry, instead of reading past the end of one.
#pragma once

#include <array>
#include <utility>

namespace settings {

inline constexpr int kEcuTypes = 2;

template <class T>
using PerEcuType = std::array<T, kEcuTypes>;

// A table with one entry per ECU family, in the order of the ECU types. An array's own
// initialiser would quietly fill missing entries with empty ones; this refuses them.
template <class T, class... Entries>
constexpr PerEcuType<T> OnePerEcuType(Entries&&... entries) {
    static_assert(sizeof...(Entries) == kEcuTypes,
                  "a table indexed by ECU type needs one entry per ECU family (kEcuTypes)");
    return {T(std::forward<Entries>(entries))...};
}

// 0 .. kEcuTypes - 1; any other value means no ECU type is chosen.
constexpr bool IsEcuType(int type) {
    return type >= 0 && type < kEcuTypes;
}

}  // namespace settings
