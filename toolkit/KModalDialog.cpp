#include "toolkit/KModalDialog.h"

BOOL KModalDialog::OnCancel() {
    return EndModal(IDCANCEL);
}

BOOL KModalDialog::DoModal(UINT templateId, HWND parent) {
    if (IsBound()) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    INT_PTR returned =
        ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                          &KDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    result = static_cast<int>(returned);
    // The window is gone whichever way the dialog ended.
    ClearHandle();
    return returned > 0;
}

BOOL KModalDialog::EndModal(int code) {
    BOOL ended = ::EndDialog(Handle(), code);
    ClearHandle();
    return ended;
}
