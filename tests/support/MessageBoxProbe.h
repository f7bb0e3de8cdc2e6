#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// What another thread or process showed in a message box, seen from outside.
struct MessageBoxSeen {
    bool found = false;
    std::wstring text; // of the text static, id 65535
    bool hasOwner = false;
    bool hasIcon = false; // the icon static, id 1088, is shown
    int buttonCount = 0;  // visible buttons
    int clickedId = 0;    // the button pressed to close it
    DWORD threadId = 0;
    DWORD processId = 0;
};

// Waits up to timeoutMs for a visible dialog with this caption (of the given process, or any
// when processId is 0), reads it and presses the button with the id given (IDYES, IDNO, ...),
// or its first visible button when the id is 0.
MessageBoxSeen WatchForMessageBox(const wchar_t* caption, DWORD processId, DWORD timeoutMs,
                                  int pressId = 0);

} // namespace testing_support
