#pragma once

#include <windows.h>

// Owner of a DC made with CreateCompatibleDC (or CreateDC): DeleteDC when it goes.
class OwnedDC {
public:
    OwnedDC() = default;
    explicit OwnedDC(HDC owned) : dc(owned) {}
    ~OwnedDC() { Reset(); }
    OwnedDC(const OwnedDC&) = delete;
    OwnedDC& operator=(const OwnedDC&) = delete;

    HDC Get() const { return dc; }
    bool IsSet() const { return dc != nullptr; }
    void Reset(HDC owned = nullptr) {
        if (dc != nullptr)
            ::DeleteDC(dc);
        dc = owned;
    }

private:
    HDC dc = nullptr;
};

// A window's DC borrowed with GetDC and given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND owner) : window(owner), dc(::GetDC(owner)) {}
    ~WindowDC() {
        if (dc != nullptr)
            ::ReleaseDC(window, dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc; }
    bool IsSet() const { return dc != nullptr; }

private:
    HWND window;
    HDC dc;
};
