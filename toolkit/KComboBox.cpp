#include "toolkit/KComboBox.h"

BOOL KComboBox::Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id) {
    return KWindow::Create(L"COMBOBOX", 0, style, x, y, cx, cy, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

LRESULT KComboBox::LimitText(UINT count) {
    return ::SendMessageW(Handle(), CB_LIMITTEXT, count, 0);
}

LRESULT KComboBox::InsertString(int index, const wchar_t* text) {
    return ::SendMessageW(Handle(), CB_INSERTSTRING, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(text));
}

LRESULT KComboBox::DeleteString(int index) {
    return ::SendMessageW(Handle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

LRESULT KComboBox::SetItemHeight(int height) {
    return ::SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, height);
}

LRESULT KComboBox::SetCurSel(int index) {
    return ::SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

LRESULT KComboBox::GetCurSel() const {
    return ::SendMessageW(Handle(), CB_GETCURSEL, 0, 0);
}

LRESULT KComboBox::GetCount() const {
    return ::SendMessageW(Handle(), CB_GETCOUNT, 0, 0);
}

BOOL KComboBox::GetComboBoxInfo(COMBOBOXINFO* info) const {
    return ::GetComboBoxInfo(Handle(), info);
}

LRESULT KComboBox::SetDroppedWidth(int width) {
    return SendMessageW(CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

LRESULT KComboBox::GetLBTextLen(int index) const {
    return ::SendMessageW(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
}
