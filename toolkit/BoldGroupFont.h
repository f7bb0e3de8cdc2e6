#pragma once

#include "toolkit/Dpi.h"
#include "toolkit/GdiObject.h"

#include <windows.h>

// The title font of a dialog's group box: the bold form of the dialog's font, made again at each
// change of dpi. The dialog manager (Windows 10) scales the rest of a dialog then; this font is
// ours to scale.
class BoldGroupFont {
public:
    // Gives group the bold form of its dialog's font. False when the font cannot be made.
    bool Make(HWND group);
    // The font made again for the dialog's new dpi (WM_DPICHANGED); where it cannot be made,
    // the old one stays.
    void FollowDpi(UINT newDpi);
    HFONT Get() const { return font.Get(); }

private:
    HWND group = nullptr;
    FontObject font;
    // The dpi the font was made for.
    UINT dpi = kBaseDpi;
};
