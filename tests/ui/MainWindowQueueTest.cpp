#include "MainWindowFixture.h"

#include "ops/Commands.h"
#include "support/TestFiles.h"
#include "ui/HandOverRecord.h"
#include "ui/ShellActions.h"

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

using namespace ui_tests;
using namespace testing_support;

namespace {

// The queue of the real window with real operations: what later launches hand over
// (WM_COPYDATA) and what is dropped on it (WM_DROPFILES, with the block Explorer's drop makes).
class MainWindowQueueTest : public EngineWindowTest {
protected:
    void SetUp() override {
        EngineWindowTest::SetUp();
        const uint64_t partSize = MiB;
        WriteBinary(L"PartSize", &partSize, 8);
    }

    // Parts of 1 MiB, the last a little more, of a file of this name.
    std::vector<uint8_t> Parts(const std::wstring& whole, uint32_t seed) {
        std::vector<uint8_t> data = MakePattern(2 * MiB + 4321, seed);
        for (unsigned i = 1; i <= 3; ++i) {
            const auto from = data.begin() + (i - 1) * MiB;
            const auto to = i < 3 ? from + MiB : data.end();
            EXPECT_TRUE(WriteWholeFile(PartName(whole, i), std::vector<uint8_t>(from, to)));
        }
        return data;
    }
    static LRESULT SendRecord(std::vector<uint8_t> bytes, ULONG_PTR tag = HandOverRecord::kTag) {
        COPYDATASTRUCT message{tag, static_cast<DWORD>(bytes.size()), bytes.data()};
        return ::SendMessageW(Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message));
    }
    static std::vector<uint8_t> Record(RunMode mode, const std::wstring& path) {
        HandOverRecord record;
        EXPECT_TRUE(record.Make(mode, Wide(path)));
        const COPYDATASTRUCT message = record.Message();
        const auto* data = static_cast<const uint8_t*>(message.lpData);
        return std::vector<uint8_t>(data, data + message.cbData);
    }

    TempDir dir{L"uiqueue"};
};

} // namespace

TEST_F(MainWindowQueueTest, DroppedFilesAreJoinedOrSplitInTurn) {
    const std::wstring one = dir / L"one.bin", two = dir / L"two.bin", three = dir / L"three.bin";
    const std::vector<uint8_t> oneData = Parts(one, 1), twoData = Parts(two, 2);
    // Dropped as its set's list: the set is joined, checked by it.
    ASSERT_TRUE(WriteText(two + L".sha256", ExpectedChecksumList(two, twoData, MiB)));
    const std::vector<uint8_t> threeData = MakePattern(2 * MiB + 9, 3);
    ASSERT_TRUE(WriteWholeFile(three, threeData));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"folder").c_str(), nullptr));

    BeginQueue(RunMode::Join, PartName(one, 1));
    ASSERT_TRUE(PumpUntilQueueEnded());
    EXPECT_EQ(Status(), L"one.bin joined !");
    EXPECT_FALSE(gMainWindow.IsQueueShown());

    std::wstring names;
    for (const std::wstring& file : {two + L".sha256", dir / L"folder", three})
        names += file + L'\0';
    names += L'\0';
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    ASSERT_NE(block, nullptr);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(block);
    ASSERT_TRUE(::PostMessageW(Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0));

    // The split waits for its part size, as a split started alone does; the folder was left out.
    ASSERT_TRUE(PumpDialog(
        Window(), [] { return gMainWindow.Queue().Current() == 2; }, 60000));
    ASSERT_TRUE(PumpDialog(
        Window(), [] { return gOperation->State() == OperationState::Waiting; }, 60000));
    EXPECT_EQ(gMainWindow.Queue().Count(), 3);
    EXPECT_TRUE(gMainWindow.IsQueueShown());
    EXPECT_TRUE(gMainWindow.IsPartSizePanelShown());
    EXPECT_EQ(Status(), L"Waiting user action.");
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    EXPECT_EQ(Status(), L"3 of 3 files done.");

    EXPECT_TRUE(Holds(one, oneData));
    EXPECT_TRUE(Holds(two, twoData));
    EXPECT_TRUE(PartsHold(three, 3, threeData));
}

