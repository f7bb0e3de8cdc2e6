#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "ops/Commands.h"
#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "support/SystemText.h"
#include "support/TestFiles.h"

#include <atomic>

using namespace ui_tests;
using namespace testing_support;

namespace {

// Ticks of a thread timer of the test's own: it runs wherever the window's thread dispatches
// messages, the loops of message boxes and dialogs included, just as the dispatcher's does.
std::atomic<int> gTicks{0};
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++gTicks;
}

// Waits, on the watcher's thread, until the window's thread has dispatched that many more
// ticks inside the modal loop (or the loop is gone).
void LetTicksPass(HWND modal, int count) {
    const int until = gTicks + count;
    const DWORD start = ::GetTickCount();
    while (gTicks < until && ::IsWindow(modal) && ::GetTickCount() - start < 10000)
        ::Sleep(5);
}

// Seen from inside the action button's menu loop, which this timer then ends.
bool gHeldInMenu = false;
void CALLBACK LookInsideTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    gHeldInMenu = CompletionDispatcher::DeliveriesHeld();
    ::EndMenu();
}

// What the main window showed while a modal loop of its own was open.
struct SeenBehind {
    bool stillOpen = false;
    std::wstring status;
    std::wstring caption;
};

// The real operations in the real window, with the I/O engine running, and a question or a
// dialog opened over the window while their completions come in.
class ModalLoopTest : public EngineWindowTest {
protected:
    void SetUp() override {
        EngineWindowTest::SetUp();
        tickTimer = ::SetTimer(nullptr, 0, 10, CountTick);
        ASSERT_NE(tickTimer, 0u);
    }
    void TearDown() override {
        ::KillTimer(nullptr, tickTimer);
        EngineWindowTest::TearDown();
    }

    // Watches for the modal window with the program's caption, lets the completions that come
    // in meanwhile have their chance to run, notes what the main window shows, then presses
    // `button` (a message box) or sends `command` (a dialog).
    std::unique_ptr<DialogWatcher> Watch(SeenBehind& seen, int button, WPARAM command = 0) {
        const HWND main = Window();
        const HWND status = Item(IDC_MAIN_STATUS);
        return std::make_unique<DialogWatcher>(
            kProgramCaption, main, [&seen, main, status, button, command](HWND modal) {
                LetTicksPass(modal, 50);
                seen.stillOpen = ::IsWindow(modal) && ::IsWindowVisible(modal);
                seen.status = TextOf(status);
                seen.caption = TextOf(main);
                if (button != 0)
                    ::SendMessageW(::GetDlgItem(modal, button), BM_CLICK, 0, 0);
                else
                    ::PostMessageW(modal, WM_COMMAND, command, 0);
            });
    }

    // Pumps like the program's loop until the watcher is done and, when `untilQuit`, until the
    // loop would end; a program stops dispatching at its WM_QUIT.
    int PumpUntilAnswered(const DialogWatcher& watcher, bool untilQuit) {
        int quits = 0;
        PumpDialog(
            Window(),
            [&] {
                quits += TakeQuitCount();
                return watcher.Done() && (!untilQuit || quits > 0);
            },
            20000);
        return quits;
    }

    // A split of 300,000 bytes into parts of 100 KB, waiting for its Split command.
    SplitOperation& StartThreePartSplit() {
        EXPECT_TRUE(WriteWholeFile(source, data));
        const uint64_t partSize = 100 * 1024;
        WriteBinary(L"PartSize", &partSize, 8);
        SplitOperation& split = StartSplit(source);
        EXPECT_EQ(StatusBar(), L"Click Split button to begin (3 parts will be created).");
        return split;
    }

    // The split is started and the close box pressed at once: the question is open while the
    // split's reads and writes complete. Nothing of it runs until the question is answered.
    void SplitBehindTheExitQuestion(int answer, bool closeWindow) {
        if (closeWindow)
            WriteDword(L"CloseWindow", 1);
        SplitOperation& split = StartThreePartSplit();
        SeenBehind seen;
        auto watcher = Watch(seen, answer);
        ::PostMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
        ::PostMessageW(Window(), WM_CLOSE, 0, 0);
        const int quits = PumpUntilAnswered(*watcher, answer == IDYES);
        ASSERT_TRUE(watcher->Found());

        EXPECT_TRUE(seen.stillOpen) << "the question went away by itself";
        EXPECT_EQ(seen.status, L"Processing file.bin...");
        EXPECT_EQ(seen.caption, L"file.bin");

        if (answer == IDYES) {
            // The loop ends at once; shut-down drops the unfinished split.
            EXPECT_EQ(quits, 1);
            EXPECT_TRUE(ValueExists(L"WindowPos"));
            EXPECT_TRUE(split.IsBusy());
            gMainWindow.Destroy();
            split.Abort();
            EXPECT_FALSE(FileExists(dir / L"file.bin.001"));
            EXPECT_TRUE(Holds(source, data));
            return;
        }

        // No: the completions held back run now, and the split ends normally.
        EXPECT_EQ(quits, 0);
        ASSERT_TRUE(PumpDialog(
            Window(), [&] { return split.State() == OperationState::Done; }, 30000));
        Pump(50);
        EXPECT_EQ(Status(), L"file.bin splited !");
        EXPECT_EQ(Label(), L"&Find");
        EXPECT_TRUE(PartsHold(dir / L"file.bin", 3, data));
        EXPECT_FALSE(FileExists(dir / L"file.bin.004"));
        EXPECT_EQ(TakeQuitCount(), closeWindow ? 1 : 0);
        // Only a confirmed exit saves the placement.
        EXPECT_FALSE(ValueExists(L"WindowPos"));
    }

