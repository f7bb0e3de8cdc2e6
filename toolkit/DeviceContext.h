#pragma once

#include <windows.h>

// Owner of a DC made with CreateCompatibleDC (or CreateDC): DeleteDC when it goes.
class OwnedDC {
public:
    OwnedDC() = default;
    explicit OwnedDC(HDC dc) : dc_(dc) {}
    ~OwnedDC() { Reset(); }
    OwnedDC(const OwnedDC&) = delete;
    OwnedDC& operator=(const OwnedDC&) = delete;

    HDC Get() const { return dc_; }
    bool IsSet() const { return dc_ != nullptr; }
    void Reset(HDC dc = nullptr) {
        if (dc_ != nullptr)
            ::DeleteDC(dc_);
        dc_ = dc;
    }

private:
    HDC dc_ = nullptr;
};

// A window's DC borrowed with GetDC and given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr)
            ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }
    bool IsSet() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};
