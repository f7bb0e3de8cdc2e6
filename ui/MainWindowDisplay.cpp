#include "ui/MainWindow.h"

#include "app/StoredChoices.h"
#include "ops/Commands.h"

#include <cwchar>

// The window as the operation sees it: the OperationDisplay side of MainWindow.

namespace {

const wchar_t* ActionLabel(UINT id) {
    switch (id) {
    case kCommandSplit:
        return L"&Split";
    case kCommandPause:
        return L"&Pause";
    case kCommandResume:
        return L"&Resume";
    case kCommandOpen:
        return L"&Open";
    case kCommandFind:
        return L"&Find";
    case kCommandExit:
        return L"E&xit";
    case kCommandConfiguration:
        return L"&Configuration";
    case kCommandRepair:
        return L"&Repair";
    default:
        return nullptr;
    }
}

UINT Enabling(UINT flags, UINT bit) {
    return (flags & bit) != 0 ? MF_ENABLED : MF_GRAYED;
}

} // namespace

int32_t MainWindow::CaptionChecksum(const wchar_t* text) {
    if (text == nullptr || *text == 0)
        return 0;
    int32_t x = 0;
    for (const wchar_t* p = text; *p; ++p)
        x ^= *p & 0xFF;
    return ((x ^ 0xFF) << 8) | x;
}

void MainWindow::Repaint() {
    progressBar.InvalidateRect(nullptr, FALSE);
}

void MainWindow::WriteCaption(const wchar_t* text) {
    const int32_t sum = CaptionChecksum(text);
    if (sum == captionSum)
        return;
    captionSum = sum;
    SetWindowTextW(text);
}

void MainWindow::SetTitle(const wchar_t* name) {
    WriteCaption(name != nullptr ? name : L"");
    // The caption without a percentage starts a new stretch of work, or ends one.
    taskbarPercent = 0.0f;
    ShowTaskbarProgress();
}

void MainWindow::SetTitleProgress(const wchar_t* name, float percent) {
    textBuffer.Format(L"%s [%.00f %%]", name != nullptr ? name : L"", static_cast<double>(percent));
    WriteCaption(textBuffer.Text());
    taskbarPercent = percent;
    ShowTaskbarProgress();
}

void MainWindow::SetStatusV(const wchar_t* format, va_list args) {
    textBuffer.FormatV(format, args);
    statusText.SetWindowTextW(textBuffer.Text());
}

void MainWindow::SetStatusBar(const wchar_t* text) {
    if (text == nullptr)
        text = L"";
    textBuffer.Assign(text, static_cast<uint32_t>(std::wcslen(text)));
    ShowStatusBarText();
}

void MainWindow::SetStatusBarV(const wchar_t* format, va_list args) {
    textBuffer.FormatV(format, args);
    ShowStatusBarText();
}

void MainWindow::ShowStatusBarText() {
    // The system's error texts end in CR LF, which a one-line status bar would show as marks:
    // each run of line breaks becomes one blank, and trailing blanks go.
    if (wchar_t* text = textBuffer.Buffer()) {
        uint32_t out = 0;
        for (uint32_t in = 0; text[in] != 0; ++in) {
            const wchar_t c = text[in];
            if (c == L'\r' || c == L'\n') {
                if (out != 0 && text[out - 1] != L' ')
                    text[out++] = L' ';
            } else {
                text[out++] = c;
            }
        }
        while (out != 0 && text[out - 1] == L' ')
            --out;
        text[out] = 0;
        // Shrinking in place: the copy runs forward over the same units.
        textBuffer.Assign(text, out);
    }
    statusBar.SetText(0, textBuffer.Text());
}

void MainWindow::SetAction(UINT id, UINT flags) {
    if (const wchar_t* label = ActionLabel(id))
        actionButton.SetLabel(label);
    actionMenu.SetDefaultItem(id, false);
    if (flags & kActionRunGroup) {
        actionMenu.EnableItem(kCommandSplit, false, Enabling(flags, kActionSplitEnabled));
        actionMenu.EnableItem(kCommandPause, false, Enabling(flags, kActionPauseEnabled));
        actionMenu.EnableItem(kCommandResume, false, Enabling(flags, kActionResumeEnabled));
        EnableFolderCommand(flags);
    }
    if (flags & kActionResultGroup) {
        actionMenu.EnableItem(kCommandOpen, false, Enabling(flags, kActionOpenEnabled));
        actionMenu.EnableItem(kCommandFind, false, Enabling(flags, kActionFindEnabled));
        actionMenu.EnableItem(kCommandRepair, false, Enabling(flags, kActionRepairEnabled));
    }
    if (flags & (kActionLabelRuns | kActionLabelInert))
        actionButton.SetMode((flags & kActionLabelInert) != 0 ? SplitButtonMode::LabelInert
                                                              : SplitButtonMode::Normal);
    // Every change of the operation's state comes with a new action.
    FollowOperation();
    ShowTaskbarProgress();
    NoticeOperationState();
}

OperationChoices MainWindow::Choices() {
    return ReadStoredChoices();
}
