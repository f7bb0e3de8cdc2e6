#pragma once

#include <windows.h>

// Scoped changes of a DC's state: each guard puts back what it found when the scope ends, so a
// painting routine leaves the DC it was lent as it came.

// Selects a pen, brush, font or bitmap and selects the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(nullptr) {
        if (dc != nullptr && object != nullptr)
            previous_ = ::SelectObject(dc, object);
    }
    ~SelectObjectGuard() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            ::SelectObject(dc_, previous_);
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

    bool Selected() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

class TextColorGuard {
public:
    TextColorGuard(HDC dc, COLORREF color) : dc_(dc), previous_(::SetTextColor(dc, color)) {}
    ~TextColorGuard() {
        if (previous_ != CLR_INVALID)
            ::SetTextColor(dc_, previous_);
    }
    TextColorGuard(const TextColorGuard&) = delete;
    TextColorGuard& operator=(const TextColorGuard&) = delete;

    // Changes the colour again; the one found first is still what comes back.
    void Set(COLORREF color) { ::SetTextColor(dc_, color); }

private:
    HDC dc_;
    COLORREF previous_;
};

class BkModeGuard {
public:
    BkModeGuard(HDC dc, int mode) : dc_(dc), previous_(::SetBkMode(dc, mode)) {}
    ~BkModeGuard() {
        if (previous_ != 0)
            ::SetBkMode(dc_, previous_);
    }
    BkModeGuard(const BkModeGuard&) = delete;
    BkModeGuard& operator=(const BkModeGuard&) = delete;

private:
    HDC dc_;
    int previous_;
};
