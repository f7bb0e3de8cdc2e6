#include "support/MessageBoxProbe.h"

#include "support/WindowText.h"

namespace testing_support {

namespace {

constexpr DWORD kBoxPollMs = 10;

struct ButtonSearch {
    int count = 0;
    HWND first = nullptr;
};

BOOL CALLBACK CountButton(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ButtonSearch*>(param);
    wchar_t className[32];
    if (::GetClassNameW(child, className, 32) && ::lstrcmpiW(className, L"Button") == 0 &&
        ::IsWindowVisible(child)) {
        if (!search->first)
            search->first = child;
        ++search->count;
    }
    return TRUE;
}

// The first visible dialog with this caption, of the given process (any when 0), other than
// `except`.
HWND FindBox(const wchar_t* caption, DWORD processId, HWND except) {
    HWND box = nullptr;
    while ((box = ::FindWindowExW(nullptr, box, L"#32770", caption)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(box, &owner);
        if (box != except && ::IsWindowVisible(box) && (processId == 0 || owner == processId))
            return box;
    }
    return nullptr;
}

bool Shown(HWND control) {
    return control != nullptr && ::IsWindowVisible(control);
}

} // namespace

MessageBoxSeen ReadMessageBox(HWND box) {
    MessageBoxSeen seen;
    seen.found = true;
    seen.threadId = ::GetWindowThreadProcessId(box, &seen.processId);
    seen.text = ControlText(box, 65535);
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.hasOwner = seen.owner != nullptr;
    seen.hasIcon = Shown(::GetDlgItem(box, 1088));
    HWND no = ::GetDlgItem(box, IDNO);
    seen.hasYes = Shown(::GetDlgItem(box, IDYES));
    seen.hasNo = Shown(no);
    seen.noIsDefault =
        no != nullptr && (::GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    ButtonSearch search;
    ::EnumChildWindows(box, CountButton, reinterpret_cast<LPARAM>(&search));
    seen.buttonCount = search.count;
    return seen;
}

MessageBoxSeen WatchForMessageBox(const wchar_t* caption, DWORD processId, DWORD timeoutMs,
                                  int pressId) {
    DWORD start = ::GetTickCount();
    HWND box = nullptr;
    while (!(box = FindBox(caption, processId, nullptr))) {
        if (::GetTickCount() - start > timeoutMs)
            return MessageBoxSeen();
        ::Sleep(20);
    }
    // Shown is not yet filled in: on a slow machine the text and buttons may come a moment later.
    MessageBoxSeen seen = ReadMessageBox(box);
    while ((seen.text.empty() || seen.buttonCount == 0) && ::GetTickCount() - start <= timeoutMs) {
        ::Sleep(kBoxPollMs);
        seen = ReadMessageBox(box);
    }
    ButtonSearch search;
    ::EnumChildWindows(box, CountButton, reinterpret_cast<LPARAM>(&search));
    HWND press = pressId != 0 ? ::GetDlgItem(box, pressId) : search.first;
    if (press) {
        seen.clickedId = ::GetDlgCtrlID(press);
        ::SendMessageW(press, BM_CLICK, 0, 0);
    } else if (search.first) {
        seen.clickedId = ::GetDlgCtrlID(search.first);
        ::SendMessageW(search.first, BM_CLICK, 0, 0);
    } else {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return seen;
}

DialogWatcher::DialogWatcher(const wchar_t* caption, HWND except, std::function<void(HWND)> act,
                             DWORD timeoutMs)
    : thread([this, title = std::wstring(caption), except, act, timeoutMs] {
          const DWORD start = ::GetTickCount();
          while (::GetTickCount() - start < timeoutMs) {
              HWND box = FindBox(title.c_str(), 0, except);
              if (box != nullptr) {
                  found = true;
                  act(box);
                  break;
              }
              ::Sleep(kBoxPollMs);
          }
          done = true;
      }) {}

DialogWatcher::~DialogWatcher() {
    if (thread.joinable())
        thread.join();
}

} // namespace testing_support
