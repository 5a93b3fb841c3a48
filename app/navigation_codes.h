// The main window's navigation codes. A section's code is a multiple of 10; a command's code
// is its section's code plus its position in the section's list (the menu entries run the
// same codes). Any other code runs nothing.
#pragma once

#include <cstdint>

enum class Section : uint8_t {
    None = 0,  // before any section was opened
    Settings = 10,
    Ecu = 20,
    Help = 30,
    Exit = 40,
    Control = 50,
};

enum class Command : uint8_t {
    Groups = 11,
    ConnectionSettings = 12,
    EcuType = 13,
    AdapterCheck = 21,
    Passport = 22,
    Diagnostics = 23,
    FaultList = 24,
    ControllerReset = 25,
    FaultClearing = 26,
    Equipment = 27,
    UserGuide = 31,
    About = 32,
    ExitProgram = 41,
    // The three empty entries of "Управление".
    Blank1 = 51,
    Blank2 = 52,
    Blank3 = 53,
};

constexpr Section SectionOf(uint8_t code) {
    return static_cast<Section>(code / 10 * 10);
}

constexpr Section SectionOf(Command command) {
    return SectionOf(static_cast<uint8_t>(command));
}
