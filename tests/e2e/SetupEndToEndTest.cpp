#include "EndToEndSupport.h"

#include <sddl.h>

#include "app/ProgramInfo.h"
#include "res/resource.h"

using namespace testing_support;

namespace e2e {
namespace {

// The verbs live in the user's own classes; writes to HKEY_CLASSES_ROOT land in the machine's.
std::wstring Classes(const wchar_t* key) {
    return std::wstring(L"Software\\Classes\\") + key;
}

std::wstring ReadDefault(const wchar_t* key, HKEY hive = HKEY_CURRENT_USER) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (::RegGetValueW(hive, Classes(key).c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return text;
}

void WriteDefault(const wchar_t* key, const std::wstring& text, HKEY hive = HKEY_CURRENT_USER) {
    HKEY handle;
    ASSERT_EQ(::RegCreateKeyExW(hive, Classes(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &handle, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
}

bool KeyExists(const wchar_t* key, HKEY hive = HKEY_CURRENT_USER) {
    HKEY handle;
    if (::RegOpenKeyExW(hive, Classes(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(handle);
    return true;
}

void RemoveVerbs() {
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        ::RegDeleteTreeW(hive, Classes(L"*\\Shell\\split").c_str());
        ::RegDeleteKeyW(hive, Classes(L"*\\Shell\\split").c_str());
        ::RegDeleteTreeW(hive, Classes(L".001").c_str());
        ::RegDeleteKeyW(hive, Classes(L".001").c_str());
    }
}

// The verbs an older copy registered for everybody through HKEY_CLASSES_ROOT, whose writes
// land in the machine's classes.
void WriteVerbsForEverybody(const std::wstring& program) {
    WriteDefault(L".001\\Shell", L"join", HKEY_LOCAL_MACHINE);
    WriteDefault(L".001\\Shell\\join", L"&Join", HKEY_LOCAL_MACHINE);
    WriteDefault(L".001\\Shell\\join\\command", L"\"" + program + L"\" /j \"%1\"",
                 HKEY_LOCAL_MACHINE);
    WriteDefault(L"*\\Shell\\split", L"&Split", HKEY_LOCAL_MACHINE);
    WriteDefault(L"*\\Shell\\split\\command", L"\"" + program + L"\" /s \"%1\"",
                 HKEY_LOCAL_MACHINE);
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
    EXPECT_EQ(ReadDefault(L".001\\Shell"), L"join");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join"), L"&Join");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command"), L"\"" + program + L"\" /j \"%1\"");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split"), L"&Split");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command"), L"\"" + program + L"\" /s \"%1\"");

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
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command"), L"\"" + program + L"\" /s \"%1\"");

    // The verbs an older copy registered for everybody go with ours.
    WriteVerbsForEverybody(L"C:\\Program Files\\Brindlecot\\brindlecot.exe");
    // Another program's value under .001 survives the uninstall.
    HKEY key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, Classes(L".001").c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const wchar_t type[] = L"archive/part";
    ::RegSetValueExW(key, L"Content Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(type),
                     sizeof type);
    ::RegCloseKey(key);
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
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join", HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split", HKEY_LOCAL_MACHINE));
    wchar_t kept[64] = {};
    DWORD bytes = sizeof kept;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, Classes(L".001").c_str(), L"Content Type",
                             RRF_RT_REG_SZ, nullptr, kept, &bytes),
              ERROR_SUCCESS);
    EXPECT_STREQ(kept, L"archive/part");
}

// Windows lets a user only read the machine's classes. Here the machine's split verb gets an
// access list that grants reading alone, which Wine enforces when a key is opened to change
// its values: the real program must take the user's verbs away, leave the machine's whole and
// say so.
TEST_F(SetupEndToEndTest, VerbsForEverybodyThatMayNotBeChangedStay) {
    WriteVerbsForEverybody(L"C:\\Program Files\\Brindlecot\\brindlecot.exe");
    HKEY split;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Classes(L"*\\Shell\\split").c_str(), 0,
                              READ_CONTROL | WRITE_DAC, &split),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    ASSERT_EQ(::RegSetKeySecurity(split, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    ::LocalFree(readOnly);
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
    // Anyone may change it again, so that the test can clean up.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;OICI;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    EXPECT_EQ(::RegSetKeySecurity(split, DACL_SECURITY_INFORMATION, open), ERROR_SUCCESS);
    ::LocalFree(open);
    ::RegCloseKey(split);

    EXPECT_FALSE(KeyExists(L".001"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_EQ(ReadDefault(L".001\\Shell", HKEY_LOCAL_MACHINE), L"join");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command", HKEY_LOCAL_MACHINE),
              L"\"C:\\Program Files\\Brindlecot\\brindlecot.exe\" /s \"%1\"");
}

} // namespace
} // namespace e2e
