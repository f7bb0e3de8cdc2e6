#include "app/ConsoleStream.h"

#include "app/DynArray.h"
#include "app/WideString.h"

#include <cwchar>

ConsoleStream::ConsoleStream(DWORD standardHandle) : handle(::GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    console =
        handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

bool ConsoleStream::Write(const wchar_t* text) {
    const DWORD length = static_cast<DWORD>(std::wcslen(text));
    if (length == 0)
        return true;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD written = 0;
    if (console)
        return ::WriteConsoleW(handle, text, length, &written, nullptr) && written == length;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                            nullptr, nullptr);
    DynArray<char> utf8;
    if (bytes <= 0 || !utf8.ResizeUp(bytes))
        return false;
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.Items(), bytes, nullptr,
                          nullptr);
    return ::WriteFile(handle, utf8.Items(), static_cast<DWORD>(bytes), &written, nullptr) &&
           written == static_cast<DWORD>(bytes);
}

bool ConsoleStream::Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const bool written = PrintV(format, args);
    va_end(args);
    return written;
}

bool ConsoleStream::PrintV(const wchar_t* format, va_list args) {
    WideString text;
    text.FormatV(format, args);
    return Write(text.Text());
}
