#include "support/SystemText.h"

namespace testing_support {

std::wstring SystemText(DWORD code) {
    wchar_t text[1024];
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0x400, text, 1024, nullptr);
    return std::wstring(text, n);
}

std::wstring SystemTextOnOneLine(DWORD code) {
    const std::wstring text = SystemText(code);
    std::wstring shown;
    bool inBreak = false;
    for (wchar_t c : text) {
        if (c == L'\r' || c == L'\n') {
            inBreak = true;
            continue;
        }
        if (inBreak)
            shown += L' ';
        inBreak = false;
        shown += c;
    }
    while (!shown.empty() && shown.back() == L' ')
        shown.pop_back();
    return shown;
}

} // namespace testing_support
