#pragma once

#include "toolkit/KWindow.h"

// A system edit control ("EDIT") and its messages.
class KEdit : public KWindow {
public:
    BOOL Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id);

    LRESULT LimitText(UINT count);
    // end -1 selects to the end of the text; start = end = length puts the caret there.
    LRESULT SetSel(int start, int end);
};
