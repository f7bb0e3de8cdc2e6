#include "MainWindowFixture.h"

#include "ops/Commands.h"
#include "support/TestFiles.h"
#include "ui/HandOverRecord.h"
#include "ui/ShellActions.h"

#include <shlobj.h>

#include <cstring>
#include <functional>
#include <map>

using namespace ui_tests;
using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kPartSize = MiB;

// The queue of the real window with real operations, real files and the shell's real parsing.
class MainWindowQueueTest : public ShellWindowTest {
protected:
    void SetUp() override {
        ShellWindowTest::SetUp();
        WriteBinary(L"PartSize", &kPartSize, 8);
    }
    // A file of a little over 2 MiB, and its three parts of 1 MiB when asked.
    std::wstring File(const wchar_t* name, bool asParts = false) {
        const uint32_t seed = static_cast<uint32_t>(data.size());
        const Bytes& bytes = data[name] = MakePattern(2 * MiB + seed + 1, seed);
        if (!asParts) {
            EXPECT_TRUE(WriteWholeFile(dir / name, bytes));
            return dir / name;
        }
        for (unsigned i = 1; i <= 3; ++i) {
            const auto from = bytes.begin() + (i - 1) * MiB;
            EXPECT_TRUE(WriteWholeFile(PartName(dir / name, i),
                                       Bytes(from, i < 3 ? from + MiB : bytes.end())));
        }
        return PartName(dir / name, 1);
    }
    bool Joined(const wchar_t* name) { return Holds(dir / name, data[name]); }
    bool Split(const wchar_t* name) { return PartsHold(dir / name, 3, data[name]); }
    static LRESULT SendRecord(Bytes bytes, ULONG_PTR tag) {
        COPYDATASTRUCT message{tag, static_cast<DWORD>(bytes.size()), bytes.data()};
        return ::SendMessageW(Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message));
    }
    static OperationOutcome Outcome() { return gMainWindow.Queue().Outcome(gOperation->Outcome()); }

    TempDir dir{L"uiqueue"};
    std::map<std::wstring, Bytes> data;
};

} // namespace

// Files dropped on the window, in the block Explorer's drop makes: a set's list is joined, a
// folder left out, any other file split; the first split waits for its Split command, the later
// ones take its size; only the last result is selected; the window closes after the last.
TEST_F(MainWindowQueueTest, DroppedFilesAreJoinedOrSplitInTurn) {
    WriteDword(L"SelectFiles", 1);
    WriteDword(L"CloseWindow", 1);
    BeginQueue(RunMode::Join, File(L"one.bin", true));
    File(L"two.bin", true);
    const std::wstring list = dir / L"two.bin.sha256";
    ASSERT_TRUE(WriteText(list, ExpectedChecksumList(dir / L"two.bin", data[L"two.bin"], MiB)));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"folder").c_str(), nullptr));
    std::wstring names;
    for (const std::wstring& file : {list, dir / L"folder", File(L"three.bin"), File(L"four.bin")})
        names += file + L'\0';
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(block);
    ASSERT_TRUE(::PostMessageW(Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0));

    ASSERT_TRUE(PumpDialog(
        Window(), [] { return gMainWindow.Queue().Current() == 2; }, 60000));
    ASSERT_TRUE(
        PumpDialog(Window(), [] { return gOperation->State() == OperationState::Waiting; }));
    EXPECT_EQ(gMainWindow.Queue().Count(), 4);
    EXPECT_TRUE(gMainWindow.IsQueueShown());
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(Status(), L"4 of 4 files done.");
    EXPECT_EQ(selections, 1);
    EXPECT_EQ(TakeQuitCount(), 1);
    EXPECT_TRUE(Joined(L"one.bin") && Joined(L"two.bin") && Split(L"three.bin") &&
                Split(L"four.bin"));
}

