#pragma once

#include <windows.h>

// Scoped changes of a DC's state: each guard puts back what it found when the scope ends, so a
// painting routine leaves the DC it was lent as it came.

// Selects a pen, brush, font or bitmap and selects the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC target, HGDIOBJ object) : dc(target), previous(nullptr) {
        if (target != nullptr && object != nullptr)
            previous = ::SelectObject(target, object);
    }
    ~SelectObjectGuard() {
        if (previous != nullptr && previous != HGDI_ERROR)
            ::SelectObject(dc, previous);
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

    bool Selected() const { return previous != nullptr && previous != HGDI_ERROR; }

private:
    HDC dc;
    HGDIOBJ previous;
};

class TextColorGuard {
public:
    TextColorGuard(HDC target, COLORREF color)
        : dc(target), previous(::SetTextColor(target, color)) {}
    ~TextColorGuard() {
        if (previous != CLR_INVALID)
            ::SetTextColor(dc, previous);
    }
    TextColorGuard(const TextColorGuard&) = delete;
    TextColorGuard& operator=(const TextColorGuard&) = delete;

    // Changes the colour again; the one found first is still what comes back.
    void Set(COLORREF color) { ::SetTextColor(dc, color); }

private:
    HDC dc;
    COLORREF previous;
};

class BkModeGuard {
public:
    BkModeGuard(HDC target, int mode) : dc(target), previous(::SetBkMode(target, mode)) {}
    ~BkModeGuard() {
        if (previous != 0)
            ::SetBkMode(dc, previous);
    }
    BkModeGuard(const BkModeGuard&) = delete;
    BkModeGuard& operator=(const BkModeGuard&) = delete;

private:
    HDC dc;
    int previous;
};
