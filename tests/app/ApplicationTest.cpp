#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/ProgramInfo.h"

#include "support/MessageBoxProbe.h"
#include "support/TestFiles.h"

#include <string>
#include <thread>

using testing_support::MessageBoxSeen;
using testing_support::Narrow;
using testing_support::WatchForMessageBox;

namespace {

constexpr wchar_t kProgram[] = L"\"C:\\Program Files\\Brindlecot\\brindlecot.exe\"";

struct ParsedCommand {
    bool ok;
    DWORD error;
    RunMode mode;
    std::wstring path;
    bool pathHasBuffer;
    std::wstring folder;
};

ParsedCommand Parse(const std::wstring& arguments, bool withProgram = true) {
    std::wstring line = withProgram ? std::wstring(kProgram) + arguments : arguments;
    Application app;
    WideString path;
    ::SetLastError(0);
    ParsedCommand result;
    result.ok = app.ParseCommandLine(line.c_str(), path);
    result.error = ::GetLastError();
    result.mode = app.Mode();
    result.path.assign(path.Text(), path.Length());
    result.pathHasBuffer = path.Buffer() != nullptr;
    result.folder = app.OutputFolder().Text();
    EXPECT_EQ(wcslen(path.Text()), path.Length()) << "length matches the content";
    return result;
}

void ExpectPath(const std::wstring& arguments, RunMode mode, const std::wstring& path) {
    ParsedCommand p = Parse(arguments);
    EXPECT_TRUE(p.ok) << Narrow(arguments);
    EXPECT_EQ(p.mode, mode) << Narrow(arguments);
    EXPECT_EQ(p.path, path) << Narrow(arguments);
}

void ExpectRefused(const std::wstring& arguments, RunMode modeAfter) {
    ParsedCommand p = Parse(arguments);
    EXPECT_FALSE(p.ok) << Narrow(arguments);
    EXPECT_EQ(p.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << Narrow(arguments);
    EXPECT_EQ(p.mode, modeAfter) << Narrow(arguments);
    EXPECT_FALSE(p.pathHasBuffer) << Narrow(arguments);
}

} // namespace

TEST(ApplicationTest, WithoutSwitchItIsSetup) {
    for (const wchar_t* line : {L"", L" ", L" file.avi", L" -s file", L" a/s file", L" \t/s x"}) {
        ParsedCommand p = Parse(line);
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.mode, RunMode::Setup);
        EXPECT_FALSE(p.pathHasBuffer) << "the path stays empty";
    }
    ParsedCommand bare = Parse(L"brindlecot.exe", false);
    EXPECT_TRUE(bare.ok);
    EXPECT_EQ(bare.mode, RunMode::Setup);
    Application fresh;
    EXPECT_EQ(fresh.Mode(), RunMode::Setup);
    EXPECT_EQ(static_cast<int>(RunMode::Setup), 0);
    EXPECT_EQ(static_cast<int>(RunMode::Split), 1);
    EXPECT_EQ(static_cast<int>(RunMode::Join), 2);
}

TEST(ApplicationTest, TheExplorerVerbForms) {
    ExpectPath(L" /s \"D:\\my files\\movie.avi\"", RunMode::Split, L"D:\\my files\\movie.avi");
    ExpectPath(L" /j \"D:\\my files\\movie.avi.001\"", RunMode::Join,
               L"D:\\my files\\movie.avi.001");
    ExpectPath(L" /c \"D:\\my files\\movie.avi.sha256\"", RunMode::Check,
               L"D:\\my files\\movie.avi.sha256");
    // Non-Latin names come through unchanged.
    ExpectPath(L" /s \"C:\\\x0444\x0438\x043B\x044C\x043C\\\x4E2D.avi\"", RunMode::Split,
               L"C:\\\x0444\x0438\x043B\x044C\x043C\\\x4E2D.avi");
}

