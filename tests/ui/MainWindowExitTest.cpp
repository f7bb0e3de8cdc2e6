#include "MainWindowFixture.h"

#include "app/ProgramInfo.h"
#include "ops/Commands.h"

#include <cstring>

using namespace ui_tests;

namespace {

WINDOWPLACEMENT StoredPlacement() {
    WINDOWPLACEMENT placement{};
    std::vector<uint8_t> data = ReadValue(L"WindowPos");
    if (data.size() == sizeof placement)
        std::memcpy(&placement, data.data(), sizeof placement);
    return placement;
}

class MainWindowExitTest : public MainWindowTest {};

} // namespace

TEST_F(MainWindowExitTest, ClosingDuringABusyOperationAsksFirst) {
    for (OperationState busy : {OperationState::Running, OperationState::Paused}) {
        SCOPED_TRACE(static_cast<int>(busy));
        RecordingOperation& operation = Open(RunMode::Split);
        operation.SetState(busy);

        {
            ExitAnswer answer(Window(), IDNO);
            ::PostMessageW(Window(), WM_CLOSE, 0, 0); // the close box
            ASSERT_TRUE(answer.Wait(Window()));
            EXPECT_EQ(answer.seen.text, L"Do you really want to exit Brindlecot ?");
            EXPECT_TRUE(answer.seen.hasYes);
            EXPECT_TRUE(answer.seen.hasNo);
            EXPECT_TRUE(answer.seen.noIsDefault);
            EXPECT_TRUE(answer.seen.hasIcon);
            EXPECT_EQ(answer.seen.owner, Window());
        }
        Pump();
        EXPECT_EQ(TakeQuitCount(), 0);
        EXPECT_TRUE(::IsWindowVisible(Window()));
        EXPECT_FALSE(ValueExists(L"WindowPos"));

        {
            ExitAnswer answer(Window(), IDYES);
            ::PostMessageW(Window(), WM_COMMAND, kCommandExit, 0); // the menu's Exit
            ASSERT_TRUE(answer.Wait(Window()));
        }
        Pump();
        EXPECT_EQ(TakeQuitCount(), 1);
        EXPECT_TRUE(ValueExists(L"WindowPos"));
        gMainWindow.Destroy();
        ClearSettingsKey();
    }
}

TEST_F(MainWindowExitTest, EscapeWithNothingBusyLeavesAtOnce) {
    RecordingOperation& operation = Open(RunMode::Join);
    operation.SetState(OperationState::Failed);
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    Pump(60);
    EXPECT_EQ(TakeQuitCount(), 1);
    EXPECT_TRUE(ValueExists(L"WindowPos"));
}

TEST_F(MainWindowExitTest, PlacementSavedOnExitIsRestoredHidden) {
    Open(RunMode::Split);
    ::SetWindowPos(Window(), nullptr, 120, 130, 520, 190, SWP_NOZORDER);
    ::ShowWindow(Window(), SW_MINIMIZE);
    Pump();
    ASSERT_TRUE(gMainWindow.ConfirmExit());
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
    ASSERT_EQ(ReadValue(L"WindowPos").size(), 44u);
    WINDOWPLACEMENT saved = StoredPlacement();
    EXPECT_EQ(saved.length, 44u);
    EXPECT_EQ(saved.showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));
    EXPECT_EQ(saved.rcNormalPosition.left, 120);
    EXPECT_EQ(saved.rcNormalPosition.top, 130);
    EXPECT_EQ(saved.rcNormalPosition.right, 640);
    EXPECT_EQ(saved.rcNormalPosition.bottom, 320);

    Reopen(false);
    EXPECT_FALSE(::IsWindowVisible(Window()));
    EXPECT_FALSE(::IsIconic(Window()));
    gMainWindow.ShowWindow(SW_SHOWNORMAL);
    Pump();
    RECT r{};
    ::GetWindowRect(Window(), &r);
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 130);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 320);
    // Laid out for the restored size.
    RECT client{};
    ::GetClientRect(Window(), &client);
    EXPECT_EQ(ChildRect(Item(IDOK)).right, client.right - 7);
}

TEST_F(MainWindowExitTest, PlacementOfTheDefaultSizeStillGetsItsLayout) {
    Open(RunMode::Split, false);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(Window(), &placement);
    WriteBinary(L"WindowPos", &placement, sizeof placement);
    Reopen(false);
    RECT client{};
    ::GetClientRect(Window(), &client);
    EXPECT_EQ(ChildRect(Item(IDOK)).right, client.right - 7);
    EXPECT_EQ(ChildRect(Item(IDC_MAIN_PROGRESS)).left, 7);
}

TEST_F(MainWindowExitTest, AStoredPlacementOfAnotherLengthIsIgnored) {
    Open(RunMode::Split, false);
    RECT centred{};
    ::GetWindowRect(Window(), &centred);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = {10, 20, 600, 200};
    WriteBinary(L"WindowPos", &placement, 40);
    Reopen(false);
    RECT r{};
    ::GetWindowRect(Window(), &r);
    EXPECT_EQ(r.left, centred.left);
    EXPECT_EQ(r.top, centred.top);
    EXPECT_EQ(r.right, centred.right);
}

TEST_F(MainWindowExitTest, AnEndedOperationClosesOrFlashesAsTheSettingsSay) {
    Open(RunMode::Split);
    ::PostMessageW(Window(), WM_OPERATION_ENDED, 0, 0);
    Pump();
    EXPECT_EQ(TakeQuitCount(), 0);

    WriteDword(L"FlashWindow", 1);
    ::PostMessageW(Window(), WM_OPERATION_ENDED, 0, 0);
    Pump();
    EXPECT_EQ(TakeQuitCount(), 0);

    // Read when the message comes, not when the window was made.
    WriteDword(L"CloseWindow", 1);
    ::PostMessageW(Window(), WM_OPERATION_ENDED, 0, 0);
    Pump();
    EXPECT_EQ(TakeQuitCount(), 1);
    // Only the exit saves the placement.
    EXPECT_FALSE(ValueExists(L"WindowPos"));
}
