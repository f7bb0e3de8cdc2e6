#include "EndToEndSupport.h"
#include "support/ClassesKeys.h"

#include "app/ProgramInfo.h"
#include "res/resource.h"

using namespace testing_support;

namespace e2e {
namespace {

// Takes the verbs away from both hives' classes.
void RemoveVerbs() {
    for (HKEY hive : {kUser, kMachine}) {
        DeleteTree(L"*\\Shell\\split", hive);
        DeleteTree(L".001", hive);
    }
}

// The setup dialog of a program started without a switch.
class SetupRun {
public:
    SetupRun() : program(L"") {
        if (program.Started())
            dialog = program.WaitForDialog(kProgramCaption, 30000);
    }
    bool Found() const { return dialog != nullptr; }
    std::wstring Status() const { return ControlText(dialog, IDC_SETUP_STATUS); }
    std::wstring Label(int id) const { return ControlText(dialog, id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != 0; }
    void Press(int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    DWORD CloseAndWait() {
        Press(IDOK);
        return program.WaitForExit(10000);
    }

private:
    RunningProgram program;
    HWND dialog = nullptr;
};

class SetupEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveVerbs(); }
    void TearDown() override { RemoveVerbs(); }
    const std::wstring program = ProgramPath();
};

TEST_F(SetupEndToEndTest, InstallRepairAndUninstallFromTheDialog) {
    {
        SetupRun run;
        ASSERT_TRUE(run.Found());
        EXPECT_EQ(run.Status(), L"Brindlecot is not installed.");
        EXPECT_EQ(run.Label(IDC_SETUP_ACTION), L"Install");
        EXPECT_FALSE(run.Enabled(IDC_SETUP_UNINSTALL));
        run.Press(IDC_SETUP_ACTION);
        EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
        EXPECT_EQ(run.CloseAndWait(), 0u);
    }
    // Exactly the verbs, with the program's own path.
    EXPECT_EQ(ReadDefault(L".001\\Shell").text, L"join");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join").text, L"&Join");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, L"\"" + program + L"\" /j \"%1\"");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split").text, L"&Split");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command").text, L"\"" + program + L"\" /s \"%1\"");

    // Somebody changes our command: the dialog says so, and Repair puts it right.
    WriteDefault(L"*\\Shell\\split\\command", L"\"C:\\elsewhere\\tool.exe\" \"%1\"");
    {
        SetupRun run;
        ASSERT_TRUE(run.Found());
        EXPECT_EQ(run.Status(), L"installation is corrupted.\r\nClick Repair button to fix it.");
        EXPECT_EQ(run.Label(IDC_SETUP_ACTION), L"Repair");
        run.Press(IDC_SETUP_ACTION);
        EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
        EXPECT_EQ(run.CloseAndWait(), 0u);
    }
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command").text, L"\"" + program + L"\" /s \"%1\"");

    // The verbs an older copy registered for everybody go with ours.
    WriteMachineVerbs(L"C:\\Program Files\\Brindlecot\\brindlecot.exe");
    // Another program's value under .001 survives the uninstall.
    WriteNamed(L".001", L"Content Type", L"archive/part");
    {
        SetupRun run;
        ASSERT_TRUE(run.Found());
        EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
        EXPECT_TRUE(run.Enabled(IDC_SETUP_UNINSTALL));
        run.Press(IDC_SETUP_UNINSTALL);
        EXPECT_EQ(run.Status(), L"Brindlecot is not installed.");
        EXPECT_EQ(run.CloseAndWait(), 0u);
    }
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join", kMachine));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split", kMachine));
    EXPECT_EQ(ReadNamed(L".001", L"Content Type").text, L"archive/part");
}

// Windows lets a user only read the machine's classes. Here the machine's split verb gets an
// access list that grants reading alone, which Wine enforces when a key is opened to change
// its values: the real program must take the user's verbs away, leave the machine's whole and
// say so.
TEST_F(SetupEndToEndTest, VerbsForEverybodyThatMayNotBeChangedStay) {
    WriteMachineVerbs(L"C:\\Program Files\\Brindlecot\\brindlecot.exe");
    {
        ReadOnlyForEverybody readOnly(L"*\\Shell\\split", kMachine);
        ASSERT_TRUE(readOnly.Applied());
        {
            SetupRun run;
            ASSERT_TRUE(run.Found());
            run.Press(IDC_SETUP_ACTION);
            EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
            run.Press(IDC_SETUP_UNINSTALL);
            EXPECT_EQ(run.Status(), L"uninstalled for this user.\r\nAdmin rights are needed to\r\n"
                                    L"remove it for all users.");
            EXPECT_TRUE(run.Enabled(IDC_SETUP_ACTION));
            EXPECT_FALSE(run.Enabled(IDC_SETUP_UNINSTALL));
            EXPECT_EQ(run.CloseAndWait(), 0u);
        }
    }

    EXPECT_FALSE(KeyExists(L".001"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_EQ(ReadDefault(L".001\\Shell", kMachine).text, L"join");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command", kMachine).text,
              L"\"C:\\Program Files\\Brindlecot\\brindlecot.exe\" /s \"%1\"");
}

} // namespace
} // namespace e2e
