#include "toolkit/KWindow.h"

ATOM KWindow::atom = 0;

KWindow::KWindow() {
    // Every object holds one reference, so the atom lives exactly as long as some object does.
    ATOM added = ::AddAtomW(L"KWindow");
    if (added != 0)
        atom = added;
}

KWindow::~KWindow() {
    if (windowHandle != nullptr) {
        if (previousProc != nullptr)
            Unsubclass();
        // Only our own pointer goes: another object may have subclassed the window.
        if (::GetWindowLongPtrW(windowHandle, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
            ::SetWindowLongPtrW(windowHandle, GWLP_USERDATA, 0);
        RemoveBindingProperty();
    }
    if (atom != 0)
        ::DeleteAtom(atom);
}

BOOL KWindow::SetBindingProperty() {
    return ::SetPropW(windowHandle, MAKEINTATOM(atom), this);
}

void KWindow::RemoveBindingProperty() {
    // Only our own binding goes: another object may have bound the window since.
    if (::GetPropW(windowHandle, MAKEINTATOM(atom)) == this)
        ::RemovePropW(windowHandle, MAKEINTATOM(atom));
}

KWindow* KWindow::FromHandle(HWND window) {
    if (window == nullptr || atom == 0)
        return nullptr;
    return static_cast<KWindow*>(::GetPropW(window, MAKEINTATOM(atom)));
}

BOOL KWindow::Create(const wchar_t* className, DWORD exStyle, DWORD style, int x, int y, int cx,
                     int cy, HWND parent, HMENU menuOrId) {
    if (windowHandle != nullptr) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    HWND window = ::CreateWindowExW(exStyle, className, nullptr, style, x, y, cx, cy, parent,
                                    menuOrId, nullptr, this);
    // A class whose procedure is StaticWindowProc has bound us at WM_NCCREATE already; a failed
    // creation must not leave that dead handle behind.
    windowHandle = window;
    if (window == nullptr)
        return FALSE;
    SetBindingProperty();
    return TRUE;
}

BOOL KWindow::Attach(HWND window, bool subclass) {
    if (windowHandle != nullptr) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    if (!::IsWindow(window)) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    windowHandle = window;
    SetBindingProperty();
    if (subclass)
        Subclass();
    return TRUE;
}

BOOL KWindow::Detach() {
    if (windowHandle == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (previousProc != nullptr)
        Unsubclass();
    RemoveBindingProperty();
    windowHandle = nullptr;
    return TRUE;
}

BOOL KWindow::Destroy() {
    if (windowHandle == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (previousProc != nullptr)
        Unsubclass();
    RemoveBindingProperty();
    ::DestroyWindow(windowHandle);
    windowHandle = nullptr;
    return TRUE;
}

BOOL KWindow::Subclass() {
    if (windowHandle == nullptr || previousProc != nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Another object already sees this window's messages; a second layer would loop.
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(windowHandle, GWLP_WNDPROC)) ==
        &KWindow::StaticWindowProc) {
        ::SetLastError(ERROR_ALREADY_INITIALIZED);
        return FALSE;
    }
    // The object first, so that the first message through the new procedure finds it.
    ::SetWindowLongPtrW(windowHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previousProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        windowHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KWindow::StaticWindowProc)));
    return previousProc != nullptr;
}

BOOL KWindow::Unsubclass() {
    if (windowHandle == nullptr || previousProc == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ::SetWindowLongPtrW(windowHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    ::SetWindowLongPtrW(windowHandle, GWLP_USERDATA, 0);
    previousProc = nullptr;
    return TRUE;
}

DWORD KWindow::ModifyStyle(DWORD add, DWORD remove) {
    DWORD style = (GetStyle() & ~remove) | add;
    ::SetWindowLongW(windowHandle, GWL_STYLE, static_cast<LONG>(style));
    return style;
}

DWORD KWindow::ModifyExStyle(DWORD add, DWORD remove) {
    DWORD style = (GetExStyle() & ~remove) | add;
    ::SetWindowLongW(windowHandle, GWL_EXSTYLE, static_cast<LONG>(style));
    return style;
}

HFONT KWindow::GetParentFont() const {
    HWND parent = ::GetParent(windowHandle);
    if (parent == nullptr)
        return nullptr;
    return reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
}

KWindow* KWindow::ReflectionTarget(UINT msg, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        return FromHandle(reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        return header != nullptr ? FromHandle(header->hwndFrom) : nullptr;
    }
    case WM_DRAWITEM: {
        // Owner-drawn menu items carry a menu handle there, not a window.
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item == nullptr || item->CtlType == ODT_MENU)
            return nullptr;
        return FromHandle(item->hwndItem);
    }
    default:
        return nullptr;
    }
}

LRESULT KWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (KWindow* child = ReflectionTarget(msg, lParam)) {
        LRESULT result = 0;
        if (child->OnReflect(msg, wParam, lParam, &result))
            return result;
    }
    if (previousProc != nullptr)
        return ::CallWindowProcW(previousProc, windowHandle, msg, wParam, lParam);
    return ::DefWindowProcW(windowHandle, msg, wParam, lParam);
}

BOOL KWindow::OnReflect(UINT, WPARAM, LPARAM, LRESULT*) {
    return FALSE;
}

LRESULT CALLBACK KWindow::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    KWindow* object;
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        object = static_cast<KWindow*>(create->lpCreateParams);
        if (object != nullptr) {
            object->windowHandle = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        }
    } else {
        object = reinterpret_cast<KWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (object == nullptr)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);

    // No exception may unwind into the system's code that called us.
    try {
        LRESULT result = object->WindowProc(msg, wParam, lParam);
        if (msg == WM_NCDESTROY && object->windowHandle == hwnd) {
            // The window is gone without the object being told: drop the dead handle so that
            // nothing is done later to a window that may then bear the same handle.
            object->RemoveBindingProperty();
            object->previousProc = nullptr;
            object->windowHandle = nullptr;
        }
        return result;
    } catch (...) {
        return 0;
    }
}
