#pragma once

#include <windows.h>

// The main window's placement, kept as the system's 44-byte WINDOWPLACEMENT record in the value
// "WindowPos" of the settings key.

// False when the key cannot be opened for writing.
bool SaveWindowPos(HWND window);
// Applies a stored placement to the still hidden window: position and size only, it stays
// hidden. False when nothing usable is stored.
bool RestoreWindowPos(HWND window);