TEST(ApplicationTest, PathForms) {
    // Unquoted, the path ends at the first blank.
    ExpectPath(L" /s D:\\my files\\movie.avi", RunMode::Split, L"D:\\my");
    // A missing closing quote runs to the end.
    ExpectPath(L" /s \"D:\\my files\\movie.avi", RunMode::Split, L"D:\\my files\\movie.avi");
    // No blank needed after the letter.
    ExpectPath(L" /sfile", RunMode::Split, L"file");
    ExpectPath(L" /j\"a b.001\"", RunMode::Join, L"a b.001");
    // Several blanks are skipped; a tab is not a blank.
    ExpectPath(L" /s     file", RunMode::Split, L"file");
    ExpectPath(L" /s\tfile", RunMode::Split, L"\tfile");
    ExpectPath(L" /s  \tfile x", RunMode::Split, L"\tfile");
    // Whatever follows the path is ignored.
    ExpectPath(L" /s \"a b\" /j c", RunMode::Split, L"a b");
    ExpectPath(L" /j x.001 y", RunMode::Join, L"x.001");
    ExpectPath(L" /s \"a\"b", RunMode::Split, L"a");
}

// " /to DIR" after the path names the output folder by the path's own rules; without a folder
// after it, or with a check, the line is bad.
TEST(ApplicationTest, ToNamesTheOutputFolder) {
    const wchar_t* const rows[][3] = {
        {L" /s D:\\a.avi /to E:\\ x", L"D:\\a.avi", L"E:\\"},
        {L" /j \"D:\\a b.001\"/to   \"E:\\my out", L"D:\\a b.001", L"E:\\my out"},
        {L" /s a /To b", L"a", L""},
    };
    for (const auto& row : rows) {
        const ParsedCommand p = Parse(row[0]);
        EXPECT_TRUE(p.ok && p.path == row[1] && p.folder == row[2]) << Narrow(row[0]);
    }
    for (const wchar_t* line : {L" /s a /to", L" /j a /to \"\"", L" /s a /tox", L" /c a /to b"})
        EXPECT_FALSE(Parse(line).ok) << Narrow(line);
}

TEST(ApplicationTest, TheFirstSwitchCountsEvenInTheProgramPath) {
    ParsedCommand p = Parse(L"\"C:\\odd /jname\\brindlecot.exe\" /s file", false);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.mode, RunMode::Join);
    EXPECT_EQ(p.path, L"name\\brindlecot.exe\"");

    ParsedCommand q = Parse(L"\"C:\\odd /xname\\brindlecot.exe\" /s file", false);
    EXPECT_FALSE(q.ok);
    EXPECT_EQ(q.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ApplicationTest, BadSwitchesAndMissingPathsFail) {
    // Only lower-case s and j count; the mode is not set.
    ExpectRefused(L" /S file", RunMode::Setup);
    ExpectRefused(L" /J file", RunMode::Setup);
    ExpectRefused(L" /C file", RunMode::Setup);
    ExpectRefused(L" /c", RunMode::Check);
    ExpectRefused(L" /x file", RunMode::Setup);
    ExpectRefused(L" / s file", RunMode::Setup);
    ExpectRefused(L" /", RunMode::Setup);
    // The letter sets the mode at once, before the path is looked at.
    ExpectRefused(L" /s", RunMode::Split);
    ExpectRefused(L" /s   ", RunMode::Split);
    ExpectRefused(L" /s \"\"", RunMode::Split);
    ExpectRefused(L" /j\"\" file", RunMode::Join);
    ExpectRefused(L" /j \"", RunMode::Join);
}

TEST(ApplicationTest, TheProcessCommandLineIsTheOneRead) {
    Application fromProcess, fromText;
    WideString a, b;
    EXPECT_EQ(fromProcess.ParseCommandLine(a), fromText.ParseCommandLine(::GetCommandLineW(), b));
    EXPECT_EQ(fromProcess.Mode(), fromText.Mode());
    EXPECT_STREQ(a.Text(), b.Text());
}

TEST(ApplicationTest, ShowsTheErrorNumberInAnOwnerlessErrorBox) {
    MessageBoxSeen seen;
    std::thread watcher([&] { seen = WatchForMessageBox(kProgramCaption, 0, 20000); });
    Application app;
    ::SetLastError(4294967295u);
    app.ReportStartupError();
    watcher.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Error #4294967295.");
    EXPECT_FALSE(seen.hasOwner);
    EXPECT_TRUE(seen.hasIcon);
    EXPECT_EQ(seen.buttonCount, 1);
    EXPECT_EQ(seen.threadId, ::GetCurrentThreadId());
}
