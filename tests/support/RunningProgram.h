#pragma once

#include "support/WindowText.h"

#include <windows.h>

#include <string>

namespace testing_support {

// brindlecot.exe of the same build tree (build\tests\test_x.exe -> build\brindlecot.exe).
std::wstring ProgramPath();

// The real program, started with a command line of our choosing and driven from outside the way
// a person would: through its windows. Terminated if still running at the end.
class RunningProgram {
public:
    // arguments follow the quoted program path as they are (start them with a blank).
    explicit RunningProgram(const std::wstring& arguments);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool Started() const { return started; }
    // Why the system could not start it: a failure of the harness, not an answer of the program.
    DWORD StartError() const { return startError; }
    DWORD Id() const { return info.dwProcessId; }
    bool HasEnded() const;
    // Ends the process at once, as Task Manager would; true once it has ended.
    bool Terminate();
    // The exit code, or STILL_ACTIVE when the process has not ended within the limit.
    DWORD WaitForExit(DWORD limitMs) const;
    // A visible top-level dialog of this process with the caption (any caption when null);
    // null when none shows up within the limit.
    HWND WaitForDialog(const wchar_t* caption, DWORD limitMs) const;
    // The first visible top-level window of this process at this moment, or null.
    HWND TopWindow() const;

private:
    bool started = false;
    DWORD startError = 0;
    PROCESS_INFORMATION info = {};
};

} // namespace testing_support
