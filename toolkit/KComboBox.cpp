#include "toolkit/KComboBox.h"

BOOL KComboBox::Create(DWORD style, int x, int y, int cx, int cy, HWND parent, UINT id) {
    return KWindow::Create(L"COMBOBOX", 0, style, x, y, cx, cy, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

LRESULT KComboBox::LimitText(WPARAM count) {
    return ::SendMessageW(Handle(), CB_LIMITTEXT, count, 0);
}

LRESULT KComboBox::InsertString(WPARAM index, const wchar_t* text) {
    return ::SendMessageW(Handle(), CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text));
}

LRESULT KComboBox::DeleteString(WPARAM index) {
    return ::SendMessageW(Handle(), CB_DELETESTRING, index, 0);
}

LRESULT KComboBox::SetItemHeight(LPARAM height) {
    return ::SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, height);
}

LRESULT KComboBox::SetCurSel(WPARAM index) {
    return ::SendMessageW(Handle(), CB_SETCURSEL, index, 0);
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
