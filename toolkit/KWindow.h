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

    HWND Handle() const { return window_; }
    bool IsBound() const { return window_ != nullptr; }
    bool IsSubclassed() const { return previousProc_ != nullptr; }

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
    static ATOM BindingAtom() { return atom_; }

    DWORD ModifyStyle(DWORD add, DWORD remove);
    DWORD ModifyExStyle(DWORD add, DWORD remove);

    // One-line wrappers: the Win32 call of the same name on this object's window.
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(window_); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(window_, id); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)); }
    LONG GetWindowLongW(int index) const { return ::GetWindowLongW(window_, index); }
    LONG SetWindowLongW(int index, LONG value) { return ::SetWindowLongW(window_, index, value); }
    int MessageBoxW(const wchar_t* text, const wchar_t* caption, UINT type) {
        return ::MessageBoxW(window_, text, caption, type);
    }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(window_); }
    BOOL IsHidden() const { return !::IsWindowVisible(window_); }
    BOOL ShowWindow(int command) { return ::ShowWindow(window_, command); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(window_); }
    BOOL EnableWindow(BOOL enable) { return ::EnableWindow(window_, enable); }
    HWND SetParent(HWND parent) { return ::SetParent(window_, parent); }
    HDC GetDC() { return ::GetDC(window_); }
    int ReleaseDC(HDC dc) { return ::ReleaseDC(window_, dc); }
    BOOL MoveWindow(int x, int y, int cx, int cy, bool repaint) {
        return ::MoveWindow(window_, x, y, cx, cy, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(window_, insertAfter, x, y, cx, cy, flags);
    }
    BOOL BringWindowToTop() { return ::BringWindowToTop(window_); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(window_); }
    BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(window_, rect); }
    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(window_, rect); }
    BOOL ScreenToClient(POINT* point) const { return ::ScreenToClient(window_, point); }
    BOOL ClientToScreen(POINT* point) const { return ::ClientToScreen(window_, point); }
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
        return ::SendMessageW(window_, msg, wParam, lParam);
    }
    BOOL PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
        return ::PostMessageW(window_, msg, wParam, lParam);
    }
    HFONT GetFont() const {
        return reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    }
    void SetFont(HFONT font, BOOL redraw) {
        ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    HFONT GetParentFont() const;
    BOOL SetWindowTextW(const wchar_t* text) { return ::SetWindowTextW(window_, text); }
    int GetWindowTextW(wchar_t* buffer, int max) const {
        return ::GetWindowTextW(window_, buffer, max);
    }
    int GetWindowTextLengthW() const { return ::GetWindowTextLengthW(window_); }
    BOOL SetDlgItemInt(int id, UINT value, BOOL isSigned) {
        return ::SetDlgItemInt(window_, id, value, isSigned);
    }
    UINT GetDlgItemInt(int id, BOOL* ok, BOOL isSigned) const {
        return ::GetDlgItemInt(window_, id, ok, isSigned);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
        return ::SetTimer(window_, id, milliseconds, callback);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(window_, id); }
    void SetRedraw(BOOL redraw) { ::SendMessageW(window_, WM_SETREDRAW, redraw, 0); }
    int SetWindowRgn(HRGN region, bool redraw) { return ::SetWindowRgn(window_, region, redraw); }
    int GetWindowRgn(HRGN region) const { return ::GetWindowRgn(window_, region); }
    int GetUpdateRgn(HRGN region, bool erase) { return ::GetUpdateRgn(window_, region, erase); }
    BOOL UpdateWindow() { return ::UpdateWindow(window_); }
    BOOL GetUpdateRect(RECT* rect, BOOL erase) { return ::GetUpdateRect(window_, rect, erase); }
    BOOL ValidateRect(const RECT* rect) { return ::ValidateRect(window_, rect); }
    BOOL InvalidateRect(const RECT* rect, BOOL erase) {
        return ::InvalidateRect(window_, rect, erase);
    }
    BOOL RedrawWindow(const RECT* rect, HRGN region, UINT flags) {
        return ::RedrawWindow(window_, rect, region, flags);
    }
    int ScrollWindowEx(int dx, int dy, const RECT* scroll, const RECT* clip, HRGN region,
                       RECT* update, UINT flags) {
        return ::ScrollWindowEx(window_, dx, dy, scroll, clip, region, update, flags);
    }
    HICON GetIcon(WPARAM type) const {
        return reinterpret_cast<HICON>(::SendMessageW(window_, WM_GETICON, type, 0));
    }
    HICON SetIcon(WPARAM type, HICON icon) {
        return reinterpret_cast<HICON>(
            ::SendMessageW(window_, WM_SETICON, type, reinterpret_cast<LPARAM>(icon)));
    }

protected:
    // Binding and unbinding as done from inside the procedures.
    void BindHandle(HWND window) { window_ = window; }
    void ClearHandle() { window_ = nullptr; }
    BOOL SetBindingProperty();
    void RemoveBindingProperty();
    // The object a reflected notification belongs to, or null.
    static KWindow* ReflectionTarget(UINT msg, LPARAM lParam);

private:
    WNDPROC previousProc_ = nullptr;
    HWND window_ = nullptr;

    // One value for all objects: AddAtomW of the same name always gives the same atom while a
    // reference on it is held.
    static ATOM atom_;
};
