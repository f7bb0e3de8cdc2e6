#include "MainWindowFixture.h"

#include "ops/Commands.h"
#include "support/TestFiles.h"

#include <commctrl.h>

#include <vector>

using namespace ui_tests;
using testing_support::Narrow;

namespace {

// The status bar's parts as the window lays them out, driven by a recording operation.
class SpeedPartTest : public MainWindowTest {
protected:
    static HWND Bar() { return Item(IDC_MAIN_STATUSBAR); }
    static std::wstring SpeedPart() { return StatusBarText(Bar(), 1); }
    static int BarWidth() {
        RECT client{};
        ::GetClientRect(Bar(), &client);
        return client.right;
    }
    // The right edge of the path's part; the speed part, when there is one, runs to the end.
    static int PathRight() {
        int edges[2] = {0, 0};
        ::SendMessageW(Bar(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
        return edges[0];
    }
    static int TextWidth(const std::wstring& text) {
        return testing_support::TextWidth(Bar(), text);
    }
    static void Enter(RecordingOperation& op, OperationState state, UINT id, UINT flags) {
        op.SetState(state);
        gMainWindow.SetAction(id, flags);
    }
};

} // namespace

TEST_F(SpeedPartTest, PausedGetsAPartOfItsOwnAndThePathKeepsTheRest) {
    RecordingOperation& op = Open(RunMode::Join);
    const std::wstring path = L"C:\\films\\trip.avi";
    gMainWindow.SetStatusBar(path.c_str());
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);

    // Running, but the first second has not passed: nothing to tell yet.
    Enter(op, OperationState::Running, kCommandPause, kActionRunGroup | kActionPauseEnabled);
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);
    EXPECT_EQ(StatusBar(), path);

    Enter(op, OperationState::Paused, kCommandResume, kActionRunGroup | kActionResumeEnabled);
    ASSERT_EQ(StatusBarPartCount(Bar()), 2);
    EXPECT_EQ(SpeedPart(), L"paused");
    EXPECT_EQ(StatusBar(), path);
    const int speedWidth = BarWidth() - PathRight();
    EXPECT_GT(speedWidth, TextWidth(L"paused"));
    // Sized to its text, not a share of the bar.
    EXPECT_LT(speedWidth, BarWidth() / 2);
    RECT part{};
    ::SendMessageW(Bar(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    EXPECT_GE(part.right - part.left, TextWidth(L"paused"));

    // Wider window: the path's part takes the new room, the speed part keeps its size.
    RECT window{};
    ::GetWindowRect(Window(), &window);
    ::SetWindowPos(Window(), nullptr, 0, 0, window.right - window.left + 120,
                   window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    EXPECT_EQ(BarWidth() - PathRight(), speedWidth);
    RECT client{};
    ::GetClientRect(Window(), &client);
    EXPECT_EQ(BarWidth(), client.right);
    EXPECT_EQ(SpeedPart(), L"paused");
    EXPECT_EQ(StatusBar(), path);

    // Resumed: the speed is measured afresh, so the part goes until there is one.
    Enter(op, OperationState::Running, kCommandPause, kActionRunGroup | kActionPauseEnabled);
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);
    Enter(op, OperationState::Paused, kCommandResume, kActionRunGroup | kActionResumeEnabled);
    EXPECT_EQ(SpeedPart(), L"paused");

    // An error takes the whole bar again.
    gMainWindow.SetStatusBar(L"Error OnWrite: #112");
    Enter(op, OperationState::Failed, kCommandExit, kActionRunGroup | kActionResultGroup);
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);
    EXPECT_EQ(StatusBar(), L"Error OnWrite: #112");
}

TEST_F(SpeedPartTest, TheEndTellsTheTimeAndTheAverageAndAWaitingSplitShowsNone) {
    RecordingOperation& op = Open(RunMode::Split);
    Enter(op, OperationState::Waiting, kCommandSplit,
          kActionRunGroup | kActionSplitEnabled | kActionLabelRuns);
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);

    op.SetProgress(0, 5000000);
    Enter(op, OperationState::Running, kCommandPause, kActionRunGroup | kActionPauseEnabled);
    Pump(50);
    op.SetProgress(5000000, 5000000);
    Enter(op, OperationState::Done, kCommandFind,
          kActionRunGroup | kActionResultGroup | kActionFindEnabled);
    ASSERT_EQ(StatusBarPartCount(Bar()), 2);
    const std::wstring text = SpeedPart();
    EXPECT_EQ(text.rfind(L"done in 0:01, ", 0), 0u) << Narrow(text);
    EXPECT_EQ(text.substr(text.size() - 10), L"/s average") << Narrow(text);
    EXPECT_GT(BarWidth() - PathRight(), TextWidth(text));

    // Paused and resumed on the way, or paused while the last writes complete: the end tells the
    // pause apart.
    using States = std::vector<OperationState>;
    for (const States& states :
         {States{OperationState::Running, OperationState::Paused, OperationState::Running,
                 OperationState::Done},
          States{OperationState::Running, OperationState::Paused, OperationState::Done}}) {
        for (OperationState state : states) {
            Pump(50);
            Enter(op, state, kCommandPause, kActionRunGroup);
        }
        const std::wstring ended = SpeedPart();
        EXPECT_EQ(ended.rfind(L"done in ", 0), 0u) << Narrow(ended);
        EXPECT_NE(ended.find(L" paused), "), std::wstring::npos) << Narrow(ended);
    }

    // A window made again after the end starts with the path alone.
    Reopen();
    EXPECT_EQ(StatusBarPartCount(Bar()), 1);
}
