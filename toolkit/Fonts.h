#pragma once

#include "toolkit/GdiObject.h"

#include <windows.h>

#include <initializer_list>

// A form of base in another weight, its height grown by growthQuarters quarters (0: the same
// size). Null when base cannot be read or the font cannot be made.
HFONT CreateFontVariant(HFONT base, LONG weight, int growthQuarters = 0);

// Gives the controls font, which owner takes; the font owner held before is deleted only after
// none of them holds it any more. False, with everything left as it was, when font is null.
bool HandFont(FontObject& owner, HFONT font, std::initializer_list<HWND> controls);