    TempDir dir{L"modal"};
    std::wstring source = dir / L"file.bin";
    std::vector<uint8_t> data = MakePattern(300000, 7);
    UINT_PTR tickTimer = 0;
};

} // namespace

TEST_F(ModalLoopTest, ASplitEndingBehindTheExitQuestionAnsweredNoGoesOnAfterIt) {
    SplitBehindTheExitQuestion(IDNO, false);
}

TEST_F(ModalLoopTest, ASplitEndingBehindTheExitQuestionAnsweredYesIsDropped) {
    SplitBehindTheExitQuestion(IDYES, false);
}

TEST_F(ModalLoopTest, WithCloseWindowOnTheQuestionStaysUntilAnsweredNo) {
    SplitBehindTheExitQuestion(IDNO, true);
}

TEST_F(ModalLoopTest, WithCloseWindowOnTheQuestionStaysUntilAnsweredYes) {
    SplitBehindTheExitQuestion(IDYES, true);
}

TEST_F(ModalLoopTest, AJoinFailingBehindTheOptionsDialogShowsItsErrorAfterIt) {
    // Small chunks, so that the first ones do not reach part 2, which goes after the listing.
    WriteDword(L"BufferSize", 131072);
    WriteDword(L"IoPairCount", 2);
    ASSERT_TRUE(WriteWholeFile(dir / L"file.bin.001", MakePattern(1048576, 3)));
    ASSERT_TRUE(WriteWholeFile(dir / L"file.bin.002", MakePattern(100000, 4)));
    JoinOperation& join = Launch<JoinOperation>(RunMode::Join, dir / L"file.bin.001");
    ASSERT_TRUE(join.IsBusy());
    ASSERT_TRUE(::DeleteFileW((dir / L"file.bin.002").c_str()));

    // Configuration is chosen before any completion of the first reads has run.
    SeenBehind seen;
    auto watcher = Watch(seen, 0, IDCANCEL);
    ::PostMessageW(Window(), WM_COMMAND, kCommandConfiguration, 0);
    gMainWindow.ShowWindow(SW_SHOWNORMAL);
    PumpUntilAnswered(*watcher, false);
    ASSERT_TRUE(watcher->Found());
    EXPECT_TRUE(seen.stillOpen);
    EXPECT_EQ(seen.status, L"Processing file.bin...");
    EXPECT_EQ(seen.caption, L"file.bin");

    // Closed, the join goes on, reaches the missing part and says so.
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return join.State() == OperationState::Failed; }, 30000));
    Pump(50);
    EXPECT_EQ(Status(), L"Error occurred !");
    EXPECT_EQ(StatusBar(), L"Error BeginIoPair: #2 - " + testing_support::SystemTextOnOneLine(2));
    EXPECT_EQ(Label(), L"E&xit");
    EXPECT_EQ(TakeQuitCount(), 0);
}

TEST_F(ModalLoopTest, TheActionMenuHoldsCompletionsWhileItIsOpen) {
    StartThreePartSplit();
    ::SendMessageW(Window(), WM_COMMAND, kCommandSplit, 0);
    gHeldInMenu = false;
    const UINT_PTR closer = ::SetTimer(nullptr, 0, 50, LookInsideTheMenu);
    ASSERT_NE(closer, 0u);
    ::SendMessageW(Item(IDOK), KSplitButton::kTrackMenuMessage, 0, 0);
    EXPECT_TRUE(gHeldInMenu);
    EXPECT_FALSE(CompletionDispatcher::DeliveriesHeld());
    // Let go, the split runs to its end.
    auto& split = static_cast<SplitOperation&>(*gOperation);
    ASSERT_TRUE(PumpDialog(
        Window(), [&] { return split.State() == OperationState::Done; }, 30000));
    EXPECT_TRUE(PartsHold(dir / L"file.bin", 3, data));
}