// Whatever another program sends is read as hostile: only a whole record adds work.
TEST_F(MainWindowQueueTest, OnlyAWholeRecordIsTakenAndOnlyWhileTheWindowTakesWork) {
    const std::wstring one = dir / L"one.bin", two = dir / L"two.bin";
    Parts(one, 4);
    const std::vector<uint8_t> twoData = Parts(two, 5);
    const std::vector<uint8_t> good = Record(RunMode::Join, PartName(two, 1));
    // Made to wait: a split of a file that waits for its Split command.
    ASSERT_TRUE(WriteWholeFile(dir / L"first.bin", MakePattern(100, 6)));
    BeginQueue(RunMode::Split, dir / L"first.bin");

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        ULONG_PTR tag;
    };
    std::vector<uint8_t> shortPath = good, longPath = good, setup = good, version = good;
    shortPath[8] -= 1;
    longPath[8] += 1;
    setup[6] = 0;
    version[4] = 9;
    const Case cases[] = {
        {"nothing", {}, HandOverRecord::kTag},
        {"another tag", good, 7},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 12),
         HandOverRecord::kTag},
        {"length short", shortPath, HandOverRecord::kTag},
        {"length past the end", longPath, HandOverRecord::kTag},
        {"setup mode", setup, HandOverRecord::kTag},
        {"version 9", version, HandOverRecord::kTag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SendRecord(c.bytes, c.tag), FALSE);
        EXPECT_EQ(gMainWindow.Queue().Count(), 1);
    }
    EXPECT_FALSE(gMainWindow.IsQueueShown());

    EXPECT_EQ(SendRecord(good), TRUE);
    EXPECT_EQ(gMainWindow.Queue().Count(), 2);
    EXPECT_TRUE(gMainWindow.IsQueueShown());
    EXPECT_EQ(gMainWindow.Queue().Item(1).mode, RunMode::Join);
    EXPECT_EQ(std::wstring(gMainWindow.Queue().Item(1).path.Text()), PartName(two, 1));

    // Leaving, the window takes no more: the launch then works on its own.
    {
        ExitAnswer answer(Window(), IDYES);
        ASSERT_TRUE(gMainWindow.ConfirmExit());
        ASSERT_TRUE(answer.Wait(Window()));
    }
    EXPECT_EQ(SendRecord(Record(RunMode::Join, PartName(one, 1))), FALSE);
    EXPECT_EQ(gMainWindow.Queue().Count(), 2);
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Cancelled);
    EXPECT_FALSE(FileExists(two));
}

// At the end of a queue nothing waits for a part size: the panel of a split that failed at its
// start gives its room to the summary.
TEST_F(MainWindowQueueTest, TheEndOfAQueueShowsItsSummaryWithoutThePartSizePanel) {
    const std::wstring one = dir / L"one.bin";
    const std::vector<uint8_t> data = Parts(one, 7);
    BeginQueue(RunMode::Join, PartName(one, 1));
    ASSERT_TRUE(TakeWork(RunMode::Split, dir / L"missing.bin"));
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(Status(), L"1 of 2 files done. Not done: missing.bin");
    EXPECT_FALSE(gMainWindow.IsPartSizePanelShown());
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_MAIN_SIZE)));
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Refused);
    EXPECT_TRUE(Holds(one, data));
}

// "Close window after operation." waits for the last file, and a queue with a failure stays
// open to show it, as a single file that failed does.
TEST_F(MainWindowQueueTest, TheWindowClosesAfterTheLastFileOnlyWhenAllWereDone) {
    WriteDword(L"CloseWindow", 1);
    const std::wstring one = dir / L"one.bin", two = dir / L"two.bin";
    Parts(one, 8);
    Parts(two, 9);
    BeginQueue(RunMode::Join, PartName(one, 1));
    ASSERT_TRUE(TakeWork(RunMode::Join, PartName(two, 1)));
    ASSERT_TRUE(PumpDialog(
        Window(), [] { return gMainWindow.Queue().Current() == 1; }, 60000));
    EXPECT_EQ(TakeQuitCount(), 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Done);
    // A file that came meanwhile is refused: its launch works on its own.
    EXPECT_FALSE(TakeWork(RunMode::Join, PartName(one, 1)));

    gOperation->Abort();
    gMainWindow.Destroy();
    Pump();
    BeginQueue(RunMode::Join, PartName(dir / L"none.bin", 1));
    ASSERT_TRUE(TakeWork(RunMode::Join, PartName(one, 1)));
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(TakeQuitCount(), 0);
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Refused);
}

// The part size chosen for the first split serves the later ones: they start at once.
TEST_F(MainWindowQueueTest, LaterSplitsTakeThePartSizeOfTheFirst) {
    std::vector<std::vector<uint8_t>> data;
    const std::wstring names[] = {dir / L"a.bin", dir / L"b.bin", dir / L"c.bin"};
    for (uint32_t i = 0; i < 3; ++i) {
        data.push_back(MakePattern(2 * MiB + 1 + i, 20 + i));
        ASSERT_TRUE(WriteWholeFile(names[i], data.back()));
    }
    BeginQueue(RunMode::Split, names[0]);
    ASSERT_TRUE(TakeWork(RunMode::Split, names[1]));
    EXPECT_EQ(gOperation->State(), OperationState::Waiting);
    ::SendMessageW(Item(IDC_MAIN_SIZE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"512"));
    ::SendMessageW(Item(IDC_MAIN_UNIT), CB_SETCURSEL, 1, 0); // KB
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_UNIT, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Item(IDC_MAIN_UNIT)));
    ::SendMessageW(Item(IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpDialog(
        Window(), [] { return gMainWindow.Queue().Current() == 1; }, 60000));
    ASSERT_TRUE(TakeWork(RunMode::Split, names[2]));
    ASSERT_TRUE(PumpUntilQueueEnded());
    EXPECT_EQ(Status(), L"3 of 3 files done.");
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(PartsHold(names[i], 5, data[i])) << i;
        EXPECT_FALSE(FileExists(PartName(names[i], 6))) << i;
    }
}

