#include "ui/MainWindow.h"

#include "app/Globals.h"

void MainWindow::OnTaskbarButtonCreated() {
    // Without a taskbar list the button shows no progress, and nothing else changes.
    taskbar.Connect(Handle());
    ShowTaskbarProgress();
}

void MainWindow::ShowTaskbarProgress() {
    const OperationState state = gOperation ? gOperation->State() : OperationState::Idle;
    taskbar.Show(state, taskbarPercent);
}
