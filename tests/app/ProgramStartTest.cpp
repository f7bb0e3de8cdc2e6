#include <gtest/gtest.h>

#include "app/ProgramInfo.h"

#include "support/MessageBoxProbe.h"
#include "support/RunningProgram.h"
#include "support/TestFiles.h"

#include <string>

using namespace testing_support;

TEST(ProgramStart, ABadCommandLineShowsError87AndExitsWithOne) {
    for (const wchar_t* arguments : {L" /x file", L" /s", L" /s \"\"", L" /J file", L" /s file /to",
                                     L" /j file /to \"\"", L" /s file /tox", L" /c file /to d"}) {
        SCOPED_TRACE(Narrow(arguments));
        RunningProgram program(arguments);
        ASSERT_TRUE(program.Started())
            << "the system did not start " << Narrow(ProgramPath()) << " (error "
            << program.StartError() << "): the harness failed, the program gave no answer";
        MessageBoxSeen seen = WatchForMessageBox(kProgramCaption, program.Id(), 30000);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, L"Error #87.");
        EXPECT_FALSE(seen.hasOwner);
        EXPECT_TRUE(seen.hasIcon);
        EXPECT_EQ(seen.buttonCount, 1);
        EXPECT_EQ(program.WaitForExit(30000), 1u);
    }
}
