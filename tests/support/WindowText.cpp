#include "support/WindowText.h"

#include <commctrl.h>

namespace testing_support {

namespace {
constexpr DWORD kTextPollMs = 20;
constexpr UINT kTextTimeoutMs = 2000;
} // namespace

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!window || !::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                          kTextTimeoutMs, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                               SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
        return std::wstring();
    text.resize(copied);
    return text;
}

std::wstring ControlText(HWND dialog, int id) {
    return TextOf(::GetDlgItem(dialog, id));
}

std::wstring WaitForControlText(HWND dialog, int id, const std::wstring& wanted, DWORD limitMs) {
    DWORD start = ::GetTickCount();
    std::wstring text = ControlText(dialog, id);
    while (text != wanted && ::GetTickCount() - start < limitMs) {
        ::Sleep(kTextPollMs);
        text = ControlText(dialog, id);
    }
    return text;
}

std::wstring StatusBarText(HWND statusBar, int part) {
    if (part >= StatusBarPartCount(statusBar))
        return {};
    const LRESULT length = ::SendMessageW(statusBar, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(length) + 1, L'\0');
    ::SendMessageW(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(length));
    return text;
}

int StatusBarPartCount(HWND statusBar) {
    return static_cast<int>(::SendMessageW(statusBar, SB_GETPARTS, 0, 0));
}

int TextWidth(HWND window, const std::wstring& text) {
    HDC dc = ::GetDC(window);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return size.cx;
}

} // namespace testing_support
