#include "toolkit/KDialog.h"

KDialog::~KDialog() {
    // A window that outlives its object must not reach the dead object through DWL_USER.
    if (Handle() != nullptr &&
        ::GetWindowLongPtrW(Handle(), DWLP_USER) == reinterpret_cast<LONG_PTR>(this))
        ::SetWindowLongPtrW(Handle(), DWLP_USER, 0);
}

BOOL KDialog::OnInitDialog() {
    return FALSE;
}

BOOL KDialog::OnOK() {
    return FALSE;
}

BOOL KDialog::OnCancel() {
    return Destroy();
}

BOOL KDialog::OnSize(WPARAM, UINT, UINT) {
    return FALSE;
}

BOOL KDialog::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

BOOL KDialog::OnMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}

BOOL KDialog::CreateModeless(UINT templateId, HWND parent) {
    if (IsBound()) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    HWND window =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                             &KDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) {
        // WM_INITDIALOG may have bound us to a window that no longer exists.
        ClearHandle();
        return FALSE;
    }
    BindHandle(window);
    return TRUE;
}

int KDialog::RunDialogLoop() {
    MSG msg{};
    // GetMessageW gives -1 only on failure; that must end the loop, not spin it.
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(Handle(), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

void KDialog::FocusControl(HWND control) {
    ::PostMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void KDialog::FocusNext(bool previous) {
    ::PostMessageW(Handle(), WM_NEXTDLGCTL, previous ? 1 : 0, FALSE);
}

void KDialog::FocusPrevious() {
    ::PostMessageW(Handle(), WM_NEXTDLGCTL, 1, FALSE);
}

INT_PTR KDialog::DispatchDialogMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_SIZE:
        return OnSize(wParam, LOWORD(lParam), HIWORD(lParam));
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
        if (KWindow* child = ReflectionTarget(msg, lParam)) {
            LRESULT result = 0;
            if (child->OnReflect(msg, wParam, lParam, &result)) {
                ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
                return TRUE;
            }
        }
        if (msg != WM_COMMAND)
            return OnMessage(msg, wParam, lParam);
        // The whole wParam is compared: id 1 or 2 with a notification code is a command.
        if (wParam == IDOK)
            return OnOK();
        if (wParam == IDCANCEL)
            return OnCancel();
        return OnCommand(wParam, lParam);
    default:
        return OnMessage(msg, wParam, lParam);
    }
}

INT_PTR CALLBACK KDialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    KDialog* dialog;
    if (msg == WM_INITDIALOG) {
        dialog = reinterpret_cast<KDialog*>(lParam);
        if (dialog == nullptr)
            return FALSE;
        dialog->BindHandle(hwnd);
        dialog->SetBindingProperty();
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        dialog = reinterpret_cast<KDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, ...) have no object yet.
    if (dialog == nullptr)
        return FALSE;

    // No exception may unwind into the dialog manager.
    try {
        INT_PTR result = dialog->DispatchDialogMessage(hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            // Destroyed by someone else (the owner, DestroyWindow): forget the dead handle.
            ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            if (dialog->Handle() == hwnd) {
                dialog->RemoveBindingProperty();
                dialog->ClearHandle();
            }
        }
        return result;
    } catch (...) {
        return FALSE;
    }
}
