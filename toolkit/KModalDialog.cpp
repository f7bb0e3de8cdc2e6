#include "toolkit/KModalDialog.h"

BOOL KModalDialog::OnCancel() {
    return EndModal(IDCANCEL);
}

BOOL KModalDialog::DoModal(UINT templateId, HWND parent) {
    if (IsBound()) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    INT_PTR result =
        ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                          &KDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    result_ = static_cast<int>(result);
    // The window is gone whichever way the dialog ended.
    ClearHandle();
    return result > 0;
}

BOOL KModalDialog::EndModal(int result) {
    BOOL ended = ::EndDialog(Handle(), result);
    ClearHandle();
    return ended;
}
