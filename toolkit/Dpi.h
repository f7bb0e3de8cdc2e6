#pragma once

#include <windows.h>

// Dots per inch at 100 % scaling: the pixel sizes of the layouts are given for it.
constexpr UINT kBaseDpi = 96;

// A length of pixels at 96 dpi as it is at dpi, rounded to the nearest pixel (halves away from
// zero, as MulDiv does).
constexpr int ScaleForDpi(int pixels, UINT dpi) {
    const long long product = static_cast<long long>(pixels) * static_cast<long long>(dpi);
    const long long half = kBaseDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi
                                         : -((-product + half) / kBaseDpi));
}

// What the system says about the scaling of a window. The entry points of newer systems (Windows
// 10 and later) are looked up once at run time, so that the program still starts on Windows 7;
// where they are missing, each query falls back on what every system has: the screen's
// LOGPIXELSY, which is the one dpi of a system-aware process.
class Dpi {
public:
    // The dpi the window is drawn at; the system's where windows have no dpi of their own.
    static UINT ForWindow(HWND window);
    static UINT ForSystem();

    // The system metric (SM_CXICON, SM_CXVSCROLL, ...) at that dpi.
    static int SystemMetric(int index, UINT dpi);
    // The window rectangle that has this client rectangle, with a frame of that dpi.
    static BOOL AdjustWindowRect(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);

    // The font of status bars (NONCLIENTMETRICS lfStatusFont) at that dpi.
    static BOOL StatusFont(LOGFONTW* font, UINT dpi);

    // Tells the dialog manager of Windows 10 1703 and later to leave this dialog alone at a
    // change of dpi (size, fonts, places of the controls): its owner does all that itself.
    static bool LayOutDialogAlone(HWND dialog);
    // Asks the dialog manager of Windows 10 1703 and later not to replace the font of this
    // control at a change of dpi: its owner gives it one of its own. True when it was asked.
    static bool KeepControlFont(HWND control);

    // A font description made for one dpi, made for another: the height scales, the width is
    // left to the font mapper.
    static LOGFONTW ScaleFont(const LOGFONTW& font, UINT fromDpi, UINT toDpi);

    // A new font like this one, made for toDpi instead of fromDpi; null when it cannot be made.
    static HFONT CreateScaledFont(HFONT font, UINT fromDpi, UINT toDpi);

    // The dpi in the wParam of WM_DPICHANGED.
    static UINT FromDpiChanged(WPARAM wParam) { return HIWORD(wParam); }
};
