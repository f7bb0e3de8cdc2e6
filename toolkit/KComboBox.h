#pragma once

#include "toolkit/KWindow.h"

// A system combo box ("COMBOBOX") and its messages.
class KComboBox : public KWindow {
public:
    BOOL Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id);

    LRESULT LimitText(UINT count);
    // index -1 appends (never sorted, even with CBS_SORT).
    LRESULT InsertString(int index, const wchar_t* text);
    LRESULT DeleteString(int index);
    LRESULT SetItemHeight(int height);
    LRESULT SetCurSel(int index);
    LRESULT GetCurSel() const;
    LRESULT GetCount() const;
    // Width of the dropped list in pixels, at least the box's own.
    LRESULT SetDroppedWidth(int width);
    // Length of item index's text in characters, CB_ERR when there is no such item.
    LRESULT GetLBTextLen(int index) const;
    BOOL GetComboBoxInfo(COMBOBOXINFO* info) const;
};
