#pragma once

#include "support/TestFiles.h"

#include <windows.h>

#include <string>

namespace e2e {

// What a finished run of the console program gave: its exit code and both outputs, as UTF-8.
struct ConsoleResult {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// brindlecot-cli.exe of the same build tree, started on our console with its standard output
// going to a file and its standard error to a pipe read here; terminated if still running at the
// end.
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
    bool HasEnded() const { return ::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0; }
    // Waits for the end (at most limitMs) and takes what it wrote.
    ConsoleResult Finish(DWORD limitMs = 120000);

private:
    testing_support::TempDir dir{L"cli"};
    std::wstring outPath;
    HANDLE errRead = nullptr;
    bool started = false;
    PROCESS_INFORMATION info = {};
};

// Runs the console program to its end.
ConsoleResult RunConsole(const std::wstring& arguments, const std::wstring& folder = L"");

} // namespace e2e
