#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinScriptFiles.h"
#include "ops/SplitOperation.h"

using namespace testing_support;
using namespace ops_tests;

namespace {

struct ScriptRun {
    DWORD exitCode = 0;
    std::string output;
};

// Runs the script as a double-click does, through cmd /c, with what it prints caught. The path
// reaches cmd through a variable, so that the test's own command line holds no % or & for cmd
// to take.
ScriptRun RunScript(const std::wstring& script, const TempDir& dir) {
    // A file of its own per run: the console host that Wine starts for cmd may hold the last
    // one a moment longer than cmd lives.
    static int runs = 0;
    const std::wstring outputFile = dir / (L"script-output-" + std::to_wstring(++runs));
    ScriptRun run;
    ::SetEnvironmentVariableW(L"BRINDLECOT_SCRIPT", script.c_str());
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, 0, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    wchar_t cmd[MAX_PATH];
    ::GetSystemDirectoryW(cmd, MAX_PATH);
    wcscat_s(cmd, L"\\cmd.exe");
    std::wstring line = L"cmd /c \"\"%BRINDLECOT_SCRIPT%\"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi = {};
    run.exitCode = 9999;
    if (::CreateProcessW(cmd, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &si, &pi)) {
        if (::WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(pi.hProcess, &run.exitCode);
        else
            ::TerminateProcess(pi.hProcess, 9998);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(in);
    ::CloseHandle(out);
    for (int tries = 0; tries < 100; ++tries) {
        run.output = ReadText(outputFile);
        if (run.output != "(unreadable)")
            break;
        ::Sleep(50);
    }
    return run;
}

class JoinScriptTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        WriteDword(L"WriteJoinScript", 1);
    }

    // Splits source and moves it aside (to the returned path), as a receiver has only parts.
    std::wstring SplitAndSend(const std::wstring& source, uint64_t partSize,
                              OperationState expected = OperationState::Done) {
        RecordingDisplay shown;
        shown.partSize = partSize;
        SplitOperation split(shown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        RunToEnd(split);
        EXPECT_EQ(split.State(), expected) << Narrow(shown.statusBar);
        if (expected == OperationState::Done)
            selected = ShellRecorder::selected;
        else
            failedWith = shown.statusBar;
        split.Abort();
        const std::wstring original = dir / L"sent-original";
        ::DeleteFileW(original.c_str());
        if (expected == OperationState::Done) {
            EXPECT_TRUE(::MoveFileW(source.c_str(), original.c_str()));
        }
        return original;
    }

    ShellRecorder shell;
    std::vector<std::wstring> selected;
    std::wstring failedWith;
};

bool SameFiles(const std::wstring& a, const std::wstring& b) {
    std::vector<uint8_t> first, second;
    return ReadWholeFile(a, first) && ReadWholeFile(b, second) && first == second;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

// What the names in the table have in common: characters that cmd takes for itself (& ^ %), or
// that only reach it whole when the script is read right (outside ASCII).
TEST_F(JoinScriptTest, TheScriptJoinsEveryNameByteForByte) {
    WriteDword(L"SelectFiles", 1);
    const wchar_t* const names[] = {L"two words.bin", L"50% off%.bin", L"a&b^c.bin",
                                    L"\x00FC\x00F1\x00EF \x20AC.bin"};
    for (const wchar_t* name : names) {
        SCOPED_TRACE(Narrow(name));
        const std::wstring source = dir / name;
        ASSERT_TRUE(WritePatternFile(source, 2 * MiB + 5, 3));
        const std::wstring original = SplitAndSend(source, 1 * MiB);
        const std::vector<std::wstring> expected = {PartName(source, 1),   PartName(source, 2),
                                                    PartName(source, 3),   source + L".sha256",
                                                    source + L".join.cmd", source + L".join.txt"};
        EXPECT_EQ(selected, expected);
        const ScriptRun run = RunScript(source + L".join.cmd", dir);
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_TRUE(Contains(run.output, "is joined")) << run.output;
        EXPECT_TRUE(SameFiles(source, original));
    }
}

// Past part 999 the numbers grow a digit, and the copy lines stay short. The parts are written
// here: a split into 1,001 parts takes long under Wine, and adds nothing to what is tested.
TEST_F(JoinScriptTest, TheScriptJoinsMoreThan999Parts) {
    const std::wstring source = dir / L"many parts.bin";
    const std::vector<uint8_t> data = MakePattern(1001 * 64 - 7, 4);
    for (unsigned i = 0; i < 1001; ++i) {
        const auto from = data.begin() + i * 64;
        ASSERT_TRUE(WriteWholeFile(PartName(source, i + 1),
                                   std::vector<uint8_t>(from, i < 1000 ? from + 64 : data.end())));
    }
    JoinScriptFiles files;
    files.SetFor(Wide(source), 1001, false);
    ASSERT_TRUE(files.Create());
    ASSERT_TRUE(files.Complete(nullptr));
    const std::string script = ReadText(source + L".join.cmd");
    size_t longest = 0;
    for (size_t at = 0, end; at < script.size(); at = end + 2) {
        end = script.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CRLF";
        longest = std::max(longest, end - at);
    }
    EXPECT_LT(longest, 2500u);
    const ScriptRun run = RunScript(source + L".join.cmd", dir);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    std::vector<uint8_t> joined;
    EXPECT_TRUE(ReadWholeFile(source, joined) && joined == data);
}

// A receiver's mistakes stop the script with a message and cost nothing.
TEST_F(JoinScriptTest, TheScriptStopsWhenAPartIsMissingOrTheFileExists) {
    WriteDword(L"WriteChecksums", 0);
    const std::wstring source = dir / L"x.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 5));
    const std::wstring original = SplitAndSend(source, 1 * MiB);
    ASSERT_TRUE(::MoveFileW(PartName(source, 3).c_str(), (dir / L"away").c_str()));
    ScriptRun run = RunScript(source + L".join.cmd", dir);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, "Part \"x.bin.003\" is missing")) << run.output;
    EXPECT_FALSE(FileExists(source));

    ASSERT_TRUE(::MoveFileW((dir / L"away").c_str(), PartName(source, 3).c_str()));
    ASSERT_TRUE(WriteText(source, "mine"));
    run = RunScript(source + L".join.cmd", dir);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, "\"x.bin\" exists already")) << run.output;
    EXPECT_EQ(ReadText(source), "mine");
}

