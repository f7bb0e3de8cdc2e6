#pragma once

#include <windows.h>

// Fills rect with a vertical gradient, line by line, from top at the first line towards bottom
// (the last line gets top + (n - 1)(bottom - top) / n). Draws nothing and returns FALSE for a
// rectangle less than 2 pixels high.
BOOL FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
