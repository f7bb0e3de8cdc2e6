#include "ui/MainWindow.h"

#include "app/Application.h"
#include "app/Globals.h"
#include "app/Settings.h"
#include "ops/Commands.h"
#include "ops/PartNaming.h"
#include "res/resource.h"
#include "ui/HandOverRecord.h"

#include <shellapi.h>

// The queue of the main window: the files it works through one at a time, from its own launch,
// from later launches of the same user (WM_COPYDATA) and from drops. Each operation ends either
// well (WM_OPERATION_ENDED) or with an error (its state turns Failed); then the next waiting file
// starts, whatever the last one's outcome. The last operation stays the window's, so that its
// Open or Find still work.

namespace {

// The list's height in pixels at 96 dpi: five lines of the dialog font and the gap above it.
constexpr int kQueueListSpace = 78;

} // namespace

int MainWindow::QueueSpace() const {
    return queueShown ? Px(kQueueListSpace) : 0;
}

bool MainWindow::BeginQueue(RunMode mode, const WideString& path) {
    queue.Clear();
    if (!queue.Add(mode, path))
        return false;
    accepting = true;
    queue.BeginNext();
    return gApplication.StartWork(mode, path);
}

bool MainWindow::TakeWork(RunMode mode, const WideString& path) {
    if (!accepting || !queue.Add(mode, path))
        return false;
    ShowQueueList();
    // An operation that has ended gives way at once; one under way or waiting for its part size
    // goes on.
    if (queue.Current() < 0)
        StartNextItem();
    FillQueueList();
    return true;
}

void MainWindow::CloseQueue() {
    accepting = false;
}

BOOL MainWindow::OnCopyData(const COPYDATASTRUCT* data) {
    HandOverRecord record;
    if (data == nullptr || !record.Read(*data))
        return FALSE;
    return TakeWork(record.Mode(), record.Path()) ? TRUE : FALSE;
}

void MainWindow::OnDropFiles(HDROP drop) {
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && i < static_cast<UINT>(WorkQueue::kMostItems); ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0 || length > HandOverRecord::kMostPathUnits)
            continue;
        WideString file;
        wchar_t* buffer = file.Reserve(length);
        if (buffer == nullptr || ::DragQueryFileW(drop, i, buffer, length + 1) != length)
            continue;
        file.Assign(buffer, length);
        // A folder is neither split nor joined.
        const DWORD attributes = ::GetFileAttributesW(file.Text());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        WideString target;
        const RunMode mode = WorkQueue::ModeForFile(file, target);
        TakeWork(mode, target);
    }
    ::DragFinish(drop);
}

void MainWindow::NoticeOperationState() {
    // Failed is reported from inside the operation: it is left only once its call returned.
    if (advancePosted || !gOperation || gOperation->State() != OperationState::Failed ||
        queue.Current() < 0)
        return;
    advancePosted = true;
    PostMessageW(kQueueAdvance, static_cast<WPARAM>(queue.Current()), 0);
}

void MainWindow::AdvanceQueue(bool endedWell) {
    // An operation that ended well may still tell of damage (a check's verdict), and a check
    // ends again after its repair.
    if (queue.Current() < 0 && endedWell && gOperation)
        queue.RetellLast(gOperation->Outcome());
    if (queue.Current() >= 0) {
        if (endedWell)
            queue.EndCurrent(gOperation ? gOperation->Outcome() : OperationOutcome::Done);
        else if (gOperation && gOperation->State() == OperationState::Failed)
            queue.EndCurrent(gOperation->Outcome());
        else
            return;
    }
    if (queue.HasWaiting()) {
        StartNextItem();
        FillQueueList();
        return;
    }
    FillQueueList();
    actionMenu.EnableItem(kCommandAbortCurrent, false, MF_GRAYED);
    if (endedWell || queue.Count() > 1)
        OnQueueEnded();
}

