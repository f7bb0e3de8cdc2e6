#pragma once

#include "app/WideString.h"

#include <windows.h>

// The look of the main window's progress display: a grey gradient, the done part in a gradient
// of the highlight colour, and the percentage centred over both.
struct ProgressColors {
    COLORREF light; // top of the done part
    COLORREF dark;  // bottom of the done part
};

// Both shades from the system's current highlight colour.
ProgressColors HighlightColors();

// Paints the owner-drawn display off screen and copies it in one go; text receives the
// percentage text. False when no off-screen surface could be made (nothing is drawn then).
bool PaintProgress(const DRAWITEMSTRUCT& item, float percent, const ProgressColors& colors,
                   HFONT font, WideString& text);
