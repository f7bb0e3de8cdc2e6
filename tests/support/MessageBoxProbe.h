#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testing_support {

// What a message box showed, read from outside: from another thread or another process.
struct MessageBoxSeen {
    bool found = false;
    std::wstring text; // of the text static, id 65535
    HWND owner = nullptr;
    bool hasOwner = false;
    bool hasIcon = false; // the icon static, id 1088, is shown
    bool hasYes = false;
    bool hasNo = false;
    bool noIsDefault = false;
    int buttonCount = 0; // visible buttons
    int clickedId = 0;   // the button pressed to close it
    DWORD threadId = 0;
    DWORD processId = 0;
};

// Reads a message box that is on the screen now.
MessageBoxSeen ReadMessageBox(HWND box);

// Waits up to timeoutMs for a visible dialog with this caption (of the given process, or any
// when processId is 0), reads it and presses the button with the id given (IDYES, IDNO, ...),
// or its first visible button when the id is 0.
MessageBoxSeen WatchForMessageBox(const wchar_t* caption, DWORD processId, DWORD timeoutMs,
                                  int pressId = 0);

// Watches, on a thread of its own, for a visible dialog with this caption that is not `except`,
// then runs `act` on it there (reading controls, pressing buttons with BM_CLICK), while the
// test's own thread runs the loop that the dialog needs.
class DialogWatcher {
public:
    DialogWatcher(const wchar_t* caption, HWND except, std::function<void(HWND)> act,
                  DWORD timeoutMs = 10000);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    bool Done() const { return done; }
    bool Found() const { return found; }

private:
    std::atomic<bool> done{false};
    std::atomic<bool> found{false};
    std::thread thread;
};

} // namespace testing_support
