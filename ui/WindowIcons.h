#pragma once

#include "toolkit/IconObject.h"

#include <windows.h>

// The program's icon in a window's caption and task-bar button, in the sizes of the window's
// dpi. The icons are the window's own, made again at each change of dpi.
class WindowIcons {
public:
    // Gives the window its big and small icon for dpi; one that cannot be made stays as it was.
    void Set(HWND window, UINT dpi);
    // Takes the icons back from the window before they go.
    void Clear(HWND window);

private:
    IconObject big;
    IconObject small;
};
