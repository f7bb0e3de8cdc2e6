#include "toolkit/KStatusBar.h"

#include <commctrl.h>

BOOL KStatusBar::Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id) {
    return KWindow::Create(L"msctls_statusbar32", 0, style, x, y, cx, cy, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

LRESULT KStatusBar::SetText(WPARAM partAndType, const wchar_t* text) {
    return ::SendMessageW(Handle(), SB_SETTEXTW, partAndType, reinterpret_cast<LPARAM>(text));
}

LRESULT KStatusBar::GetText(WPARAM part, wchar_t* buffer) const {
    return ::SendMessageW(Handle(), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(buffer));
}

LRESULT KStatusBar::GetTextLength(WPARAM part) const {
    return ::SendMessageW(Handle(), SB_GETTEXTLENGTHW, part, 0);
}

LRESULT KStatusBar::SetParts(WPARAM count, const int* rightEdges) {
    return ::SendMessageW(Handle(), SB_SETPARTS, count, reinterpret_cast<LPARAM>(rightEdges));
}

LRESULT KStatusBar::GetParts(WPARAM count, int* rightEdges) const {
    return ::SendMessageW(Handle(), SB_GETPARTS, count, reinterpret_cast<LPARAM>(rightEdges));
}

LRESULT KStatusBar::GetRect(WPARAM part, RECT* rect) const {
    return ::SendMessageW(Handle(), SB_GETRECT, part, reinterpret_cast<LPARAM>(rect));
}

LRESULT KStatusBar::GetBorders(int* horizontal, int* vertical, int* between) const {
    int borders[3] = {0, 0, 0};
    LRESULT result = ::SendMessageW(Handle(), SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
    if (horizontal != nullptr)
        *horizontal = borders[0];
    if (vertical != nullptr)
        *vertical = borders[1];
    if (between != nullptr)
        *between = borders[2];
    return result;
}

LRESULT KStatusBar::SetMinHeight(WPARAM height) {
    return ::SendMessageW(Handle(), SB_SETMINHEIGHT, height, 0);
}

LRESULT KStatusBar::SetSimple(BYTE simple) {
    return ::SendMessageW(Handle(), SB_SIMPLE, simple, 0);
}

LRESULT KStatusBar::IsSimple() const {
    return ::SendMessageW(Handle(), SB_ISSIMPLE, 0, 0);
}

LRESULT KStatusBar::SetUnicodeFormat(BYTE unicode) {
    return ::SendMessageW(Handle(), CCM_SETUNICODEFORMAT, unicode, 0);
}

LRESULT KStatusBar::GetUnicodeFormat() const {
    return ::SendMessageW(Handle(), CCM_GETUNICODEFORMAT, 0, 0);
}
