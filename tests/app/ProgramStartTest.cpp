#include <gtest/gtest.h>

#include "app/ProgramInfo.h"

#include "support/MessageBoxProbe.h"
#include "support/RunningProgram.h"
#include "support/TestFiles.h"

#include <string>

using namespace testing_support;

namespace {

// The program as a test sees it: started, and waited for with an eye on its windows.
class Watched : public RunningProgram {
public:
    using RunningProgram::RunningProgram;
    bool ok() const { return RunningProgram::Started(); }
    DWORD id() const { return Id(); }
    DWORD WaitForExit(DWORD limitMs, bool* windowSeen = nullptr) const {
        DWORD start = GetTickCount();
        while (!HasEnded()) {
            if (windowSeen && FindWindowW(nullptr, kProgramCaption))
                *windowSeen = true;
            if (GetTickCount() - start > limitMs)
                return STILL_ACTIVE;
            Sleep(20);
        }
        return RunningProgram::WaitForExit(0);
    }
};

} // namespace

TEST(ProgramStart, TheProgramIsBuiltBesideTheTests) {
    EXPECT_TRUE(FileExists(ProgramPath())) << Narrow(ProgramPath());
}

TEST(ProgramStart, ABadCommandLineShowsError87AndExitsWithMinusOne) {
    for (const wchar_t* arguments : {L" /x file", L" /s", L" /s \"\"", L" /J file"}) {
        SCOPED_TRACE(Narrow(arguments));
        Watched program(arguments);
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
        Watched program(arguments);
        ASSERT_TRUE(program.ok()) << GetLastError();
        bool windowSeen = false;
        EXPECT_EQ(program.WaitForExit(30000, &windowSeen), 0u);
        EXPECT_FALSE(windowSeen);
    }
}
