// The fonts the station's windows were laid out for, and the faces that stand in for them
// on a desktop without the Windows fonts: Liberation Sans has Arial's widths letter for
// letter, so every text keeps the room it was given.
#pragma once

// Registers the stand-in faces and makes "MS Sans Serif" 11 px the font of every window that
// names no other. Called once, before the first window is built.
void UseStationFonts();
