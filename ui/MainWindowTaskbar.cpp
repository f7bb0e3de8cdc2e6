#include "ui/MainWindow.h"

#include "app/Globals.h"

void MainWindow::OnTaskbarButtonCreated() {
    // Without a taskbar list the button shows no progress, and nothing else changes.
    taskbar.Connect(Handle());
    ShowTaskbarProgress();
}

void MainWindow::ShowTaskbarProgress() {
    OperationState state = gOperation ? gOperation->State() : OperationState::Idle;
    if (queue.Count() < 2) {
        taskbar.Show(state, taskbarPercent);
        return;
    }
    // A queue fills the button once, over all its files; at its end it is red where one failed.
    if (queue.Current() < 0)
        state = queue.CountEnded(OperationOutcome::Done) == queue.Count() ? OperationState::Done
                                                                          : OperationState::Failed;
    else if (state == OperationState::Failed)
        state = OperationState::Running; // the next file follows
    taskbar.Show(state, queue.Percent(taskbarPercent));
}