void MainWindow::StartNextItem() {
    const int32_t index = queue.BeginNext();
    if (index < 0)
        return;
    // Closing the last one's files; what it made is whole, or was removed at its failure.
    if (gOperation) {
        report.Forget(); // its verdict goes with the operation
        gOperation->Abort();
        gOperation.reset();
    }
    const QueueItem& item = queue.Item(index);
    PrepareForMode(item.mode);
    if (!gApplication.StartWork(item.mode, item.path)) {
        queue.EndCurrent(OperationOutcome::Refused);
        PostMessageW(kQueueAdvance, static_cast<WPARAM>(-1), 0);
        return;
    }
    actionMenu.EnableItem(kCommandAbortCurrent, false, MF_ENABLED);
    // The size the user chose for an earlier split serves the later ones.
    if (item.mode == RunMode::Split && partSizeChosen && gOperation &&
        gOperation->State() == OperationState::Waiting)
        gOperation->OnCommand(kCommandSplit);
    ShowTaskbarProgress();
}

void MainWindow::AbortCurrent() {
    const int32_t index = queue.Current();
    if (index < 0 || !gOperation)
        return;
    // What the file's operation made so far goes, as when the window is closed under it.
    gOperation->Abort();
    queue.EndCurrent(OperationOutcome::Cancelled);
    WideString name;
    if (FileNameOf(queue.Item(index).path.Text(), name))
        SetTitle(name.Text());
    SetAction(kCommandExit, kActionRunGroup | kActionResultGroup);
    AdvanceQueue(false);
}

void MainWindow::OnQueueEnded() {
    const bool allDone = queue.CountEnded(OperationOutcome::Done) == queue.Count();
    if (queue.Count() > 1) {
        // A split that failed at its start leaves its panel; nothing waits for a size now.
        if (panelShown)
            ShowPartSizePanel(false);
        WideString summary;
        queue.Summary(summary);
        statusText.SetWindowTextW(summary.Text());
        ShowTaskbarProgress();
    }
    if (!allDone)
        return;
    // Closing or flashing follows the whole queue: not before its last file, and not when one
    // failed, as with a single file that failed.
    if (gSettings.ReadCloseWindow() != 0) {
        CloseQueue();
        ::PostQuitMessage(0);
    } else if (gSettings.ReadFlashWindow() != 0) {
        FLASHWINFO flash{};
        flash.cbSize = sizeof flash;
        flash.hwnd = Handle();
        flash.dwFlags = FLASHW_ALL;
        flash.uCount = 3;
        flash.dwTimeout = 0;
        ::FlashWindowEx(&flash);
    }
}

void MainWindow::ShowQueueList() {
    if (queueShown || queue.Count() < 2)
        return;
    queueShown = true;
    // Before the separator that follows Resume.
    const int count = actionMenu.GetItemCount();
    int position = 0;
    while (position < count && ::GetMenuItemID(actionMenu.Handle(), position) != kCommandResume)
        ++position;
    actionMenu.InsertString(static_cast<UINT>(position + 1), true, L"&Abort this file",
                            kCommandAbortCurrent);
    queueList.ShowWindow(SW_SHOWNA);
    // The window grows by the list, its other parts keeping their sizes.
    RECT frame{};
    GetWindowRect(&frame);
    SetWindowPos(nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + Px(kQueueListSpace),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(&client);
    OnSize(SIZE_RESTORED, static_cast<UINT>(client.right), static_cast<UINT>(client.bottom));
}

void MainWindow::FillQueueList() {
    if (!queueShown)
        return;
    const HWND list = queueList.Handle();
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    WideString line;
    for (int32_t i = 0; i < queue.Count(); ++i) {
        queue.LineText(i, line);
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.Text()));
    }
    // The current file, or the last one, in sight.
    const int32_t shown = queue.Current() >= 0 ? queue.Current() : queue.Count() - 1;
    ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(shown > 2 ? shown - 2 : 0), 0);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    queueList.InvalidateRect(nullptr, TRUE);
}
