#pragma once

#include <windows.h>

// The object side of one window. An object is bound to at most one window and finds its way
// back from the handle through a window property named by the "KWindow" atom; a subclassed
// window also carries the object in GWL_USERDATA. Objects never own their windows: destroying
// an object unbinds it and leaves the window running with its own procedure.
class KWindow {
public:
    KWindow();
    KWindow(const KWindow&) = delete;
    KWindow& operator=(const KWindow&) = delete;

    // Handles one message of a subclassed window: reflects child notifications to the child's
    // object, then hands the message to the procedure that was replaced.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called with a WM_COMMAND, WM_NOTIFY or WM_DRAWITEM that this object's window sent to its
    // parent; returns nonzero when handled, with *result (preset to 0) as the answer.
    virtual BOOL OnReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual ~KWindow();

    HWND Handle() const { return windowHandle; }
    bool IsBound() const { return windowHandle != nullptr; }
    bool IsSubclassed() const { return previousProc != nullptr; }

    BOOL Create(const wchar_t* className, DWORD exStyle, DWORD style, int x, int y, int cx, int cy,
                HWND parent, HMENU menuOrId);
    BOOL Attach(HWND window, bool subclass);
    BOOL Detach();
    BOOL Destroy();
    BOOL Subclass();
    BOOL Unsubclass();

    static KWindow* FromHandle(HWND window);
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The atom every object holds a reference on; the name of the binding property.
    static ATOM BindingAtom() { return atom; }

    DWORD ModifyStyle(DWORD add, DWORD remove);
    DWORD ModifyExStyle(DWORD add, DWORD remove);

    // One-line wrappers: the Win32 call of the same name on this object's window.
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(windowHandle); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(windowHandle, id); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(windowHandle, GWL_STYLE)); }
    DWORD GetExStyle() const {
        return static_cast<DWORD>(::GetWindowLongW(windowHandle, GWL_EXSTYLE));
    }
    LONG GetWindowLongW(int index) const { return ::GetWindowLongW(windowHandle, index); }
    LONG SetWindowLongW(int index, LONG value) {
        return ::SetWindowLongW(windowHandle, index, value);
    }
    int MessageBoxW(const wchar_t* text, const wchar_t* caption, UINT type) {
        return ::MessageBoxW(windowHandle, text, caption, type);
    }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(windowHandle); }
    BOOL IsHidden() const { return !::IsWindowVisible(windowHandle); }
    BOOL ShowWindow(int command) { return ::ShowWindow(windowHandle, command); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(windowHandle); }
    BOOL EnableWindow(BOOL enable) { return ::EnableWindow(windowHandle, enable); }
    HWND SetParent(HWND parent) { return ::SetParent(windowHandle, parent); }
    HDC GetDC() { return ::GetDC(windowHandle); }
    int ReleaseDC(HDC dc) { return ::ReleaseDC(windowHandle, dc); }
    BOOL MoveWindow(int x, int y, int cx, int cy, bool repaint) {
        return ::MoveWindow(windowHandle, x, y, cx, cy, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(windowHandle, insertAfter, x, y, cx, cy, flags);
    }
    BOOL BringWindowToTop() { return ::BringWindowToTop(windowHandle); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(windowHandle); }
    BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(windowHandle, rect); }
    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(windowHandle, rect); }
    BOOL ScreenToClient(POINT* point) const { return ::ScreenToClient(windowHandle, point); }
    BOOL ClientToScreen(POINT* point) const { return ::ClientToScreen(windowHandle, point); }
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
        return ::SendMessageW(windowHandle, msg, wParam, lParam);
    }
    BOOL PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
        return ::PostMessageW(windowHandle, msg, wParam, lParam);
    }
    HFONT GetFont() const {
        return reinterpret_cast<HFONT>(::SendMessageW(windowHandle, WM_GETFONT, 0, 0));
    }
    void SetFont(HFONT font, BOOL redraw) {
        ::SendMessageW(windowHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    HFONT GetParentFont() const;
    BOOL SetWindowTextW(const wchar_t* text) { return ::SetWindowTextW(windowHandle, text); }
    int GetWindowTextW(wchar_t* buffer, int max) const {
        return ::GetWindowTextW(windowHandle, buffer, max);
    }
    int GetWindowTextLengthW() const { return ::GetWindowTextLengthW(windowHandle); }
    BOOL SetDlgItemInt(int id, UINT value, BOOL isSigned) {
        return ::SetDlgItemInt(windowHandle, id, value, isSigned);
    }
    UINT GetDlgItemInt(int id, BOOL* ok, BOOL isSigned) const {
        return ::GetDlgItemInt(windowHandle, id, ok, isSigned);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
        return ::SetTimer(windowHandle, id, milliseconds, callback);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(windowHandle, id); }
    void SetRedraw(BOOL redraw) { ::SendMessageW(windowHandle, WM_SETREDRAW, redraw, 0); }
    int SetWindowRgn(HRGN region, bool redraw) {
        return ::SetWindowRgn(windowHandle, region, redraw);
    }
    int GetWindowRgn(HRGN region) const { return ::GetWindowRgn(windowHandle, region); }
    int GetUpdateRgn(HRGN region, bool erase) {
        return ::GetUpdateRgn(windowHandle, region, erase);
    }
    BOOL UpdateWindow() { return ::UpdateWindow(windowHandle); }
    BOOL GetUpdateRect(RECT* rect, BOOL erase) {
        return ::GetUpdateRect(windowHandle, rect, erase);
    }
    BOOL ValidateRect(const RECT* rect) { return ::ValidateRect(windowHandle, rect); }
    BOOL InvalidateRect(const RECT* rect, BOOL erase) {
        return ::InvalidateRect(windowHandle, rect, erase);
    }
    BOOL RedrawWindow(const RECT* rect, HRGN region, UINT flags) {
        return ::RedrawWindow(windowHandle, rect, region, flags);
    }
    int ScrollWindowEx(int dx, int dy, const RECT* scroll, const RECT* clip, HRGN region,
                       RECT* update, UINT flags) {
        return ::ScrollWindowEx(windowHandle, dx, dy, scroll, clip, region, update, flags);
    }
    HICON GetIcon(WPARAM type) const {
        return reinterpret_cast<HICON>(::SendMessageW(windowHandle, WM_GETICON, type, 0));
    }
    HICON SetIcon(WPARAM type, HICON icon) {
        return reinterpret_cast<HICON>(
            ::SendMessageW(windowHandle, WM_SETICON, type, reinterpret_cast<LPARAM>(icon)));
    }

protected:
    // Binding and unbinding as done from inside the procedures.
    void BindHandle(HWND window) { windowHandle = window; }
    void ClearHandle() { windowHandle = nullptr; }
    BOOL SetBindingProperty();
    void RemoveBindingProperty();
    // The object a reflected notification belongs to, or null.
    static KWindow* ReflectionTarget(UINT msg, LPARAM lParam);

private:
    WNDPROC previousProc = nullptr;
    HWND windowHandle = nullptr;

    // One value for all objects: AddAtomW of the same name always gives the same atom while a
    // reference on it is held.
    static ATOM atom;
};
