#include "ConsoleRun.h"
#include "EndToEndSupport.h"

#include "app/ProgramInfo.h"
#include "support/ClassesKeys.h"
#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"

#include <algorithm>

using namespace testing_support;

namespace e2e {
namespace {

constexpr uint64_t kPartSize = 1 * MiB;

void FlipAByte(const std::wstring& file) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(file, bytes));
    bytes.at(77) ^= 1; // a part too short fails the case, not the heap
    ASSERT_TRUE(WriteWholeFile(file, bytes));
}

// brindlecot-cli.exe run for real on real files; every exit code it gives comes from a case here.
class ConsoleProgramTest : public CleanSettingsTest {
protected:
    std::wstring Quoted(const std::wstring& name) const { return L"\"" + (dir / name) + L"\""; }
    // The console program run in the folder: its exit code, and these lines in this order in its
    // output.
    ConsoleResult Expect(const std::wstring& arguments, DWORD exitCode,
                         const std::vector<std::string>& lines = {}) {
        SCOPED_TRACE(Narrow(arguments));
        ConsoleResult run = RunConsole(arguments, dir.Path());
        EXPECT_EQ(run.exitCode, exitCode) << run.out;
        for (size_t i = 0, at = 0; i < lines.size(); ++i) {
            at = run.out.find(lines[i], at);
            EXPECT_NE(at, std::string::npos) << lines[i] << " in\n" << run.out;
        }
        return run;
    }
    // A file of this name and size in the folder, its bytes kept for the comparisons.
    std::vector<uint8_t> MakeFile(const std::wstring& name, uint64_t size, uint32_t seed) {
        std::vector<uint8_t> data = MakePattern(static_cast<size_t>(size), seed);
        EXPECT_TRUE(WriteWholeFile(dir / name, data));
        return data;
    }
    // The 1 MiB parts of a file and their list, as a split leaves them, with this many recovery
    // blocks; the file itself is not there.
    std::vector<uint8_t> MakeSet(const std::wstring& name, uint64_t size, uint32_t seed,
                                 int32_t blocks = 0) {
        const std::vector<uint8_t> data = MakePattern(static_cast<size_t>(size), seed);
        std::vector<SetFile> parts;
        for (uint64_t at = 0; at < size; at += kPartSize) {
            parts.push_back({PartName(name, static_cast<unsigned>(parts.size() + 1)),
                             {data.begin() + at, data.begin() + std::min(size, at + kPartSize)}});
            EXPECT_TRUE(WriteWholeFile(dir / parts.back().name, parts.back().data));
        }
        EXPECT_TRUE(WriteText(dir / (name + L".sha256"),
                              ExpectedChecksumList(dir / name, data, kPartSize)));
        EXPECT_TRUE(blocks == 0 || MakeRecoverySet(dir / name, parts, 64 * KiB, blocks));
        return data;
    }

    TempDir dir{L"cli"};
};

