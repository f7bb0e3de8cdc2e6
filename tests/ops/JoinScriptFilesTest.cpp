#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinScriptFiles.h"
#include "ops/SplitOperation.h"

#include <cerrno>
#include <cstdio>

using namespace testing_support;
using namespace ops_tests;

namespace {

struct ScriptRun {
    int exitCode = 0;
    std::string output;
};

// Runs the script through cmd, as a double-click does, with what it prints caught, and a TEMP
// folder with a ! in its path (a user's name can hold one). The paths reach cmd through
// variables, so that no % or & of theirs is cmd's to take.
ScriptRun RunScript(const std::wstring& script, const TempDir& dir) {
    const std::wstring output = dir / L"script-output", temp = dir / L"te!mp";
    ::CreateDirectoryW(temp.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"BRINDLECOT_TEMP", temp.c_str());
    ::SetEnvironmentVariableW(L"BRINDLECOT_SCRIPT", script.c_str());
    ::SetEnvironmentVariableW(L"BRINDLECOT_OUTPUT", output.c_str());
    ScriptRun run;
    // -1: cmd itself could not be started (seen once on a loaded machine), so nothing ran yet.
    for (int start = 0; start < 3; ++start) {
        run.exitCode = _wsystem(L"set \"TEMP=%BRINDLECOT_TEMP%\" & \"%BRINDLECOT_SCRIPT%\" <NUL "
                                L">\"%BRINDLECOT_OUTPUT%\" 2>&1");
        if (run.exitCode != -1)
            break;
        fprintf(stderr, "cmd not started (errno %d), once more\n", errno);
        ::Sleep(500);
    }
    run.output = ReadText(output);
    return run;
}

class JoinScriptFilesTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        WriteDword(L"WriteJoinScript", 1);
    }

    // Splits source and moves it aside (to the returned path), as a receiver has only parts.
    std::wstring SplitAndSend(const std::wstring& source, uint64_t partSize,
                              OperationState expected = OperationState::Done) {
        RecordingDisplay shown;
        EXPECT_EQ(Split(source, partSize, shown), expected) << Narrow(shown.statusBar);
        if (expected == OperationState::Done)
            selected = ShellRecorder::selected;
        else
            failedWith = shown.statusBar;
        const std::wstring original = dir / L"sent-original";
        EXPECT_EQ(expected != OperationState::Done ||
                      ::MoveFileExW(source.c_str(), original.c_str(), MOVEFILE_REPLACE_EXISTING),
                  TRUE);
        return original;
    }

    ShellRecorder shell;
    std::vector<std::wstring> selected;
    std::wstring failedWith;
};

} // namespace

// What the names in the table have in common: characters that cmd takes for itself (& ^ %), or
// that only reach it whole when the script is read right (outside ASCII), or an option's dash.
// Wine's certutil computes no checksum: there the result is joined but can't be checked.
TEST_F(JoinScriptFilesTest, TheScriptJoinsEveryNameByteForByte) {
    WriteDword(L"SelectFiles", 1);
    const wchar_t* const names[] = {L"two words.bin", L"50% off%.bin", L"a&b^c.bin",
                                    L"\x00FC\x00F1\x00EF \x20AC.bin", L"-dash.bin"};
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
        const bool checked = !Contains(run.output, "could not compute");
        EXPECT_EQ(run.exitCode, checked ? 0 : 3) << run.output;
        // Nothing but the result's line after the joining's (a name is printed in cmd's code page).
        EXPECT_TRUE(Contains(run.output, "...\r\n\"") && Contains(run.output, "\" is joined"))
            << run.output;
        EXPECT_EQ(SystemSha256OfFile(source), SystemSha256OfFile(original));
        ASSERT_TRUE(::DeleteFileW(source.c_str()) && WriteText(PartName(source, 2), "damaged"));
        EXPECT_EQ(RunScript(source + L".join.cmd", dir).exitCode, checked ? 2 : 3);
    }
}

// Past part 999 the numbers grow a digit, and the copy lines stay short. The parts are written
// here: a split into 1,001 parts takes long under Wine, and adds nothing to what is tested.
TEST_F(JoinScriptFilesTest, TheScriptJoinsMoreThan999Parts) {
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
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<uint8_t> joined;
    EXPECT_TRUE(ReadWholeFile(source, joined) && joined == data);
}

// A receiver's mistakes stop the script with a message and cost nothing.
TEST_F(JoinScriptFilesTest, TheScriptStopsWhenAPartIsMissingOrTheFileExists) {
    WriteDword(L"WriteChecksums", 0);
    const std::wstring source = dir / L"x.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 5));
    const std::wstring original = SplitAndSend(source, 1 * MiB);
    ASSERT_TRUE(::MoveFileW(PartName(source, 3).c_str(), (dir / L"away").c_str()));
    ScriptRun run = RunScript(source + L".join.cmd", dir);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.output, "Part \"x.bin.003\" is missing")) << run.output;
    EXPECT_FALSE(FileExists(source));

    ASSERT_TRUE(::MoveFileW((dir / L"away").c_str(), PartName(source, 3).c_str()));
    ASSERT_TRUE(WriteText(source, "mine"));
    run = RunScript(source + L".join.cmd", dir);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.output, "\"x.bin\" exists already")) << run.output;
    EXPECT_EQ(ReadText(source), "mine");
}

// The two files are made like the parts: never over a file of their names, counted before the
// split as written after it, and gone with an aborted split.
TEST_F(JoinScriptFilesTest, TheFilesAreMadeLikeTheParts) {
    const std::wstring source = dir / L"y.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 6));
    RecordingDisplay shown;
    shown.partSize = 1 * MiB;
    SplitOperation running(shown);
    running.Start(Wide(source));
    running.OnCommand(kCommandSplit);
    ASSERT_TRUE(running.IsBusy() && FileExists(source + L".join.cmd"));
    running.Abort();
    EXPECT_FALSE(FileExists(source + L".join.cmd") || FileExists(source + L".join.txt"));
    ASSERT_TRUE(WriteText(source + L".join.txt", "mine"));
    SplitAndSend(source, 1 * MiB, OperationState::Failed);
    EXPECT_EQ(failedWith, ErrorText(L"Error opening " + source + L".join.txt", ERROR_FILE_EXISTS));
    EXPECT_FALSE(FileExists(source + L".join.cmd") || FileExists(source + L".sha256"));
    EXPECT_EQ(ReadText(source + L".join.txt"), "mine");
    ASSERT_TRUE(::DeleteFileW((source + L".join.txt").c_str()));

    JoinScriptFiles files;
    files.SetFor(Wide(source), 3, true);
    uint64_t scriptBytes = 0, textBytes = 0;
    ASSERT_TRUE(files.Sizes(scriptBytes, textBytes));
    SplitAndSend(source, 1 * MiB);
    EXPECT_EQ(FileSize(source + L".join.cmd"), static_cast<int64_t>(scriptBytes));
    EXPECT_EQ(FileSize(source + L".join.txt"), static_cast<int64_t>(textBytes));
}
