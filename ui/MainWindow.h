#pragma once

#include "app/WideString.h"
#include "ops/Operation.h"
#include "ops/OperationDisplay.h"
#include "toolkit/GdiObject.h"
#include "toolkit/Dpi.h"
#include "toolkit/KComboBox.h"
#include "toolkit/KDialog.h"
#include "toolkit/KEdit.h"
#include "toolkit/KHyperlink.h"
#include "toolkit/KSplitButton.h"
#include "toolkit/KStatusBar.h"
#include "toolkit/Menu.h"
#include "ui/CheckReport.h"
#include "ui/ProgressDisplay.h"
#include "ui/TaskbarProgress.h"
#include "ui/TransferMeter.h"
#include "ui/WindowIcons.h"
#include "ui/WorkQueue.h"

#include <cstdint>

// The one window of a split or join: status line, progress display, caption with the
// percentage, status bar with the path, the part-size panel of a split, and the action button
// whose menu holds the operation's commands. The operation drives it through OperationDisplay;
// it drives the current operation (gOperation, which may be empty) through its commands.
class MainWindow : public KDialog, public OperationDisplay {
public:
    MainWindow();
    ~MainWindow() override;

    BOOL OnInitDialog() override;
    BOOL OnOK() override;
    BOOL OnCancel() override;
    BOOL OnSize(WPARAM type, UINT width, UINT height) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void SetTitle(const wchar_t* name) override;
    void SetTitleProgress(const wchar_t* name, float percent) override;
    void SetStatusV(const wchar_t* format, va_list args) override;
    void SetStatusBar(const wchar_t* text) override;
    void SetStatusBarV(const wchar_t* format, va_list args) override;
    void SetAction(UINT id, UINT flags) override;
    uint64_t GetPartSize() override { return partSize; }
    uint32_t GetPartCount() override { return partCount; }
    void ShowPartSizePanel(bool show) override;
    OperationChoices Choices() override;
    void Repaint() override;
    void ShowVerdict(const CheckVerdict& verdict, const wchar_t* wholeName) override;
    bool ChooseOutputFolder(const wchar_t* title, WideString& folder) override;
    HWND EndedTarget() const override { return Handle(); }
    // Only the last file of a queue is opened or selected.
    bool ShowsResult() const override { return !queue.HasWaiting(); }
    // A join asks for a part it can't find (MainWindowPrompt.cpp).
    bool AsksForParts() const override { return true; }
    PartAnswer AskForPart(const wchar_t* partName, WideString& folder) override;

    // Starts the queue with the launch's own split or join. False when its operation could
    // not be made.
    bool BeginQueue(RunMode mode, const WideString& path);
    // A split or join handed over by a later launch or dropped on the window: queued, and
    // started at once where nothing else is under way. False when the window takes no more
    // work (it is ending, or the queue is full).
    bool TakeWork(RunMode mode, const WideString& path);
    const WorkQueue& Queue() const { return queue; }

    // Asks before leaving a busy operation or files that wait; then ends the message loop and saves
    // the placement. False when the user chose to stay.
    bool ConfirmExit();

    // The queue's own command, beside the operations' (Commands.h).
    static constexpr UINT kCommandAbortCurrent = 1100;
    // A split, or a join begun again, into a folder the user picks (MainWindowFolder.cpp).
    static constexpr UINT kCommandSplitTo = 1101;
    static constexpr UINT kCommandJoinTo = 1102;

    // For the tests.
    HMENU ActionMenu() const { return actionMenu.Handle(); }
    SplitButtonMode ActionMode() const { return actionButton.Mode(); }
    bool IsPartSizePanelShown() const { return panelShown; }
    bool IsQueueShown() const { return queueShown; }
    const ProgressColors& Colors() const { return colors; }
    UINT WindowDpi() const { return dpi; }
    const TaskbarProgress& Taskbar() const { return taskbar; }

    // 0 for an empty text; otherwise ((x ^ 0xFF) << 8) | x with x the exclusive-or of the low
    // bytes of all characters, so never 0.
    static int32_t CaptionChecksum(const wchar_t* text);

private:
    void BuildActionMenu();
    void FillPartSizePanel();
    void ReadPartSizeInput();
    // A media size picked in the unit box becomes its number and unit.
    void TakeMediaSize();
    // The unit box's list as wide as its longest entry needs at the window's dpi.
    void FitUnitList();
    void OnPartSizeInput();
    void WriteCaption(const wchar_t* text);
    // Shows textBuffer in the status bar, its line breaks turned into single blanks.
    void ShowStatusBarText();
    void PaintProgressDisplay(const DRAWITEMSTRUCT& item);
    void UpdateHighlightColors();
    // A length of the 96-dpi layout at the window's dpi.
    int Px(int pixels) const { return ScaleForDpi(pixels, dpi); }
    // The fonts of the window's dpi, made afresh.
    void MakeFonts();
    void OnDpiChanged(UINT newDpi, const RECT& suggested);
    void OnDestroy();
    void ReleaseMenuHold();
    void RunCommand(UINT id);
    // The part-size panel, the action button and its menu as a new operation of the mode
    // finds them.
    void PrepareForMode(RunMode mode);

