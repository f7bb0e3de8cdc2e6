#include "MainWindowFixture.h"

#include "ops/Commands.h"
#include "ui/TaskbarProgress.h"

#include <objbase.h>

namespace ui_tests {
namespace {

TEST(TaskbarProgress, TheButtonFollowsTheOperationsState) {
    const struct {
        OperationState state;
        float percent;
        TaskbarShown shown;
    } table[] = {
        {OperationState::Idle, 0.0f, {TBPF_NOPROGRESS, 0}},
        {OperationState::Waiting, 0.0f, {TBPF_NOPROGRESS, 0}},
        {OperationState::Running, 0.0f, {TBPF_NORMAL, 0}},
        {OperationState::Running, 42.5f, {TBPF_NORMAL, 425}},
        {OperationState::Running, 100.0f, {TBPF_NORMAL, kTaskbarSteps}},
        // A percentage out of bounds never overfills nor empties the bar.
        {OperationState::Running, 250.0f, {TBPF_NORMAL, kTaskbarSteps}},
        {OperationState::Running, -3.0f, {TBPF_NORMAL, 0}},
        {OperationState::Paused, 61.2f, {TBPF_PAUSED, 612}},
        // All red, also when the error came before anything moved.
        {OperationState::Failed, 0.0f, {TBPF_ERROR, kTaskbarSteps}},
        {OperationState::Failed, 30.0f, {TBPF_ERROR, kTaskbarSteps}},
        {OperationState::Done, 100.0f, {TBPF_NOPROGRESS, 0}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(static_cast<int>(row.state));
        SCOPED_TRACE(row.percent);
        const TaskbarShown shown = TaskbarShownFor(row.state, row.percent);
        EXPECT_EQ(shown.flags, row.shown.flags);
        EXPECT_EQ(shown.completed, row.shown.completed);
    }
}

TEST(TaskbarProgress, WithoutTheShellsListNothingIsShownAndNothingFails) {
    // COM not started on this thread: the taskbar list cannot be made.
    TaskbarProgress taskbar;
    EXPECT_FALSE(taskbar.Connect(::GetDesktopWindow()));
    EXPECT_FALSE(taskbar.IsConnected());
    taskbar.Show(OperationState::Running, 50.0f);
    EXPECT_TRUE(taskbar.Shown() == (TaskbarShown{TBPF_NOPROGRESS, 0}));
}

class MainWindowTaskbarTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        ::CoUninitialize();
    }
};

// The shell's message, as the shell sends it, reaches the real taskbar list where the system has
// one; where it has none (Wine may lack it) the window works on without.
TEST_F(MainWindowTaskbarTest, TheShellsMessageConnectsTheButtonWhereThereIsATaskbar) {
    RecordingOperation& operation = Open(RunMode::Join);
    const UINT created = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    ASSERT_NE(created, 0u);
    ::SendMessageW(Window(), created, 0, 0);
    // Connected exactly where this system gives a taskbar list.
    ComPointer<ITaskbarList3> probe;
    const bool systemHasOne =
        SUCCEEDED(::CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                     __uuidof(ITaskbarList3), probe.Receive())) &&
        SUCCEEDED(probe->HrInit());
    const bool connected = gMainWindow.Taskbar().IsConnected();
    EXPECT_EQ(connected, systemHasOne);
    std::printf("[          ] the taskbar list is %s here\n", connected ? "there" : "missing");

    const struct {
        OperationState state;
        TaskbarShown shown;
    } steps[] = {
        {OperationState::Running, {TBPF_NORMAL, 425}},
        {OperationState::Paused, {TBPF_PAUSED, 425}},
        {OperationState::Running, {TBPF_NORMAL, 425}},
        {OperationState::Failed, {TBPF_ERROR, kTaskbarSteps}},
    };
    gMainWindow.SetTitleProgress(L"x.bin", 42.5f);
    for (const auto& step : steps) {
        SCOPED_TRACE(static_cast<int>(step.state));
        operation.SetState(step.state);
        gMainWindow.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
        const TaskbarShown expected = connected ? step.shown : TaskbarShown{TBPF_NOPROGRESS, 0};
        EXPECT_TRUE(gMainWindow.Taskbar().Shown() == expected)
            << gMainWindow.Taskbar().Shown().flags << " "
            << gMainWindow.Taskbar().Shown().completed;
    }
    // The caption without a percentage: the bar goes once the operation is done.
    operation.SetState(OperationState::Done);
    gMainWindow.SetTitle(L"x.bin");
    EXPECT_TRUE(gMainWindow.Taskbar().Shown() == (TaskbarShown{TBPF_NOPROGRESS, 0}));
    EXPECT_EQ(Caption(), L"x.bin");
}

} // namespace
} // namespace ui_tests
