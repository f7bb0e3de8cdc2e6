#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Texts of windows of this process or another: WM_GETTEXT is carried across processes, which
// GetWindowTextW does not do for child controls.
std::wstring TextOf(HWND window);
// Width in pixels of text in the window's own font.
int TextWidth(HWND window, const std::wstring& text);
std::wstring ControlText(HWND dialog, int id);
// Waits until the control's text is the one wanted, or the limit passes; returns the last text.
std::wstring WaitForControlText(HWND dialog, int id, const std::wstring& wanted, DWORD limitMs);

// The text of one part of a status bar of this process; "" for a part it does not have.
std::wstring StatusBarText(HWND statusBar, int part = 0);
// How many parts a status bar has.
int StatusBarPartCount(HWND statusBar);

} // namespace testing_support