// Abort ends the current file alone, leaving nothing of it; the queue goes on with the next.
TEST_F(MainWindowQueueTest, AbortEndsTheCurrentFileAndTheNextOneRuns) {
    const std::wstring big = dir / L"big.bin", one = dir / L"one.bin";
    ASSERT_TRUE(WritePatternFile(big, 64 * MiB, 11));
    const std::vector<uint8_t> data = Parts(one, 12);
    BeginQueue(RunMode::Split, big);
    // A single file has no such command.
    EXPECT_EQ(
        ::GetMenuState(gMainWindow.ActionMenu(), MainWindow::kCommandAbortCurrent, MF_BYCOMMAND),
        static_cast<UINT>(-1));
    ASSERT_TRUE(TakeWork(RunMode::Join, PartName(one, 1)));
    EXPECT_FALSE(Greyed(MainWindow::kCommandAbortCurrent));

    // Under way, held by Pause: no completion is taken between these commands.
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_TRUE(gOperation->IsBusy());
    ::SendMessageW(Window(), WM_COMMAND, kCommandPause, 0);
    ::SendMessageW(Window(), WM_COMMAND, MainWindow::kCommandAbortCurrent, 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(Status(), L"1 of 2 files done. Not done: big.bin");
    EXPECT_TRUE(Greyed(MainWindow::kCommandAbortCurrent));
    EXPECT_EQ(gMainWindow.Queue().Item(0).outcome, OperationOutcome::Cancelled);
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Cancelled);
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_FALSE(FileExists(PartName(big, i))) << i;
    EXPECT_EQ(FileSize(big), int64_t(64 * MiB));
    EXPECT_TRUE(Holds(one, data));
}

namespace {

int selections = 0;
HRESULT WINAPI RecordSelection(PCIDLIST_ABSOLUTE, UINT, PCUITEMID_CHILD_ARRAY, DWORD) {
    ++selections;
    return S_OK;
}

} // namespace

// "Select files after splitting" selects the parts of the queue's last file only: one Explorer
// window at the end, not one for each file while the others still run.
TEST_F(MainWindowQueueTest, OnlyTheLastFileOfAQueueHasItsResultSelected) {
    ::CoInitialize(nullptr);
    InitShellEntryPoints();
    gOpenFolderAndSelectItems = RecordSelection;
    selections = 0;
    WriteDword(L"SelectFiles", 1);
    const std::wstring a = dir / L"a.bin", b = dir / L"b.bin";
    ASSERT_TRUE(WritePatternFile(a, 3 * MiB, 13));
    ASSERT_TRUE(WritePatternFile(b, 3 * MiB, 14));
    BeginQueue(RunMode::Split, a);
    ASSERT_TRUE(TakeWork(RunMode::Split, b));
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    EXPECT_EQ(Status(), L"2 of 2 files done.");
    EXPECT_EQ(selections, 1);
    gOpenFolderAndSelectItems = nullptr;
    gParseDisplayName = nullptr;
    ::CoUninitialize();
}

// Closing while files wait cancels them: the window asks first, as it does while one runs. A
// file a later launch handed over just before a close is so never dropped without a word.
TEST_F(MainWindowQueueTest, ClosingWithFilesWaitingAsksFirst) {
    ASSERT_TRUE(WriteWholeFile(dir / L"first.bin", MakePattern(100, 15)));
    BeginQueue(RunMode::Split, dir / L"first.bin");
    ASSERT_TRUE(TakeWork(RunMode::Join, PartName(dir / L"two.bin", 1)));
    ASSERT_FALSE(gOperation->IsBusy());
    {
        ExitAnswer answer(Window(), IDNO);
        ::PostMessageW(Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(answer.Wait(Window()));
        EXPECT_EQ(answer.seen.text, L"Do you really want to exit Brindlecot ?");
    }
    Pump();
    EXPECT_EQ(TakeQuitCount(), 0);
    EXPECT_TRUE(TakeWork(RunMode::Join, PartName(dir / L"three.bin", 1)));
    {
        ExitAnswer answer(Window(), IDYES);
        ::PostMessageW(Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(answer.Wait(Window()));
    }
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
    EXPECT_EQ(gMainWindow.Queue().Outcome(gOperation->Outcome()), OperationOutcome::Cancelled);
}
