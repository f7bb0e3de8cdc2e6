#include "UiTestSupport.h"

#include "app/ProgramInfo.h"

#include <commctrl.h>

namespace ui_tests {

namespace {
int quitCount = 0;
} // namespace

bool PumpDialog(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs) {
    // A guard timer wakes the loop even when nothing else is queued.
    const UINT_PTR guard = ::SetTimer(nullptr, 0, 10, nullptr);
    const DWORD start = ::GetTickCount();
    bool finished = done();
    while (!finished && ::GetTickCount() - start < timeoutMs) {
        MSG msg;
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            ++quitCount;
        } else if (dialog == nullptr || !::IsWindow(dialog) || !::IsDialogMessageW(dialog, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        finished = done();
    }
    ::KillTimer(nullptr, guard);
    return finished;
}

void PumpFor(HWND dialog, DWORD ms) {
    const DWORD start = ::GetTickCount();
    PumpDialog(
        dialog, [&] { return ::GetTickCount() - start >= ms; }, ms + 1000);
}

int TakeQuitCount() {
    const int count = quitCount;
    quitCount = 0;
    return count;
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring StatusBarText(HWND statusBar, int part) {
    if (part >= StatusBarPartCount(statusBar))
        return L"";
    const LRESULT length = ::SendMessageW(statusBar, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(length) + 1, L'\0');
    ::SendMessageW(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(length));
    return text;
}

int StatusBarPartCount(HWND statusBar) {
    return static_cast<int>(::SendMessageW(statusBar, SB_GETPARTS, 0, 0));
}

RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ClearSettingsKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
}

void WriteBinary(const wchar_t* name, const void* data, DWORD size) {
    HKEY key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}

void WriteDword(const wchar_t* name, uint32_t value) {
    HKEY key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    ::RegCloseKey(key);
}

std::vector<uint8_t> ReadValue(const wchar_t* name) {
    std::vector<uint8_t> data(256);
    DWORD size = static_cast<DWORD>(data.size());
    if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, nullptr, data.data(),
                       &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return data;
}

bool ValueExists(const wchar_t* name) {
    return ::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

uint32_t ReadDword(const wchar_t* name) {
    std::vector<uint8_t> data = ReadValue(name);
    uint32_t value = 0xDEADBEEF;
    if (data.size() == 4)
        memcpy(&value, data.data(), 4);
    return value;
}

DialogWatcher::DialogWatcher(const wchar_t* caption, HWND except, std::function<void(HWND)> act,
                             DWORD timeoutMs)
    : thread_([this, title = std::wstring(caption), except, act, timeoutMs] {
          const DWORD start = ::GetTickCount();
          while (::GetTickCount() - start < timeoutMs) {
              HWND box = nullptr;
              while ((box = ::FindWindowExW(nullptr, box, L"#32770", title.c_str())) != nullptr) {
                  if (box != except && ::IsWindowVisible(box))
                      break;
              }
              if (box != nullptr) {
                  found_ = true;
                  act(box);
                  break;
              }
              ::Sleep(10);
          }
          done_ = true;
      }) {}

DialogWatcher::~DialogWatcher() {
    if (thread_.joinable())
        thread_.join();
}

MessageBoxContent ReadMessageBox(HWND box) {
    MessageBoxContent content;
    content.text = WindowText(::GetDlgItem(box, 65535));
    HWND yes = ::GetDlgItem(box, IDYES), no = ::GetDlgItem(box, IDNO);
    content.hasYes = yes != nullptr && ::IsWindowVisible(yes);
    content.hasNo = no != nullptr && ::IsWindowVisible(no);
    content.noIsDefault =
        no != nullptr && (::GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    HWND icon = ::GetDlgItem(box, 1088);
    content.hasIcon = icon != nullptr && ::IsWindowVisible(icon);
    content.owner = ::GetWindow(box, GW_OWNER);
    return content;
}

} // namespace ui_tests
