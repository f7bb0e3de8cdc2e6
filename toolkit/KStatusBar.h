#pragma once

#include "toolkit/KWindow.h"

// A common-controls status bar ("msctls_statusbar32") and its messages. The class must be
// registered before Create; Wine and Windows register it when comctl32 is loaded.
class KStatusBar : public KWindow {
public:
    BOOL Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id);

    // partAndType: the part index OR'ed with a drawing type (SBT_*).
    LRESULT SetText(WPARAM partAndType, const wchar_t* text);
    LRESULT GetText(WPARAM part, wchar_t* buffer) const;
    LRESULT GetTextLength(WPARAM part) const;
    LRESULT SetParts(WPARAM count, const int* rightEdges);
    LRESULT GetParts(WPARAM count, int* rightEdges) const;
    LRESULT GetRect(WPARAM part, RECT* rect) const;
    // Horizontal border, vertical border and the gap between parts; any pointer may be null.
    LRESULT GetBorders(int* horizontal, int* vertical, int* between) const;
    LRESULT SetMinHeight(WPARAM height);
    LRESULT SetSimple(BYTE simple);
    LRESULT IsSimple() const;
    LRESULT SetUnicodeFormat(BYTE unicode);
    LRESULT GetUnicodeFormat() const;
};
