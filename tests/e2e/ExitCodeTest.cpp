#include "EndToEndSupport.h"

#include "support/MessageBoxProbe.h"
#include "support/SmallVolume.h"

#include "app/ProgramInfo.h"

#include <functional>

using namespace testing_support;

namespace e2e {
namespace {

constexpr int kKilobytes = 1; // index of "KB" in the unit list

// The exit code of the real program, for a real case of each line of its table: what a script
// that runs it learns of the work. (A bad command line, code 1, is the program's start test.)
class ExitCodeTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettingsKey(); }
    void TearDown() override { RemoveSettingsKey(); }
    TempDir dir{L"exitcode"};
};

// A set of four parts, with the list a split would leave beside them where asked.
std::vector<uint8_t> WriteSet(const std::wstring& whole, bool withList,
                              uint64_t partSize = 256 * 1024) {
    std::vector<uint8_t> all = MakePattern(4 * partSize, 90);
    for (unsigned i = 1; i <= 4; ++i) {
        const auto from = all.begin() + (i - 1) * partSize;
        if (!WriteWholeFile(PartName(whole, i), std::vector<uint8_t>(from, from + partSize)))
            ADD_FAILURE() << "part " << i;
    }
    if (withList && !WriteText(whole + L".sha256", ExpectedChecksumList(whole, all, partSize)))
        ADD_FAILURE() << "list";
    return all;
}

// What the shell sends once the window's taskbar button exists: the program then shows its
// progress there, through the system's own taskbar list.
void AnnounceTaskbarButton(MainWindowRun& run) {
    ::PostMessageW(run.Window(), ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
}

void WaitForError(MainWindowRun& run) {
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
}

struct ExitCase {
    const char* what;
    // Makes the files; gives the command line and, where the case holds a file open, its handle.
    std::function<std::wstring(const std::wstring& whole, HANDLE& held)> prepare;
    // Drives the window to the case's end, and closes it.
    std::function<void(MainWindowRun& run, const std::wstring& whole)> drive;
    DWORD code;
};

const ExitCase kCases[] = {
    {"a split done",
     [](const std::wstring& whole, HANDLE&) {
         WritePatternFile(whole, 1000000, 91);
         return L" /s \"" + whole + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         AnnounceTaskbarButton(run);
         run.TypePartSize(L"300", kKilobytes);
         run.PressAction();
         ASSERT_EQ(run.WaitForStatus(L"x.bin splited !"), L"x.bin splited !");
         run.Close();
     },
     0},
    {"a join done",
     [](const std::wstring& whole, HANDLE&) {
         WriteSet(whole, true);
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         ASSERT_EQ(run.WaitForStatus(L"x.bin joined !"), L"x.bin joined !");
         run.Close();
     },
     0},
    {"a part missing",
     [](const std::wstring& whole, HANDLE&) {
         WriteSet(whole, false);
         ::DeleteFileW(PartName(whole, 3).c_str());
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         WaitForError(run);
         EXPECT_EQ(run.StatusBar(),
                   L"Part x.bin.003 is missing: #2 - " + SystemTextOnOneLine(ERROR_FILE_NOT_FOUND));
         run.Close();
     },
     2},
    {"a part damaged, no recovery data",
     [](const std::wstring& whole, HANDLE&) {
         WriteSet(whole, true);
         std::vector<uint8_t> second;
         ReadWholeFile(PartName(whole, 2), second);
         second[777] ^= 0x01;
         WriteWholeFile(PartName(whole, 2), second);
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         WaitForError(run);
         EXPECT_EQ(run.StatusBar(),
                   L"Part x.bin.002 is damaged: #23 - " + SystemTextOnOneLine(ERROR_CRC));
         run.Close();
     },
     3},
    {"the output exists",
     [](const std::wstring& whole, HANDLE&) {
         WriteSet(whole, false);
         WritePatternFile(whole, 1000, 92);
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         WaitForError(run);
         EXPECT_EQ(run.StatusBar(),
                   L"Error opening x.bin: #80 - " + SystemTextOnOneLine(ERROR_FILE_EXISTS));
         run.Close();
     },
     4},
    {"a part held by another program while the join runs",
     [](const std::wstring& whole, HANDLE& held) {
         // One buffer of 128 KiB at a time: the join moves three parts before it opens the last.
         WriteDword(L"BufferSize", 131072);
         WriteDword(L"IoPairCount", 1);
         WriteSet(whole, false);
         held = ::CreateFileW(PartName(whole, 4).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         AnnounceTaskbarButton(run);
         WaitForError(run);
         EXPECT_EQ(run.StatusBar(),
                   L"Error BeginIoPair: #32 - " + SystemTextOnOneLine(ERROR_SHARING_VIOLATION));
         run.Close();
     },
     5},
    {"a join left while paused",
     [](const std::wstring& whole, HANDLE&) {
         WriteDword(L"BufferSize", 131072);
         WriteDword(L"IoPairCount", 1);
         // A thousand chunks, one at a time: the join is still under way when Pause comes.
         WriteSet(whole, false, 32 * MiB);
         return L" /j \"" + PartName(whole, 1) + L"\"";
     },
     [](MainWindowRun& run, const std::wstring&) {
         AnnounceTaskbarButton(run);
         run.Choose(kCommandPause);
         ASSERT_EQ(run.WaitForStatus(L"Processing x.bin paused."), L"Processing x.bin paused.");
         run.Close();
         // The question while busy; Yes leaves.
         MessageBoxSeen seen =
             WatchForMessageBox(kProgramCaption, run.Program().Id(), 10000, IDYES);
         ASSERT_TRUE(seen.found);
         EXPECT_EQ(seen.text, L"Do you really want to exit Brindlecot ?");
     },
     6},
};

TEST_F(ExitCodeTest, EachEndOfTheWorkHasItsCode) {
    for (const ExitCase& c : kCases) {
        SCOPED_TRACE(c.what);
        RemoveSettingsKey();
        EmptyFolder(dir.Path() + L"\\");
        const std::wstring whole = dir / L"x.bin";
        HANDLE held = INVALID_HANDLE_VALUE;
        const std::wstring arguments = c.prepare(whole, held);
        {
            MainWindowRun run(arguments);
            ASSERT_TRUE(run.Found());
            c.drive(run, whole);
            EXPECT_EQ(run.Program().WaitForExit(10000), c.code);
        }
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
    }
}

} // namespace
} // namespace e2e