// A failed file does not stop the next; at the end the summary takes the room of the panel of
// the split that failed at its start, the taskbar button is red, and the window stays open.
TEST_F(MainWindowQueueTest, TheEndOfAQueueWithAFailureSaysSo) {
    WriteDword(L"CloseWindow", 1);
    BeginQueue(RunMode::Split, dir / L"missing.bin");
    ::SendMessageW(Window(), ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
    ASSERT_TRUE(TakeWork(RunMode::Join, File(L"one.bin", true)));
    ASSERT_TRUE(TakeWork(RunMode::Split, dir / L"missing too.bin"));
    ASSERT_TRUE(PumpUntilQueueEnded());
    Pump();
    EXPECT_EQ(Status(), L"1 of 3 files done. Not done: missing.bin, missing too.bin");
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_MAIN_SIZE)));
    if (gMainWindow.Taskbar().IsConnected()) {
        EXPECT_TRUE(gMainWindow.Taskbar().Shown() == (TaskbarShown{TBPF_ERROR, kTaskbarSteps}));
    }
    EXPECT_EQ(TakeQuitCount(), 0);
    EXPECT_EQ(Outcome(), OperationOutcome::Refused);
    EXPECT_TRUE(Joined(L"one.bin"));
}

// What a later launch sends may come from any program of the desktop: only a whole record is
// taken, and it waits its turn; closing with files waiting asks first, and the window then
// takes no more; Abort ends the current file alone, leaving nothing of it.
TEST_F(MainWindowQueueTest, HandedOverFilesWaitTheirTurnOrAreAborted) {
    ASSERT_TRUE(WritePatternFile(dir / L"big.bin", 64 * MiB, 11));
    BeginQueue(RunMode::Split, dir / L"big.bin");
    const std::wstring path = File(L"one.bin", true);
    HandOverRecord record;
    ASSERT_TRUE(record.Make(RunMode::Join, Wide(path)));
    const COPYDATASTRUCT message = record.Message();
    const auto* sent = static_cast<const uint8_t*>(message.lpData);
    const Bytes whole(sent, sent + message.cbData);
    // The layout is fixed, whatever the side of the sender.
    EXPECT_EQ(std::memcmp(whole.data(), "BCHO\x01\x00\x02\x00", 8), 0);
    const uint8_t units = static_cast<uint8_t>(path.size());
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
    } malformed[] = {
        {"empty", [](Bytes& b) { b.clear(); }},
        {"path cut short", [](Bytes& b) { b.pop_back(); }},
        {"wrong mark", [](Bytes& b) { b[0] = 'X'; }},
        {"version 2", [](Bytes& b) { b[4] = 2; }},
        {"setup mode", [](Bytes& b) { b[6] = 0; }},
        {"length short", [&](Bytes& b) { b[8] = units - 1; }},
        {"length past the end", [&](Bytes& b) { b[8] = units + 1; }},
        {"length that wraps", [](Bytes& b) { b[11] = 0x80; }},
        {"terminator inside", [](Bytes& b) { b[16] = b[17] = 0; }},
    };
    for (const auto& c : malformed) {
        Bytes bytes = whole;
        c.change(bytes);
        EXPECT_EQ(SendRecord(bytes, HandOverRecord::kTag), 0) << c.what;
    }
    EXPECT_EQ(SendRecord(whole, 7), 0) << "another tag";
    EXPECT_FALSE(gMainWindow.IsQueueShown());
    EXPECT_EQ(SendRecord(whole, HandOverRecord::kTag), 1);
    EXPECT_EQ(std::wstring(gMainWindow.Queue().Item(1).path.Text()), path);
    for (const int button : {IDNO, IDYES}) {
        ExitAnswer answer(Window(), button);
        gMainWindow.ConfirmExit();
        ASSERT_TRUE(answer.Wait(Window()));
    }
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
    EXPECT_EQ(Outcome(), OperationOutcome::Cancelled);
    // Leaving, the window takes no more: the launch works on its own then.
    EXPECT_EQ(SendRecord(whole, HandOverRecord::kTag), 0);
    gMainWindow.Destroy();
    Pump();

    BeginQueue(RunMode::Split, dir / L"big.bin");
    ASSERT_TRUE(TakeWork(RunMode::Join, PartName(dir / L"one.bin", 1)));
    // Under way, held by Pause: no completion is taken between these commands.
    for (const UINT command : {kCommandSplit, kCommandPause, MainWindow::kCommandAbortCurrent})
        ::SendMessageW(Window(), WM_COMMAND, command, 0);
    ASSERT_TRUE(PumpUntilQueueEnded());
    EXPECT_EQ(Status(), L"1 of 2 files done. Not done: big.bin");
    EXPECT_FALSE(FileExists(PartName(dir / L"big.bin", 1)));
    EXPECT_EQ(Outcome(), OperationOutcome::Cancelled);
    EXPECT_TRUE(Joined(L"one.bin"));
}
