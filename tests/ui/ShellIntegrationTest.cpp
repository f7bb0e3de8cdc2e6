#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "ui/ShellIntegration.h"
#include "ui/SetupTestSupport.h"

using namespace ShellIntegration;
using namespace shell_test;
using testing_support::TempDir;

// The layout, value by value, as Explorer reads it.
TEST_F(ShellRegistryTest, InstallWritesExactlyTheDocumentedLayout) {
    ASSERT_TRUE(Install());
    const struct {
        const wchar_t* key;
        std::wstring text;
        std::vector<std::wstring> subKeys;
    } expected[] = {
        {L".001\\Shell\\join", L"&Join", {L"command"}},
        {L".001\\Shell\\join\\command", OurCommand(false), {}},
        {L".001\\Shell", L"join", {L"check", L"join"}},
        {L"*\\Shell\\split", L"&Split", {L"command"}},
        {L"*\\Shell\\split\\command", OurCommand(true), {}},
        {L".001\\Shell\\check", L"&Check", {L"command"}},
        {L".001\\Shell\\check\\command", CheckCommand(), {}},
    };
    // And on each file that can lie beside a set, where Explorer adds to any type's verbs.
    std::vector<std::pair<std::wstring, std::wstring>> sideFiles;
    for (const wchar_t* type : kSideFileTypes) {
        const std::wstring verb =
            std::wstring(L"SystemFileAssociations\\") + type + L"\\Shell\\check";
        sideFiles.push_back({verb, L"&Check"});
        sideFiles.push_back({verb + L"\\command", CheckCommand()});
    }
    for (const auto& [key, text] : sideFiles)
        EXPECT_EQ(ReadDefault(key.c_str()).text, text) << testing_support::Narrow(key);
    for (const auto& e : expected) {
        SCOPED_TRACE(testing_support::Narrow(e.key));
        const RegValue value = ReadDefault(e.key);
        ASSERT_TRUE(value.found);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
        // Stored with its terminator, and nothing after it.
        EXPECT_EQ(value.bytes, (e.text.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(value.text, e.text);
        EXPECT_EQ(ValueNames(e.key), std::vector<std::wstring>{L""});
        EXPECT_EQ(SubKeyNames(e.key), e.subKeys);
    }
    // No class name, icon or anything else on the extension itself.
    EXPECT_TRUE(ValueNames(L".001").empty());
    EXPECT_EQ(SubKeyNames(L".001"), std::vector<std::wstring>{L"Shell"});
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);
    // All of it in the user's own classes: nothing for everybody, which needs no rights.
    EXPECT_FALSE(KeyExists(L".001", kMachine));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split", kMachine));

    // Installing again (Repair) over a good installation changes nothing.
    ASSERT_TRUE(Install());
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, OurCommand(false));
    EXPECT_EQ(SubKeyNames(L".001\\Shell"), (std::vector<std::wstring>{L"check", L"join"}));
}

TEST_F(ShellRegistryTest, BuildCommandLineQuotesModuleAndDocument) {
    wchar_t join[kCommandLineCapacity];
    wchar_t split[kCommandLineCapacity];
    wchar_t check[kCommandLineCapacity];
    ASSERT_TRUE(BuildCommandLine(Verb::Join, join));
    ASSERT_TRUE(BuildCommandLine(Verb::Split, split));
    ASSERT_TRUE(BuildCommandLine(Verb::Check, check));
    EXPECT_EQ(std::wstring(check), L"\"" + ModulePath() + L"\" /c \"%1\"");
    EXPECT_EQ(std::wstring(join), L"\"" + ModulePath() + L"\" /j \"%1\"");
    EXPECT_EQ(std::wstring(split), L"\"" + ModulePath() + L"\" /s \"%1\"");
    EXPECT_EQ(std::wstring(split).size(), ModulePath().size() + 10);
}

TEST_F(ShellRegistryTest, StatusFollowsTheTwoCommandValues) {
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
    // Only the user's own verbs count, even when the machine's name this very program.
    WriteMachineVerbs(ModulePath());
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
    ASSERT_TRUE(Install());
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);

    // The same command line in other letter case is still ours.
    std::wstring upper = OurCommand(false);
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    WriteDefault(L".001\\Shell\\join\\command", upper);
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);

    // Another copy of the program registered the join verb.
    WriteDefault(L".001\\Shell\\join\\command", L"\"C:\\Old Place\\brindlecot.exe\" /j \"%1\"");
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, OurCommand(false));

    // ... or only the split verb.
    WriteDefault(L"*\\Shell\\split\\command", L"\"C:\\Old Place\\brindlecot.exe\" /s \"%1\"");
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command").text, OurCommand(true));
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);

    // A copy from before the check verb, or one of its keys gone: Repair brings it back.
    ASSERT_EQ(DeleteTree(L"SystemFileAssociations\\.par2\\Shell\\check"), ERROR_SUCCESS);
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);

    // The display names and the default verb do not decide.
    WriteDefault(L".001\\Shell\\join", L"Join parts");
    WriteDefault(L".001\\Shell", L"open");
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);
}

