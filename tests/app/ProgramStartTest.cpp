#include <gtest/gtest.h>

#include "app/ProgramInfo.h"

#include "support/MessageBoxProbe.h"
#include "support/TestFiles.h"

#include <string>

using namespace testing_support;

namespace {

// The program of the same build tree: build\tests\test_app.exe -> build\brindlecot.exe.
std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    for (int up = 0; up < 2; ++up)
        path.erase(path.find_last_of(L'\\'));
    return path + L"\\brindlecot.exe";
}

class Started {
public:
    explicit Started(const std::wstring& arguments) {
        std::wstring program = ProgramPath();
        std::wstring line = L"\"" + program + L"\"" + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        ok_ = CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info_) != 0;
    }
    ~Started() {
        if (!ok_)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    bool ok() const { return ok_; }
    DWORD id() const { return info_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when the process has not ended within the limit.
    DWORD WaitForExit(DWORD limitMs, bool* windowSeen = nullptr) {
        DWORD start = GetTickCount();
        while (WaitForSingleObject(info_.hProcess, 20) == WAIT_TIMEOUT) {
            if (windowSeen && FindWindowW(nullptr, kProgramCaption))
                *windowSeen = true;
            if (GetTickCount() - start > limitMs)
                return STILL_ACTIVE;
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    bool ok_ = false;
    PROCESS_INFORMATION info_ = {};
};

} // namespace

TEST(ProgramStart, TheProgramIsBuiltBesideTheTests) {
    EXPECT_TRUE(FileExists(ProgramPath())) << Narrow(ProgramPath());
}

TEST(ProgramStart, ABadCommandLineShowsError87AndExitsWithMinusOne) {
    for (const wchar_t* arguments : {L" /x file", L" /s", L" /s \"\"", L" /J file"}) {
        SCOPED_TRACE(Narrow(arguments));
        Started program(arguments);
        ASSERT_TRUE(program.ok()) << GetLastError();
        MessageBoxSeen seen = WatchForMessageBox(kProgramCaption, program.id(), 30000);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, L"Error #87.");
        EXPECT_FALSE(seen.hasOwner);
        EXPECT_TRUE(seen.hasIcon);
        EXPECT_EQ(seen.buttonCount, 1);
        EXPECT_EQ(program.WaitForExit(30000), 0xFFFFFFFFu);
    }
}

TEST(ProgramStart, AGoodCommandLineExitsWithZeroAndNoWindow) {
    for (const wchar_t* arguments : {L" /s file", L" /j \"C:\\my files\\a.avi.001\"", L""}) {
        SCOPED_TRACE(Narrow(arguments));
        Started program(arguments);
        ASSERT_TRUE(program.ok()) << GetLastError();
        bool windowSeen = false;
        EXPECT_EQ(program.WaitForExit(30000, &windowSeen), 0u);
        EXPECT_FALSE(windowSeen);
    }
}
