#include "EndToEndSupport.h"

#include "app/ProgramInfo.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kInstallButton = 1001;
constexpr int kUninstallButton = 1002;
constexpr int kSetupStatus = 1014;

std::wstring ReadDefault(const wchar_t* key) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return L"<missing>";
    return text;
}

bool KeyExists(const wchar_t* key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void RemoveVerbs() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\Shell\\split");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"*\\Shell\\split");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".001");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L".001");
}

// The setup dialog of a program started without a switch.
class SetupRun {
public:
    SetupRun() : program_(L"") {
        if (program_.Started())
            dialog_ = program_.WaitForDialog(kProgramCaption, 30000);
    }
    bool Found() const { return dialog_ != nullptr; }
    std::wstring Status() const { return ControlText(dialog_, kSetupStatus); }
    std::wstring Label(int id) const { return ControlText(dialog_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != 0; }
    void Press(int id) { SendMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
    DWORD CloseAndWait() {
        Press(IDOK);
        return program_.WaitForExit(10000);
    }

private:
    RunningProgram program_;
    HWND dialog_ = nullptr;
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
        EXPECT_EQ(run.Label(kInstallButton), L"Install");
        EXPECT_FALSE(run.Enabled(kUninstallButton));
        run.Press(kInstallButton);
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
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"*\\Shell\\split\\command", 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const wchar_t other[] = L"\"C:\\elsewhere\\tool.exe\" \"%1\"";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    RegCloseKey(key);
    {
        SetupRun run;
        ASSERT_TRUE(run.Found());
        EXPECT_EQ(run.Status(), L"installation is corrupted.\r\nClick Repair button to fix it.");
        EXPECT_EQ(run.Label(kInstallButton), L"Repair");
        run.Press(kInstallButton);
        EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
        EXPECT_EQ(run.CloseAndWait(), 0u);
    }
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command"), L"\"" + program + L"\" /s \"%1\"");

    // Another program's value under .001 survives the uninstall.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L".001", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const wchar_t type[] = L"archive/part";
    RegSetValueExW(key, L"Content Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(type),
                   sizeof type);
    RegCloseKey(key);
    {
        SetupRun run;
        ASSERT_TRUE(run.Found());
        EXPECT_EQ(run.Status(), L"Brindlecot is installed.");
        EXPECT_TRUE(run.Enabled(kUninstallButton));
        run.Press(kUninstallButton);
        EXPECT_EQ(run.Status(), L"Brindlecot is not installed.");
        EXPECT_EQ(run.CloseAndWait(), 0u);
    }
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    wchar_t kept[64] = {};
    DWORD bytes = sizeof kept;
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L".001", L"Content Type", RRF_RT_REG_SZ, nullptr,
                           kept, &bytes),
              ERROR_SUCCESS);
    EXPECT_STREQ(kept, L"archive/part");
}

} // namespace
} // namespace e2e
