#include "support/MessageBoxProbe.h"

namespace testing_support {

namespace {

struct ButtonSearch {
    int count = 0;
    HWND first = nullptr;
};

BOOL CALLBACK CountButton(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ButtonSearch*>(param);
    wchar_t className[32];
    if (GetClassNameW(child, className, 32) && lstrcmpiW(className, L"Button") == 0 &&
        IsWindowVisible(child)) {
        if (!search->first)
            search->first = child;
        ++search->count;
    }
    return TRUE;
}

HWND FindBox(const wchar_t* caption, DWORD processId) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", caption)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (IsWindowVisible(box) && (processId == 0 || owner == processId))
            return box;
    }
    return nullptr;
}

} // namespace

MessageBoxSeen WatchForMessageBox(const wchar_t* caption, DWORD processId, DWORD timeoutMs,
                                  int pressId) {
    MessageBoxSeen seen;
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindBox(caption, processId))) {
        if (GetTickCount() - start > timeoutMs)
            return seen;
        Sleep(20);
    }
    seen.found = true;
    seen.threadId = GetWindowThreadProcessId(box, &seen.processId);
    wchar_t text[256] = {};
    // Another process's controls answer WM_GETTEXT, not GetWindowTextW.
    SendMessageW(GetDlgItem(box, 65535), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    seen.text = text;
    seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
    HWND icon = GetDlgItem(box, 1088);
    seen.hasIcon = icon && IsWindowVisible(icon);
    ButtonSearch search;
    EnumChildWindows(box, CountButton, reinterpret_cast<LPARAM>(&search));
    seen.buttonCount = search.count;
    HWND press = pressId != 0 ? GetDlgItem(box, pressId) : search.first;
    if (press) {
        seen.clickedId = GetDlgCtrlID(press);
        SendMessageW(press, BM_CLICK, 0, 0);
    } else if (search.first) {
        seen.clickedId = GetDlgCtrlID(search.first);
        SendMessageW(search.first, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return seen;
}

} // namespace testing_support
