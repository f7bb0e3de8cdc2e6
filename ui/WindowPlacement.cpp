#include "ui/WindowPlacement.h"

#include "app/Settings.h"

// The key is opened afresh for each, so that a key deleted while the program runs is made again.

bool SaveWindowPos(HWND window) {
    Settings settings;
    if (!settings.Open())
        return false;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(window, &placement);
    settings.WriteWindowPlacement(placement);
    return true;
}

bool RestoreWindowPos(HWND window) {
    Settings settings;
    WINDOWPLACEMENT placement{};
    if (!settings.Open() || !settings.ReadWindowPlacement(placement))
        return false;
    // Only the position and size apply: the window is shown later, normally, by start-up.
    placement.length = sizeof placement;
    placement.showCmd = SW_HIDE;
    ::SetWindowPlacement(window, &placement);
    return true;
}
