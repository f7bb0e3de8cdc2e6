#include "toolkit/KEdit.h"

BOOL KEdit::Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id) {
    return KWindow::Create(L"EDIT", 0, style, x, y, cx, cy, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

LRESULT KEdit::LimitText(UINT count) {
    return ::SendMessageW(Handle(), EM_SETLIMITTEXT, count, 0);
}

LRESULT KEdit::SetSel(int start, int end) {
    return ::SendMessageW(Handle(), EM_SETSEL, static_cast<WPARAM>(start), end);
}