    // The commands that send the work to a chosen folder (MainWindowFolder.cpp): the mode's one in
    // the menu below its first item, enabled while it can act.
    void ShowFolderCommand(RunMode mode);
    void EnableFolderCommand(UINT flags);
    void SplitTo();
    void JoinTo();
    // The folder picker, offering the folder chosen last; false when none was chosen.
    bool AskForFolder(const wchar_t* title, WideString& folder);

    // The queue (MainWindowQueue.cpp). Posted when the current operation may have ended;
    // wParam is its index in the queue.
    static constexpr UINT kQueueAdvance = WM_APP + 1;
    // Ends the current file of a queue and goes on with the next; in the menu once a second
    // file is queued.
    void AbortCurrent();
    void NoticeOperationState();
    // Ends the current item when its operation has ended; starts the next one or, at the end,
    // tells how the queue went.
    void AdvanceQueue(bool endedWell);
    void StartNextItem();
    void OnQueueEnded();
    BOOL OnCopyData(const COPYDATASTRUCT* data);
    void OnDropFiles(HDROP drop);
    // Stops taking work: the window is about to end.
    void CloseQueue();
    // Shows the list once a second file is queued, growing the window by its height.
    void ShowQueueList();
    void FillQueueList();
    // The height the list adds to the layout at the window's dpi; 0 while it is hidden.
    int QueueSpace() const;

    // The speed part of the status bar (MainWindowSpeed.cpp): follows the operation's state,
    // sampled at each SetAction and every half second while it runs.
    static constexpr UINT_PTR kSpeedTimer = 1;
    void FollowOperation();
    void OnSpeedTimer();
    void SetSpeedText(bool keepWidth);

    // The taskbar button (MainWindowTaskbar.cpp): the shell announces it with a message of its
    // own, registered by name; from then on it follows the operation's state and the caption's
    // percentage.
    void OnTaskbarButtonCreated();
    void ShowTaskbarProgress();
    // Two parts while the speed part has a text, the path's taking the rest of the width;
    // one part otherwise.
    void LayoutStatusBarParts();
    int StatusBarTextWidth(const wchar_t* text) const;
    // The text's width in the control's font; 0 when it can't be measured.
    static int TextWidthIn(HWND control, const wchar_t* text);

    KWindow statusText;
    KWindow progressBar;
    KComboBox unitCombo;
    KEdit sizeEdit;
    KWindow sizeGroup;
    KSplitButton actionButton;
    KStatusBar statusBar;
    // A check's verdict, below the progress display once the check has ended.
    CheckReport report;
    bool reportShown = false;
    KWindow queueList;
    KHyperlink link;
    Menu actionMenu;
    ProgressColors colors{};
    WideString textBuffer;
    uint64_t partSize = 0;
    // Parts chosen instead of a size; 0 when the unit is a size.
    uint32_t partCount = 0;
    FontObject boldFont;
    // The dialog font as the template made it, at templateDpi, and our copies of it for the
    // window's dpi now: the window scales itself (the dialog manager leaves it alone).
    LOGFONTW templateFont{};
    UINT templateDpi = kBaseDpi;
    UINT dpi = kBaseDpi;
    FontObject dialogFont;
    FontObject statusBarFont;
    int32_t captionSum = 0;
    bool panelShown = false;
    // Completions are held back while a menu loop of this window runs.
    bool menuHeld = false;
    WindowIcons icons;
    TransferMeter meter;
    OperationState meterState = OperationState::Idle;
    WideString speedText;
    int speedPartWidth = 0;
    UINT taskbarButtonCreated = 0;
    TaskbarProgress taskbar;
    float taskbarPercent = 0.0f;
    WorkQueue queue;
    // Later launches and drops may add work; false once the window ends.
    bool accepting = false;
    bool queueShown = false;
    bool panelFilled = false;
    // A split of this window has run: later splits take its part size without asking.
    bool partSizeChosen = false;
    bool advancePosted = false;
};
