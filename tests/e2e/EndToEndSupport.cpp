#include "EndToEndSupport.h"

#include <cstdio>

using namespace testing_support;

namespace e2e {

namespace {

constexpr DWORD kWindowLimitMs = 30000;

} // namespace

MainWindowRun::MainWindowRun(const std::wstring& arguments) : program(arguments) {
    if (program.Started())
        window = program.WaitForDialog(nullptr, kWindowLimitMs);
    // A question the window asks as it starts (a folder picker) may be found first: it is owned
    // by the window.
    if (window != nullptr && ::GetDlgItem(window, kStatusLine) == nullptr)
        window = ::GetWindow(window, GW_OWNER);
}

void MainWindowRun::TypePartSize(const std::wstring& number, int unit) {
    HWND combo = ::GetDlgItem(window, kUnitCombo);
    ::SendMessageW(combo, CB_SETCURSEL, unit, 0);
    // CB_SETCURSEL tells nobody; a person's pick does.
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kUnitCombo, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    ::SendMessageW(::GetDlgItem(window, kSizeEdit), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(number.c_str()));
}

void MainWindowRun::PressAction() {
    ::SendMessageW(::GetDlgItem(window, kActionButton), BM_CLICK, 0, 0);
}

void MainWindowRun::Choose(UINT command) {
    ::PostMessageW(window, WM_COMMAND, command, 0);
}

void MainWindowRun::Close() {
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void MainWindowRun::AnnounceTaskbarButton() {
    ::PostMessageW(window, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
}

std::wstring MainWindowRun::WaitForStatus(const std::wstring& wanted, DWORD limitMs) const {
    return WaitForControlText(window, kStatusLine, wanted, limitMs);
}

} // namespace e2e
