#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Repaints a visible window with its children, then copies what the screen shows of it (frame
// included) into a 24-bit BMP file. False when the window is not on the screen or the file
// cannot be written.
// With popup, the picture takes in that window too (a dropped list that reaches past the window).
bool SaveWindowScreenshot(HWND window, const std::wstring& path, HWND popup = nullptr);

} // namespace testing_support