TEST_F(ShellRegistryTest, PartlyInstalledOrUnreadableIsCorrupted) {
    ASSERT_TRUE(Install());
    // Split verb removed by hand, join verb intact.
    ASSERT_EQ(DeleteTree(L"*\\Shell\\split"), ERROR_SUCCESS);
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());

    // A split command key without its value.
    ASSERT_EQ(
        ::RegDeleteKeyValueW(kUser, ClassesPath(L"*\\Shell\\split\\command").c_str(), nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());

    // A join command too long for the buffer can't be read: not ours.
    WriteDefault(L".001\\Shell\\join\\command", OurCommand(false) + std::wstring(1100, L' '));
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);

    // Without the join command key nothing counts as installed, whatever the split verb holds.
    ASSERT_EQ(DeleteTree(L".001\\Shell\\join\\command"), ERROR_SUCCESS);
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
    WriteDefault(L"*\\Shell\\split\\command", L"something else");
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
}

TEST_F(ShellRegistryTest, UninstallRemovesOnlyOurVerbs) {
    // Another program's entries, before and after ours.
    WriteDefault(L".001", L"Foreign.Archive");
    WriteNamed(L".001", L"Content Type", L"application/x-foreign");
    WriteDefault(L".001\\Shell\\open\\command", L"foreign.exe \"%1\"");
    WriteDefault(L"*\\Shell\\inspect\\command", L"inspect.exe \"%1\"");
    ASSERT_TRUE(Install());
    EXPECT_EQ(ReadDefault(L".001\\Shell").text, L"join");

    ::SetLastError(12345);
    EXPECT_TRUE(Uninstall());
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);

    EXPECT_FALSE(KeyExists(L".001\\Shell\\join"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    // Our default verb is gone, theirs stay.
    EXPECT_FALSE(ReadDefault(L".001\\Shell").found);
    EXPECT_EQ(ReadDefault(L".001").text, L"Foreign.Archive");
    EXPECT_EQ(ReadNamed(L".001", L"Content Type").text, L"application/x-foreign");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\open\\command").text, L"foreign.exe \"%1\"");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\inspect\\command").text, L"inspect.exe \"%1\"");
}

TEST_F(ShellRegistryTest, UninstallKeepsADefaultVerbThatIsNotOurs) {
    ASSERT_TRUE(Install());
    // Another program made its own verb the default after we installed.
    WriteDefault(L".001\\Shell\\view\\command", L"viewer.exe \"%1\"");
    WriteDefault(L".001\\Shell", L"view");
    EXPECT_TRUE(Uninstall());
    EXPECT_EQ(ReadDefault(L".001\\Shell").text, L"view");
    EXPECT_EQ(SubKeyNames(L".001\\Shell"), std::vector<std::wstring>{L"view"});
}

TEST_F(ShellRegistryTest, UninstallLeavesNoEmptyKeysBehind) {
    ASSERT_TRUE(Install());
    EXPECT_TRUE(Uninstall());
    // .001 was ours alone: it goes whole, and so do the side files' types.
    EXPECT_FALSE(KeyExists(L".001"));
    for (const wchar_t* type : kSideFileTypes)
        EXPECT_FALSE(KeyExists((std::wstring(L"SystemFileAssociations\\") + type).c_str()));
    // "*\Shell" is shared by every program and stays.
    EXPECT_TRUE(KeyExists(L"*\\Shell"));
}

TEST_F(ShellRegistryTest, UninstallReportsAMissingVerb) {
    // Split verb already missing: the join verb still goes, the result is 2.
    ASSERT_TRUE(Install());
    ASSERT_EQ(DeleteTree(L"*\\Shell\\split"), ERROR_SUCCESS);
    ::SetLastError(0);
    EXPECT_FALSE(Uninstall());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(KeyExists(L".001"));

    // Join verb missing: the split verb still goes.
    ASSERT_TRUE(Install());
    ASSERT_EQ(DeleteTree(L".001\\Shell\\join"), ERROR_SUCCESS);
    ::SetLastError(0);
    EXPECT_FALSE(Uninstall());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));

    // Nothing installed at all.
    ::SetLastError(0);
    EXPECT_FALSE(Uninstall());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// An older copy, or an administrator, registered the verbs for everybody through