// Two files split in one command and one split with the command line's own choices, whatever the
// settings say, then the three joined back in one command. Off a console the progress comes as
// plain lines, one at each whole tenth at most; nothing of the settings changes, nor is the key
// made.
TEST_F(ConsoleProgramTest, SplitsAndJoinsSeveralFilesByTheCommandLineAlone) {
    ASSERT_TRUE(WriteDword(L"RecoveryPercent", 10));
    const std::vector<uint8_t> first = MakeFile(L"first file.bin", 2 * MiB + 5, 1),
                               second = MakeFile(L"second.bin", 700 * KiB, 2),
                               big = MakeFile(L"big.bin", 64 * MiB, 3);
    EXPECT_EQ(Expect(L"split " + Quoted(L"first file.bin") + L" --size 1M second.bin", 0).out,
              "first file.bin splited !\nsecond.bin splited !\n");
    EXPECT_TRUE(PartsHold(dir / L"first file.bin", 3, first));
    EXPECT_FALSE(FileExists(PartName(dir / L"first file.bin", 4)));
    EXPECT_TRUE(PartsHold(dir / L"second.bin", 1, second));
    EXPECT_EQ(ReadText(dir / L"second.bin.sha256"),
              ExpectedChecksumList(dir / L"second.bin", second, kPartSize));

    const ConsoleResult plain = Expect(L"split --parts 4 --no-checksums --join-script big.bin", 0);
    EXPECT_EQ(plain.out, "big.bin splited !\n");
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    size_t lines = 0;
    for (size_t at = 0; (at = plain.err.find("big.bin ", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_LE(lines, 11u) << plain.err;
    EXPECT_EQ(FileSize(PartName(dir / L"big.bin", 4)), int64_t(16 * MiB));
    EXPECT_FALSE(FileExists(dir / L"big.bin.sha256"));
    EXPECT_TRUE(FileExists(dir / L"big.bin.join.cmd") && FileExists(dir / L"big.bin.join.txt"));
    // Three files, eight parts, two lists and two join scripts: no recovery set.
    EXPECT_EQ(FilesIn(dir.Path() + L"\\").size(), 15u);
    EXPECT_EQ(ReadDword(L"RecoveryPercent"), 10u);

    RemoveSettingsKey();
    const wchar_t* const names[] = {L"first file.bin", L"second.bin", L"big.bin"};
    for (const wchar_t* name : names)
        ASSERT_TRUE(::DeleteFileW((dir / name).c_str()));
    const ConsoleResult join = Expect(
        L"join --delete-parts " + Quoted(L"first file.bin.002") + L" second.bin.001 big.bin.001", 0,
        {"first file.bin joined !\n", "second.bin joined !\n", "big.bin joined !\n"});
    EXPECT_EQ(join.out.find("first file.bin joined !\n"), 0u);
    EXPECT_TRUE(Holds(dir / L"first file.bin", first));
    EXPECT_TRUE(Holds(dir / L"second.bin", second));
    EXPECT_TRUE(Holds(dir / L"big.bin", big));
    for (const wchar_t* name : names)
        EXPECT_FALSE(FileExists(PartName(dir / name, 1))) << Narrow(name);
    EXPECT_FALSE(SettingsKeyExists());
}

// A set with its list and recovery data checked with a part lost and one damaged, then repaired,
// and still arriving without recovery data: each verdict, its lines and its code.
TEST_F(ConsoleProgramTest, ChecksSetsAndRepairsWhenAsked) {
    const std::vector<uint8_t> data = MakeSet(L"c.bin", 3 * MiB + 10, 5, 20);
    ::DeleteFileW(PartName(dir / L"c.bin", 2).c_str());
    FlipAByte(PartName(dir / L"c.bin", 3));
    Expect(L"check c.bin.sha256", 3,
           {"Part 3 is damaged and part 2 missing; the recovery data can rebuild both",
            "c.bin.002\t\tmissing\n", "c.bin.003\t1048576\tdamaged (slices "});
    Expect(L"check --repair c.bin.001", 0,
           {"the recovery data can rebuild both", "All 4 parts are good (SHA-256, PAR2)\n",
            "c.bin.002\t1048576\tgood\n", "c.bin.003\t1048576\tgood\n"});
    // Repaired where they lie, nothing joined.
    EXPECT_TRUE(
        PartsHold(dir / L"c.bin", 3, std::vector<uint8_t>(data.begin(), data.begin() + 3 * MiB)));
    EXPECT_TRUE(FileExists(PartName(dir / L"c.bin", 3) + L".damaged"));
    EXPECT_FALSE(FileExists(dir / L"c.bin"));

    ::DeleteFileW(PartName(dir / L"c.bin", 4).c_str());
    for (const std::wstring& name : FilesIn(dir.Path() + L"\\"))
        if (name.size() > 5 && name.compare(name.size() - 5, 5, L".par2") == 0)
            ::DeleteFileW((dir / name).c_str());
    Expect(L"check c.bin.001", 2, {"3 of 4 parts present, all good (SHA-256)\n"});
}

// Help and the version go to standard output. Whatever the parser refuses (its own cases tell
// each way) is named on standard error before the usage, nothing is done, and the code is 1.
TEST_F(ConsoleProgramTest, HelpVersionAndABadCommandLine) {
    const ConsoleResult help = RunConsole(L"--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.out.find("Usage:"), 0u);
    EXPECT_NE(help.out.find("  6  cancelled"), std::string::npos);
    EXPECT_NE(help.out.find("DVD DL 7.93 GB"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const ConsoleResult version = RunConsole(L"--version");
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.out, Narrow(kProgramCaption) + "\n");

    MakeFile(L"a.bin", 1000, 6);
    const ConsoleResult bad = Expect(L"split a.bin --size 1M --parts 2", 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.find("brindlecot-cli: split takes one of --size, --parts and --preset\n"
                           "Usage:"),
              0u)
        << bad.err;
    EXPECT_EQ(FilesIn(dir.Path() + L"\\").size(), 1u);
}

// The verbs the console program installs start the window program beside it, as the setup
// dialog's do; a second uninstall finds nothing to remove.
TEST_F(ConsoleProgramTest, InstallAndUninstallTheVerbsOfTheWindowProgram) {
    const wchar_t* const verbs[] = {L"*\\Shell\\split", L".001"};
    for (const wchar_t* key : verbs)
        DeleteTree(key);
    const ConsoleResult install = RunConsole(L"install");
    EXPECT_EQ(install.exitCode, 0u) << install.err;
    const std::wstring program = ProgramPath();
    EXPECT_EQ(ReadDefault(L".001\\Shell\\join\\command").text, L"\"" + program + L"\" /j \"%1\"");
    EXPECT_EQ(ReadDefault(L"*\\Shell\\split\\command").text, L"\"" + program + L"\" /s \"%1\"");
    EXPECT_EQ(RunConsole(L"uninstall").exitCode, 0u);
    EXPECT_FALSE(KeyExists(L".001\\Shell\\join"));
    EXPECT_FALSE(KeyExists(L"*\\Shell\\split"));
    const ConsoleResult again = RunConsole(L"uninstall");
    EXPECT_EQ(again.exitCode, 4u);
    EXPECT_NE(again.err.find("uninstall failed: #2"), std::string::npos) << again.err;
    for (const wchar_t* key : verbs)
        DeleteTree(key);
}

// Refusals and failures, each with its code, on sets made once: m.bin has lost part 2, d.bin has
// part 2 damaged and no recovery data, o.bin lies beside its parts, f.bin is whole.
TEST_F(ConsoleProgramTest, FailuresExitWithTheirCode) {
    for (const wchar_t* name : {L"m.bin", L"d.bin", L"o.bin", L"f.bin"})
        MakeSet(name, 2 * MiB + 10, 8);
    ASSERT_TRUE(::DeleteFileW((dir / L"m.bin.002").c_str()));
    FlipAByte(dir / L"d.bin.002");
    ASSERT_TRUE(WriteWholeFile(dir / L"o.bin", MakePattern(10, 9)));
    ASSERT_TRUE(WriteWholeFile(dir / L"e.bin", {}));
    ASSERT_TRUE(WriteWholeFile(dir / L"t.bin", MakePattern(3, 1)));
    ASSERT_TRUE(WriteWholeFile(dir / L"j.bin.001", MakePattern(100, 3)));
    const struct {
        const wchar_t* arguments; // the names are the folder's own
        DWORD exitCode;
        int errors = 1; // of the sets named
    } rows[] = {
        // A part missing, and a set with none.
        {L"join m.bin.001 gone.bin.001", 2, 2},
        {L"join d.bin.001", 3},
        {L"join o.bin.001", 4},
        {L"split --size 1M o.bin", 4},
        {L"split --size 1M g.bin", 4},
        // The output folder must be there, and be one.
        {L"join f.bin.001 --to gone", 4},
        {L"join f.bin.001 --to f.bin.002", 4},
        // Nothing to cut: the window would wait for another part size.
        {L"split --size 1M e.bin", 4},
        {L"split --parts 5 t.bin", 4},
        // Of several sets the worst result tells, whatever the order.
        {L"join o.bin.001 m.bin.001 j.bin.001", 4, 2},
    };
    for (const auto& row : rows) {
        const ConsoleResult run = Expect(row.arguments, row.exitCode);
        int errors = 0;
        for (size_t at = 0; (at = run.out.find("Error occurred !\n", at)) != std::string::npos;
             ++at)
            ++errors;
        EXPECT_EQ(errors, row.errors) << Narrow(row.arguments) << "\n" << run.out;
    }
}

// A part that another program holds open is found and measured, but cannot be read once the
// join reaches it: an I/O error during the work, and the unfinished output is removed.
TEST_F(ConsoleProgramTest, APartThatCannotBeReadMidWayIsAnIoError) {
    MakeSet(L"f.bin", 3 * MiB + 10, 10);
    ::DeleteFileW((dir / L"f.bin.sha256").c_str());
    HANDLE held = ::CreateFileW(PartName(dir / L"f.bin", 3).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ConsoleResult run = RunConsole(L"join " + Quoted(L"f.bin.001"));
    ::CloseHandle(held);
    EXPECT_EQ(run.exitCode, 5u) << run.out;
    // One line for the status, one for the error: the system's text brings no line end of its own.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_EQ(run.out.find('\r'), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("#32 - " + Narrow(SystemTextOnOneLine(ERROR_SHARING_VIOLATION))),
              std::string::npos)
        << run.out;
    const std::vector<std::wstring> left = FilesIn(dir.Path() + L"\\");
    EXPECT_EQ(left,
              (std::vector<std::wstring>{L"f.bin.001", L"f.bin.002", L"f.bin.003", L"f.bin.004"}));
}

// The text of a row of the console's screen, without the blanks at its end.
std::string ScreenRow(HANDLE screen, SHORT row) {
    char text[512];
    DWORD got = 0;
    if (!::ReadConsoleOutputCharacterA(screen, text, sizeof text, COORD{0, row}, &got))
        return "(unreadable)";
    std::string line(text, got);
    return line.substr(0, line.find_last_not_of(' ') + 1);
}

// On a console the progress is one line rewritten in place, taken away at the end; Ctrl+C cancels
// the split, which leaves nothing of its own. The test makes a console of its own: the one Wine
// gives it takes no Ctrl event, and Wine sends Ctrl+C (not Ctrl+Break) to the whole console.
TEST_F(ConsoleProgramTest, OnAConsoleTheProgressStaysOnOneLineAndCtrlCCancels) {
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE screen =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO before = {};
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(screen, &before));
    const SHORT row = before.dwCursorPosition.Y;
    // A source that takes no room: the cancel comes long before its 1 GiB of parts is written.
    const std::wstring source = dir / L"long.bin";
    ASSERT_TRUE(MakeSparseFile(source, 1024 * MiB));
    ConsoleRun run(L"split --size 1M " + Quoted(L"long.bin"), L"", screen);
    ASSERT_TRUE(run.Started());
    std::string shown;
    while ((shown = ScreenRow(screen, row)).empty() && !run.HasEnded())
        ::Sleep(20);
    EXPECT_EQ(shown.rfind("long.bin ", 0), 0u) << shown;
    EXPECT_NE(shown.find(" %"), std::string::npos) << shown;
    // This process is on the console too, and stays.
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    const ConsoleResult result = run.Finish();
    EXPECT_EQ(result.exitCode, 6u) << result.out;
    EXPECT_EQ(result.out, "Processing long.bin cancelled.\n");
    EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"long.bin"});
    EXPECT_EQ(FileSize(source), int64_t(1024 * MiB));
    // Not a line more on the screen, and the progress gone.
    CONSOLE_SCREEN_BUFFER_INFO after = {};
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(screen, &after));
    EXPECT_EQ(after.dwCursorPosition.Y, row);
    EXPECT_EQ(after.dwCursorPosition.X, before.dwCursorPosition.X);
    EXPECT_EQ(ScreenRow(screen, row), "");
    ::CloseHandle(screen);
}

} // namespace
} // namespace e2e
