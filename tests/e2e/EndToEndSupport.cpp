#include "EndToEndSupport.h"

#include <cstdio>

using namespace testing_support;

namespace e2e {

namespace {

constexpr DWORD kWindowLimitMs = 30000;

} // namespace

std::wstring ShownSystemText(DWORD code) {
    wchar_t text[1024];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0x400, text, 1024, nullptr);
    std::wstring shown;
    bool inBreak = false;
    for (DWORD i = 0; i < n; ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            inBreak = true;
            continue;
        }
        if (inBreak)
            shown += L' ';
        inBreak = false;
        shown += text[i];
    }
    while (!shown.empty() && shown.back() == L' ')
        shown.pop_back();
    return shown;
}

MainWindowRun::MainWindowRun(const std::wstring& arguments) : program_(arguments) {
    if (program_.Started())
        window_ = program_.WaitForDialog(nullptr, kWindowLimitMs);
}

void MainWindowRun::TypePartSize(const std::wstring& number, int unit) {
    HWND combo = GetDlgItem(window_, kUnitCombo);
    SendMessageW(combo, CB_SETCURSEL, unit, 0);
    // CB_SETCURSEL tells nobody; a person's pick does.
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(kUnitCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    SendMessageW(GetDlgItem(window_, kSizeEdit), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(number.c_str()));
}

void MainWindowRun::PressAction() {
    SendMessageW(GetDlgItem(window_, kActionButton), BM_CLICK, 0, 0);
}

void MainWindowRun::Choose(UINT command) {
    PostMessageW(window_, WM_COMMAND, command, 0);
}

void MainWindowRun::Close() {
    PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::wstring MainWindowRun::WaitForStatus(const std::wstring& wanted, DWORD limitMs) const {
    return WaitForControlText(window_, kStatusLine, wanted, limitMs);
}

} // namespace e2e
