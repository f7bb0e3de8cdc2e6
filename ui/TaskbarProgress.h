#pragma once

#include "ops/Operation.h"
#include "toolkit/ComPointer.h"

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

// What the taskbar button shows: the state of its bar and how many of kTaskbarSteps are filled.
struct TaskbarShown {
    TBPFLAG flags;
    uint32_t completed;
    bool operator==(const TaskbarShown& other) const {
        return flags == other.flags && completed == other.completed;
    }
    bool operator!=(const TaskbarShown& other) const { return !(*this == other); }
};

// A tenth of a percent: finer than the button has pixels, and few enough calls to the shell.
constexpr uint32_t kTaskbarSteps = 1000;

// The button for an operation in this state at this percent: the bar fills while it runs, turns
// to the paused colour when paused and all red on an error, and is gone when nothing runs.
TaskbarShown TaskbarShownFor(OperationState state, float percent);

// The window's taskbar button as the shell's taskbar list shows it. Connect only after the
// shell's "TaskbarButtonCreated" message: before it, the button does not exist. Where the shell
// has no taskbar list, nothing is shown and nothing fails.
class TaskbarProgress {
public:
    // False, quietly, where the shell gives no taskbar list (or COM is not started).
    bool Connect(HWND window);
    void Disconnect();
    bool IsConnected() const { return list.IsSet(); }
    // Shows the operation's state; the shell is called only when what it shows changes.
    void Show(OperationState state, float percent);
    // What was shown last.
    TaskbarShown Shown() const { return shown; }

private:
    ComPointer<ITaskbarList3> list;
    HWND button = nullptr;
    TaskbarShown shown{TBPF_NOPROGRESS, 0};
};
