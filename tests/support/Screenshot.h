#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Repaints a visible window with its children, then copies what the screen shows of it (frame
// included) into a 24-bit BMP file. False when the window is not on the screen or the file
// cannot be written.
bool SaveWindowScreenshot(HWND window, const std::wstring& path);

} // namespace testing_support