// HKEY_CLASSES_ROOT. Uninstall takes them away too where it may, with the same care for other
// programs' entries, and a verb missing there is no error.
TEST_F(ShellRegistryTest, UninstallAlsoRemovesTheVerbsForEverybody) {
    const std::wstring elsewhere = L"C:\\Program Files\\Brindlecot\\brindlecot.exe";
    WriteMachineVerbs(elsewhere);
    WriteNamed(L".001", L"Content Type", L"application/x-foreign", kMachine);
    WriteDefault(L".001\\Shell\\open\\command", L"foreign.exe \"%1\"", kMachine);
    WriteDefault(L"*\\Shell\\inspect\\command", L"inspect.exe \"%1\"", kMachine);
    ASSERT_TRUE(Install());
    ::SetLastError(12345);
    EXPECT_TRUE(Uninstall());
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_FALSE(KeyExists(L".001"));
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join", kMachine));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split", kMachine));
    EXPECT_FALSE(ReadDefault(L".001\\Shell", kMachine).found);
    EXPECT_EQ(ReadNamed(L".001", L"Content Type", kMachine).text, L"application/x-foreign");
    EXPECT_EQ(ReadDefault(L".001\\Shell\\open\\command", kMachine).text, L"foreign.exe \"%1\"");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\inspect\\command", kMachine).text, L"inspect.exe \"%1\"");

    // Only the split verb left for everybody.
    WriteDefault(L"*\\Shell\\split\\command", L"\"" + elsewhere + L"\" /s \"%1\"", kMachine);
    ASSERT_TRUE(Install());
    ::SetLastError(12345);
    EXPECT_TRUE(Uninstall());
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split", kMachine));
    EXPECT_EQ(ReadDefault(L"*\\Shell\\inspect\\command", kMachine).text, L"inspect.exe \"%1\"");
}

// Windows lets a user only read the machine's classes. Wine checks a key's access list when a
// key is opened to change its values, though not to delete it; these tests take the right to
// change away from one key of the verbs for everybody at a time.
TEST_F(ShellRegistryTest, VerbsForEverybodyThatMayNotBeChangedAreLeftWhole) {
    const std::wstring elsewhere = L"C:\\Program Files\\Brindlecot\\brindlecot.exe";
    for (const wchar_t* locked : {L".001\\Shell", L".001\\Shell\\join", L"*\\Shell\\split"}) {
        SCOPED_TRACE(testing_support::Narrow(locked));
        WriteMachineVerbs(elsewhere);
        ASSERT_TRUE(Install());
        {
            ReadOnlyForEverybody readOnly(locked, kMachine);
            ASSERT_TRUE(readOnly.Applied());
            ::SetLastError(0);
            // The user's own verbs go: that is a success, and the code tells what was left.
            EXPECT_TRUE(Uninstall());
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
        EXPECT_FALSE(KeyExists(L".001"));
        EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
        // Nothing of the verbs for everybody was touched, not even what could have gone.
        EXPECT_EQ(ReadDefault(L".001\\Shell", kMachine).text, L"join");
        EXPECT_EQ(ReadDefault(L".001\\Shell\\join", kMachine).text, L"&Join");
        EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command", kMachine).text,
                  L"\"" + elsewhere + L"\" /j \"%1\"");
        EXPECT_EQ(ReadDefault(L"*\\Shell\\split", kMachine).text, L"&Split");
        EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command", kMachine).text,
                  L"\"" + elsewhere + L"\" /s \"%1\"");
        RemoveTestEntries();
    }
}

// A volatile parent refuses a lasting subkey on Windows and Wine alike, which makes a Create
// fail for real.
TEST_F(ShellRegistryTest, InstallStopsAtTheFirstKeyItCannotCreate) {
    ASSERT_TRUE(CreateVolatileKey(L".001"));
    ::SetLastError(0);
    EXPECT_FALSE(Install());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CHILD_MUST_BE_VOLATILE));
    // The first step failed: nothing at all was written.
    EXPECT_TRUE(SubKeyNames(L".001").empty());
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    EXPECT_EQ(QueryStatus(), InstallStatus::NotInstalled);
}

