#include "MainWindowFixture.h"

#include "ops/Commands.h"
#include "ui/TaskbarProgress.h"

namespace ui_tests {
namespace {

// The shell's fixture starts COM, which the taskbar list needs.
using MainWindowTaskbarTest = ShellWindowTest;

// The shell's message, as the shell sends it, reaches the real taskbar list where the system has
// one; where it has none (Wine may lack it) the window works on without. The button follows the
// operation's state, each change of which comes with an action, and the caption's percentage.
TEST_F(MainWindowTaskbarTest, TheButtonFollowsTheOperationWhereThereIsATaskbar) {
    RecordingOperation& operation = Open(RunMode::Join);
    const UINT created = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    ASSERT_NE(created, 0u);
    ::SendMessageW(Window(), created, 0, 0);
    ComPointer<ITaskbarList3> probe;
    const bool systemHasOne =
        SUCCEEDED(::CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                     __uuidof(ITaskbarList3), probe.Receive())) &&
        SUCCEEDED(probe->HrInit());
    const bool connected = gMainWindow.Taskbar().IsConnected();
    EXPECT_EQ(connected, systemHasOne);

    const struct {
        OperationState state;
        float percent;
        TaskbarShown shown;
    } table[] = {
        {OperationState::Waiting, 0.0f, {TBPF_NOPROGRESS, 0}},
        {OperationState::Running, 42.5f, {TBPF_NORMAL, 425}},
        // A percentage out of bounds never overfills nor empties the bar.
        {OperationState::Running, 250.0f, {TBPF_NORMAL, kTaskbarSteps}},
        {OperationState::Running, -3.0f, {TBPF_NORMAL, 0}},
        {OperationState::Paused, 61.2f, {TBPF_PAUSED, 612}},
        // All red, also when the error came before anything moved.
        {OperationState::Failed, 0.0f, {TBPF_ERROR, kTaskbarSteps}},
        {OperationState::Done, 100.0f, {TBPF_NOPROGRESS, 0}},
    };
    for (const auto& row : table) {
        EXPECT_TRUE(TaskbarShownFor(row.state, row.percent) == row.shown) << row.percent;
        // The percentage first, under the state before; then the state with its action.
        gMainWindow.SetTitleProgress(L"x.bin", row.percent);
        operation.SetState(row.state);
        gMainWindow.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
        EXPECT_TRUE(gMainWindow.Taskbar().Shown() ==
                    (connected ? row.shown : TaskbarShown{TBPF_NOPROGRESS, 0}))
            << row.percent;
    }
    // The caption without a percentage: the bar goes once the operation is done.
    operation.SetState(OperationState::Failed);
    gMainWindow.SetTitleProgress(L"x.bin", 42.5f);
    operation.SetState(OperationState::Done);
    gMainWindow.SetTitle(L"x.bin");
    EXPECT_TRUE(gMainWindow.Taskbar().Shown() == (TaskbarShown{TBPF_NOPROGRESS, 0}));
}

} // namespace
} // namespace ui_tests
