#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// The system's text for an error code as FormatMessageW gives it (the user's default language),
// line end included; "" when it has none. Taken at run time, since Wine's texts differ from
// Windows'.
std::wstring SystemText(DWORD code);
// That text as the main window shows it: its line breaks as single spaces, none at the end.
std::wstring SystemTextOnOneLine(DWORD code);

} // namespace testing_support