TEST_F(ShellRegistryTest, InstallFailingHalfWayKeepsWhatItWrote) {
    // The split verb's key exists but can't take its command key.
    ASSERT_TRUE(CreateVolatileKey(L"*\\Shell\\split"));
    ::SetLastError(0);
    EXPECT_FALSE(Install());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CHILD_MUST_BE_VOLATILE));
    // Steps one to four stayed written; the split command is missing, which shows as damage.
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, OurCommand(false));
    EXPECT_EQ(ReadDefault(L".001\\Shell").text, L"join");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split").text, L"&Split");
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split\\command"));
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
}

// The module path is the one thing the tests above can't choose: a copy of this test program,
// started from another place, reports what it built and what its Install did.
namespace {

constexpr wchar_t kProbeReportVariable[] = L"BRINDLECOT_PROBE_REPORT";

struct ProbeReport {
    bool ran = false;
    std::vector<std::wstring> lines;
};

std::wstring Field(BOOL ok, const std::wstring& text) {
    return ok ? L"1|" + text : L"0|" + std::to_wstring(::GetLastError());
}

// Copies this program to exePath, runs the probe in it and reads back its report.
ProbeReport RunProbeCopy(const std::wstring& exePath, const std::wstring& reportPath) {
    ProbeReport report;
    EXPECT_TRUE(::CopyFileW(ModulePath().c_str(), exePath.c_str(), FALSE)) << ::GetLastError();
    ::SetEnvironmentVariableW(kProbeReportVariable, reportPath.c_str());
    // The copy's own run must not take the file that tells whether this one ran to its end.
    ::SetEnvironmentVariableW(L"TEST_PREMATURE_EXIT_FILE", nullptr);
    std::wstring commandLine =
        L"\"" + exePath + L"\" --gtest_filter=ShellIntegrationProbe.* --gtest_color=no";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                          0, nullptr, nullptr, &startup, &process);
    const DWORD startError = ::GetLastError();
    ::SetEnvironmentVariableW(kProbeReportVariable, nullptr);
    EXPECT_TRUE(started) << "CreateProcessW: " << startError;
    if (!started)
        return report;
    // A hung probe fails the test instead of hanging the run.
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);

    std::vector<uint8_t> bytes;
    if (!testing_support::ReadWholeFile(reportPath, bytes))
        return report;
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        report.lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    report.ran = report.lines.size() == 5;
    return report;
}

} // namespace

// Runs only inside a copy started by the tests below.
TEST(ShellIntegrationProbe, ReportFromThisCopy) {
    wchar_t reportPath[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(kProbeReportVariable, reportPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        GTEST_SKIP() << "only runs as a copy of the program started from another folder";
    wchar_t join[kCommandLineCapacity];
    wchar_t split[kCommandLineCapacity];
    std::wstring text;
    BOOL ok = BuildCommandLine(Verb::Join, join);
    text += Field(ok, ok ? join : L"") + L"\n";
    ok = BuildCommandLine(Verb::Split, split);
    text += Field(ok, ok ? split : L"") + L"\n";
    text += std::to_wstring(static_cast<int>(QueryStatus())) + L"\n";
    ok = Install();
    text += Field(ok, L"") + L"\n";
    text += std::to_wstring(static_cast<int>(QueryStatus()));
    ASSERT_TRUE(testing_support::WriteWholeFile(
        reportPath, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(text.data()),
                                         reinterpret_cast<const uint8_t*>(text.data()) +
                                             text.size() * sizeof(wchar_t))));
}

TEST_F(ShellRegistryTest, ModulePathWithSpacesIsQuotedAndAnotherCopyIsDamage) {
    TempDir dir(L"copy");
    const std::wstring folder = dir / L"My Programs";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring exe = folder + L"\\brindle cot.exe";
    const ProbeReport report = RunProbeCopy(exe, dir / L"report.txt");
    ASSERT_TRUE(report.ran);
    EXPECT_EQ(report.lines[0], L"1|\"" + exe + L"\" /j \"%1\"");
    EXPECT_EQ(report.lines[1], L"1|\"" + exe + L"\" /s \"%1\"");
    EXPECT_EQ(report.lines[2], L"0");  // not installed before
    EXPECT_EQ(report.lines[3], L"1|"); // its Install worked
    EXPECT_EQ(report.lines[4], L"1");  // and it sees its own verbs
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command").text, L"\"" + exe + L"\" /s \"%1\"");

    // For this copy the verbs point elsewhere: damaged, and Repair takes them over.
    EXPECT_EQ(QueryStatus(), InstallStatus::Corrupted);
    ASSERT_TRUE(Install());
    EXPECT_EQ(QueryStatus(), InstallStatus::Installed);
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, OurCommand(false));
}
