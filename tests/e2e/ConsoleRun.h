#pragma once

#include "support/TestFiles.h"

#include <windows.h>

#include <string>

namespace e2e {

// brindlecot-cli.exe of the same build tree.
std::wstring ConsoleProgramPath();

// What a finished run of the console program gave: its exit code and both outputs, as UTF-8.
struct ConsoleResult {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// The real console program, started with a command line of our choosing on our console, its
// standard output going to a file and its standard error to a pipe read here.
// Terminated if still running at the end.
class ConsoleRun {
public:
    // Started in the folder when one is given, in ours otherwise; its standard error goes to
    // errorTo (an inheritable handle) when one is given.
    explicit ConsoleRun(const std::wstring& arguments, const std::wstring& folder = L"",
                        HANDLE errorTo = nullptr);
    ~ConsoleRun();
    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    bool Started() const { return started; }
    DWORD Id() const { return info.dwProcessId; }
    bool HasEnded() const { return ::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0; }
    // The next line of standard error, without its end; false once the program closed it.
    bool ReadErrorLine(std::string& line);
    // Waits for the end (at most limitMs) and takes what it wrote.
    ConsoleResult Finish(DWORD limitMs = 120000);

private:
    testing_support::TempDir dir{L"cli"};
    std::wstring outPath;
    HANDLE errRead = nullptr;
    std::string errPending;
    std::string errSeen;
    bool started = false;
    PROCESS_INFORMATION info = {};
};

// Runs the console program to its end.
ConsoleResult RunConsole(const std::wstring& arguments, const std::wstring& folder = L"");

} // namespace e2e
