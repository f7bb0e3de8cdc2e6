#include "ui/MainWindow.h"

#include "app/Application.h"
#include "app/Globals.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "ops/Commands.h"
#include "ops/PartNaming.h"
#include "ui/FolderPicker.h"

// "Split to…" and "Join to…": the parts, or the joined file, go to a folder the user picks
// instead of beside the source. A split waiting for its size starts into it; a join under way,
// or one that failed (no room, say), begins again into it.

namespace {

constexpr wchar_t kSplitToLabel[] = L"Split to\u2026";
constexpr wchar_t kJoinToLabel[] = L"Join to\u2026";

// A join can begin again elsewhere until it has ended well.
bool JoinableAgain() {
    const OperationState state = gOperation ? gOperation->State() : OperationState::Idle;
    return state == OperationState::Running || state == OperationState::Paused ||
           state == OperationState::Failed;
}

} // namespace

void MainWindow::ShowFolderCommand(RunMode mode) {
    actionMenu.DeleteItem(kCommandSplitTo, false);
    actionMenu.DeleteItem(kCommandJoinTo, false);
    // Below Split, before Pause.
    if (mode == RunMode::Split)
        actionMenu.InsertString(kCommandPause, false, kSplitToLabel, kCommandSplitTo);
    else if (mode == RunMode::Join)
        actionMenu.InsertString(kCommandPause, false, kJoinToLabel, kCommandJoinTo);
}

void MainWindow::EnableFolderCommand(UINT flags) {
    if ((flags & kActionRunGroup) == 0)
        return;
    actionMenu.EnableItem(kCommandSplitTo, false,
                          (flags & kActionSplitEnabled) != 0 ? MF_ENABLED : MF_GRAYED);
    actionMenu.EnableItem(kCommandJoinTo, false, JoinableAgain() ? MF_ENABLED : MF_GRAYED);
}

bool MainWindow::AskForFolder(const wchar_t* title, WideString& folder) {
    WideString last;
    gSettings.ReadLastFolder(last);
    bool chosen = false;
    DWORD error = 0;
    {
        // The operation stays as it was while the picker is open.
        CompletionDispatcher::DeliveryHold hold;
        chosen = PickFolder(Handle(), title, last.Text(), folder);
        error = ::GetLastError();
    }
    if (!chosen) {
        ::SetLastError(error);
        return false;
    }
    gSettings.WriteLastFolder(folder.Text());
    return true;
}

bool MainWindow::ChooseOutputFolder(const wchar_t* title, WideString& folder) {
    // Asked as the window starts, before it shows: the picker comes up over it, not alone.
    if (!IsWindowVisible())
        ShowWindow(SW_SHOWNORMAL);
    return AskForFolder(title, folder);
}

void MainWindow::SplitTo() {
    if (!gOperation || gOperation->State() != OperationState::Waiting ||
        gOperation->PartCount() != 0)
        return;
    WideString title;
    title.Format(L"Split %s to", gOperation->Name().Text());
    WideString folder;
    if (!AskForFolder(title.Text(), folder))
        return;
    gOperation->SetOutputFolder(folder);
    RunCommand(kCommandSplit);
}

void MainWindow::JoinTo() {
    if (gApplication.Mode() != RunMode::Join || !JoinableAgain())
        return;
    WideString firstPart;
    if (!PartPath(gOperation->Path().Text(), 1, firstPart))
        return;
    WideString title;
    title.Format(L"Join %s to", gOperation->Name().Text());
    WideString folder;
    if (!AskForFolder(title.Text(), folder))
        return;
    // What the join made so far goes, as at Abort; a failed one made nothing that stays.
    gOperation->Abort();
    gOperation.reset();
    if (queue.Current() < 0)
        queue.ReopenLast();
    FillQueueList();
    PrepareForMode(RunMode::Join);
    if (!gApplication.StartWork(RunMode::Join, firstPart, &folder))
        queue.EndCurrent(OperationOutcome::Refused);
}
