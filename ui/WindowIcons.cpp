#include "ui/WindowIcons.h"

#include "res/resource.h"
#include "toolkit/Dpi.h"

namespace {

void SetOne(HWND window, WPARAM type, int sizeMetric, UINT dpi, IconObject& owner) {
    const int size = Dpi::SystemMetric(sizeMetric, dpi);
    const HICON icon = static_cast<HICON>(::LoadImageW(
        ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, 0));
    if (icon == nullptr)
        return;
    // Handed over before the old one goes, so the window never shows a destroyed icon.
    ::SendMessageW(window, WM_SETICON, type, reinterpret_cast<LPARAM>(icon));
    owner.Reset(icon);
}

} // namespace

void WindowIcons::Set(HWND window, UINT dpi) {
    SetOne(window, ICON_BIG, SM_CXICON, dpi, big);
    SetOne(window, ICON_SMALL, SM_CXSMICON, dpi, small);
}

void WindowIcons::Clear(HWND window) {
    ::SendMessageW(window, WM_SETICON, ICON_BIG, 0);
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, 0);
    big.Reset();
    small.Reset();
}
