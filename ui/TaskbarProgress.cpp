#include "ui/TaskbarProgress.h"

TaskbarShown TaskbarShownFor(OperationState state, float percent) {
    float bounded = percent < 0.0f ? 0.0f : percent > 100.0f ? 100.0f : percent;
    const auto filled = static_cast<uint32_t>(bounded * (kTaskbarSteps / 100.0f));
    switch (state) {
    case OperationState::Running:
        return {TBPF_NORMAL, filled};
    case OperationState::Paused:
        return {TBPF_PAUSED, filled};
    // The whole bar: an error before anything moved must show as well.
    case OperationState::Failed:
        return {TBPF_ERROR, kTaskbarSteps};
    default:
        return {TBPF_NOPROGRESS, 0};
    }
}

bool TaskbarProgress::Connect(HWND window) {
    // The shell sends the message again when it starts anew: the old list is let go.
    Disconnect();
    if (FAILED(::CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(ITaskbarList3), list.Receive())) ||
        !list.IsSet())
        return false;
    if (FAILED(list->HrInit())) {
        list.Reset();
        return false;
    }
    button = window;
    return true;
}

void TaskbarProgress::Disconnect() {
    list.Reset();
    button = nullptr;
    // A new button starts without a bar.
    shown = {TBPF_NOPROGRESS, 0};
}

void TaskbarProgress::Show(OperationState state, float percent) {
    const TaskbarShown wanted = TaskbarShownFor(state, percent);
    if (!list.IsSet() || wanted == shown)
        return;
    // A failed call leaves the button as it was; the next change tries again.
    if (FAILED(list->SetProgressState(button, wanted.flags)))
        return;
    if (wanted.flags != TBPF_NOPROGRESS &&
        FAILED(list->SetProgressValue(button, wanted.completed, kTaskbarSteps)))
        return;
    shown = wanted;
}
