#pragma once

#include <windows.h>

#include <cstdarg>

// The console program's standard output or standard error: wide text straight to a console,
// UTF-8 to a file or a pipe.
class ConsoleStream {
public:
    explicit ConsoleStream(DWORD standardHandle);
    ConsoleStream(const ConsoleStream&) = delete;
    ConsoleStream& operator=(const ConsoleStream&) = delete;

    // A console window shows it; what goes to a file or a pipe is read later, line by line.
    bool IsConsole() const { return console; }
    // False when the text could not all be written (the last error tells why).
    bool Write(const wchar_t* text);
    bool Print(const wchar_t* format, ...);
    bool PrintV(const wchar_t* format, va_list args);

private:
    HANDLE handle;
    bool console;
};