// The two files are made like the parts: never over a file of their names, counted before the
// split as written after it, and gone with an aborted split.
TEST_F(JoinScriptTest, TheFilesAreMadeLikeTheParts) {
    const std::wstring source = dir / L"y.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 6));
    {
        RecordingDisplay shown;
        shown.partSize = 1 * MiB;
        SplitOperation split(shown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(split.IsBusy());
        EXPECT_TRUE(FileExists(source + L".join.cmd"));
        split.Abort();
        EXPECT_FALSE(FileExists(source + L".join.cmd"));
        EXPECT_FALSE(FileExists(source + L".join.txt"));
    }
    ASSERT_TRUE(WriteText(source + L".join.txt", "mine"));
    SplitAndSend(source, 1 * MiB, OperationState::Failed);
    EXPECT_EQ(failedWith, ErrorText(L"Error opening " + source + L".join.txt", ERROR_FILE_EXISTS));
    EXPECT_FALSE(FileExists(source + L".join.cmd"));
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_EQ(ReadText(source + L".join.txt"), "mine");
    ASSERT_TRUE(::DeleteFileW((source + L".join.txt").c_str()));

    JoinScriptFiles files;
    WideString path = Wide(source);
    files.SetFor(path, 3, true);
    uint64_t scriptBytes = 0, textBytes = 0;
    ASSERT_TRUE(files.Sizes(scriptBytes, textBytes));
    SplitAndSend(source, 1 * MiB);
    EXPECT_EQ(FileSize(source + L".join.cmd"), static_cast<int64_t>(scriptBytes));
    EXPECT_EQ(FileSize(source + L".join.txt"), static_cast<int64_t>(textBytes));
}
