#pragma once

#include <windows.h>

// The main window's placement, kept in the settings.

// False when the settings key cannot be opened.
bool SaveWindowPos(HWND window);
// Applies a stored placement to the still hidden window: position and size only, it stays
// hidden. False when nothing usable is stored.
bool RestoreWindowPos(HWND window);
