#include "ui/MainWindow.h"

#include "app/Application.h"
#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "ops/CheckVerdict.h"
#include "ops/Commands.h"
#include "ops/Operation.h"
#include "res/resource.h"
#include "ui/OptionsDialog.h"
#include "ui/PartSizeInput.h"
#include "ui/WindowPlacement.h"

#include <shellapi.h>

#include <cwchar>

namespace {

// Tracking limits of the window, frame included.
constexpr int kMinWidth = 400, kMinHeight = 160;
constexpr int kMaxWidth = 1000, kMaxHeight = 220;
// With a check's report: the progress display's height, the most rows the window grows to show,
// and the window's limits then.
constexpr int kReportProgressHeight = 24;
constexpr int kReportRows = 10;
constexpr int kReportMinHeight = 260, kReportMaxHeight = 900;

// The most characters a 64-bit number of bytes can take; anything longer is no part size.
constexpr int kPartSizeDigits = 20;

} // namespace

MainWindow::MainWindow() : link(kLinkColor, kLinkHoverColor) {}

MainWindow::~MainWindow() {
    boldFont.Reset();
    actionMenu.Destroy();
}

void MainWindow::BuildActionMenu() {
    // A window made again (the tests do) starts with a fresh menu.
    if (actionMenu.Handle() != nullptr)
        actionMenu.Destroy();
    actionMenu.Create(true);
    actionMenu.InsertString(0, true, L"&Split", kCommandSplit);
    actionMenu.InsertString(1, true, L"&Pause", kCommandPause);
    actionMenu.InsertString(2, true, L"&Resume", kCommandResume);
    actionMenu.InsertType(3, true, MFT_SEPARATOR);
    actionMenu.InsertString(4, true, L"&Open", kCommandOpen);
    actionMenu.InsertString(5, true, L"&Find", kCommandFind);
    actionMenu.InsertType(6, true, MFT_SEPARATOR);
    actionMenu.InsertString(7, true, L"E&xit", kCommandExit);
    actionMenu.InsertType(8, true, MFT_SEPARATOR);
    actionMenu.InsertString(9, true, L"&Configuration", kCommandConfiguration);
    // A check writes no file to open, but may rebuild the parts where they lie.
    if (gApplication.Mode() == RunMode::Check)
        actionMenu.InsertString(6, true, L"&Repair", kCommandRepair);
}

BOOL MainWindow::OnInitDialog() {
    captionSum = 0;
    partSize = 0;
    // A window made again (the tests do) starts without the last one's report.
    report.Forget();
    if (report.IsBound())
        report.Detach();
    reportShown = false;
    panelShown = false;
    meterState = OperationState::Idle;
    speedText.Assign(L"", 0);
    speedPartWidth = 0;
    taskbarPercent = 0.0f;
    queue.Clear();
    accepting = false;
    queueShown = false;
    panelFilled = false;
    partSizeChosen = false;
    advancePosted = false;
    // 0 where it cannot be registered: then no message matches it.
    taskbarButtonCreated = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    dpi = Dpi::ForWindow(Handle());
    // At a change of dpi the window lays itself out and makes its fonts anew.
    Dpi::LayOutDialogAlone(Handle());

    BuildActionMenu();

    statusText.Attach(GetDlgItem(IDC_MAIN_STATUS), false);
    unitCombo.Attach(GetDlgItem(IDC_MAIN_UNIT), false);
    sizeEdit.Attach(GetDlgItem(IDC_MAIN_SIZE), false);
    sizeGroup.Attach(GetDlgItem(IDC_MAIN_SIZE_GROUP), false);
    progressBar.Attach(GetDlgItem(IDC_MAIN_PROGRESS), false);
    queueList.Attach(GetDlgItem(IDC_MAIN_QUEUE), false);
    actionButton.Attach(GetDlgItem(IDOK));
    actionButton.SetDpi(dpi);

    statusBar.Create(WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Handle(), IDC_MAIN_STATUSBAR);

    link.Attach(GetDlgItem(IDC_MAIN_LINK));
    link.SetWindowTextW(kProductWebPage);

    actionButton.SetDropDownMenu(actionMenu.Handle());
    progressBar.ModifyStyle(SS_OWNERDRAW, 0);
    sizeGroup.SetWindowTextW(L"Parts size");

    icons.Set(Handle(), dpi);

    PrepareForMode(gApplication.Mode());
    // Files dropped on the window join the queue; a check's window holds its report alone.
    ::DragAcceptFiles(Handle(), gApplication.Mode() != RunMode::Check);

    // The template's font was made for the dpi the window was created at.
    templateDpi = dpi;
    if (::GetObjectW(GetFont(), sizeof templateFont, &templateFont) != sizeof templateFont)
        templateFont = LOGFONTW{};
    MakeFonts();

    UpdateHighlightColors();

    // A restored placement that keeps the default size sends no WM_SIZE, so the layout is always
    // made once here.
    RestoreWindowPos(Handle());
    RECT client{};
    GetClientRect(&client);
    OnSize(SIZE_RESTORED, static_cast<UINT>(client.right), static_cast<UINT>(client.bottom));
    return FALSE;
}

void MainWindow::PrepareForMode(RunMode mode) {
    const bool split = mode == RunMode::Split;
    if (split) {
        if (!panelFilled)
            FillPartSizePanel();
        panelFilled = true;
        ShowPartSizePanel(true);
        FocusControl(sizeEdit.Handle());
        actionButton.SetLabel(L"&Split");
        actionMenu.SetDefaultItem(kCommandSplit, false);
    } else {
        ShowPartSizePanel(false);
        actionButton.SetLabel(L"&Pause");
        actionMenu.SetDefaultItem(kCommandPause, false);
    }
    actionMenu.EnableItem(kCommandSplit, false, MF_GRAYED);
    actionMenu.EnableItem(kCommandPause, false, split ? MF_GRAYED : MF_ENABLED);
    actionMenu.EnableItem(kCommandResume, false, MF_GRAYED);
    actionMenu.EnableItem(kCommandOpen, false, MF_GRAYED);
    actionMenu.EnableItem(kCommandFind, false, MF_GRAYED);
    actionMenu.EnableItem(kCommandRepair, false, MF_GRAYED);
    ShowFolderCommand(mode);
    EnableFolderCommand(kActionRunGroup);
    actionButton.SetMode(SplitButtonMode::Normal);
}

void MainWindow::FillPartSizePanel() {
    for (const wchar_t* unit : kSizeUnitNames)
        unitCombo.InsertString(-1, unit);
    unitCombo.InsertString(-1, kPartsUnitName);
    for (const MediaSize& media : kMediaSizes)
        unitCombo.InsertString(-1, media.name);
    // Typing stops where a 64-bit number of bytes ends.
    sizeEdit.LimitText(kPartSizeDigits);

    partSize = gSettings.ReadPartSize();
    partCount = gSettings.ReadPartCount();
    PartSizeShown shown = PartSizeForDisplay(partSize);
    if (partCount != 0)
        shown = PartSizeShown{partCount, kPartsUnitIndex};
    if (shown.number != 0) {
        WideString number;
        number.Format(L"%llu", static_cast<unsigned long long>(shown.number));
        if (number.Length() != 0) {
            // Hidden still, so the edit's EN_CHANGE is ignored.
            sizeEdit.SetWindowTextW(number.Text());
            sizeEdit.SetSel(static_cast<int>(number.Length()), -1);
        }
    }
    unitCombo.SetCurSel(shown.unitIndex);
}

BOOL MainWindow::OnOK() {
    // Enter, or a click on the label in SplitButtonMode::Normal: the menu's default command. A
    // greyed default gives -1, whose low word no command has.
    const UINT id = actionMenu.GetDefaultItem(false, 0);
    PostMessageW(WM_COMMAND, LOWORD(id), 0);
    return TRUE;
}

BOOL MainWindow::OnCancel() {
    ConfirmExit();
    return TRUE;
}

bool MainWindow::ConfirmExit() {
    // Files that wait would be cancelled with the window, as would one under way.
    if ((gOperation && gOperation->IsBusy()) || queue.HasWaiting()) {
        int answer = 0;
        {
            // The operation stays as it was asked about until the answer is in.
            CompletionDispatcher::DeliveryHold hold;
            answer = MessageBoxW(L"Do you really want to exit Brindlecot ?", kProgramCaption,
                                 MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
        }
        if (answer == IDNO)
            return false;
    }
    CloseQueue();
    ::PostQuitMessage(0);
    SaveWindowPos(Handle());
    return true;
}

BOOL MainWindow::OnSize(WPARAM type, UINT clientWidth, UINT clientHeight) {
    // A minimised window has no client area to lay out; the restore sizes it again.
    if (type == SIZE_MINIMIZED)
        return FALSE;
    const int w = static_cast<int>(clientWidth);
    int h = static_cast<int>(clientHeight);

    statusBar.SendMessageW(WM_SIZE, 0, 0);
    LayoutStatusBarParts();
    RECT bar{};
    statusBar.GetWindowRect(&bar);
    h -= bar.bottom - bar.top;

    // The layout in pixels at 96 dpi, each distance from an edge scaled to the window's dpi
    // on its own, so that controls that meet at 96 dpi still meet (and never overlap) after
    // rounding.
    const int margin = Px(7);
    const int buttonLeft = w - Px(101), rowTop = h - Px(29);
    actionButton.MoveWindow(buttonLeft, rowTop, Px(94), Px(24), true);
    link.MoveWindow(margin, rowTop, buttonLeft - margin, Px(24), true);
    if (reportShown) {
        // The progress display keeps a line's height; the report takes the rest.
        const int reportTop = Px(56) + Px(kReportProgressHeight) + Px(6);
        progressBar.MoveWindow(margin, Px(56), w - 2 * margin, Px(kReportProgressHeight), true);
        report.MoveWindow(margin, reportTop, w - 2 * margin, rowTop - Px(6) - reportTop, true);
        report.FitColumns(w - 2 * margin, dpi);
    } else {
        // The queue's list, when shown, takes its height from the progress display's.
        const int queueSpace = QueueSpace();
        progressBar.MoveWindow(margin, Px(56), w - 2 * margin, h - Px(35) - Px(56) - queueSpace,
                               true);
        if (queueSpace != 0)
            queueList.MoveWindow(margin, h - Px(35) - queueSpace + Px(6), w - 2 * margin,
                                 queueSpace - Px(6), true);
    }
    sizeGroup.MoveWindow(w - Px(127), Px(5), Px(120), Px(46), true);
    statusText.MoveWindow(margin, Px(10), (panelShown ? w - Px(134) : w - Px(3)) - margin, Px(41),
                          true);
    sizeEdit.MoveWindow(w - Px(120), Px(23), Px(40), Px(20), true);
    unitCombo.MoveWindow(w - Px(75), Px(23), Px(60), Px(100), true);
    FitUnitList();

    InvalidateRect(nullptr, FALSE);
    return FALSE;
}

void MainWindow::ShowVerdict(const CheckVerdict& verdict, const wchar_t* wholeName) {
    if (!report.IsBound()) {
        if (!report.Create(Handle(), IDC_MAIN_REPORT))
            return;
        report.SetFont(dialogFont.Get() ? dialogFont.Get() : GetFont(), FALSE);
        // After the action button in the tab order, before the link.
        report.SetWindowPos(actionButton.Handle(), 0, 0, 0, 0,
                            SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (!report.Show(verdict, wholeName))
        return;
    // The window grows to show the rows, up to a screenful of them; the user may size it on.
    const int rows = static_cast<int>(verdict.PartCount()) < kReportRows
                         ? static_cast<int>(verdict.PartCount())
                         : kReportRows;
    RECT window{};
    RECT client{};
    GetWindowRect(&window);
    GetClientRect(&client);
    RECT bar{};
    statusBar.GetWindowRect(&bar);
    const int clientNeeded = (bar.bottom - bar.top) + Px(56) + Px(kReportProgressHeight) + Px(6) +
                             report.HeightFor(rows) + Px(6) + Px(29);
    int height = (window.bottom - window.top) - (client.bottom - client.top) + clientNeeded;
    // A verdict longer than the line wraps onto the status line's second line.
    wchar_t summary[512] = L"";
    statusText.GetWindowTextW(summary, 512);
    RECT line{};
    statusText.GetClientRect(&line);
    constexpr DWORD kOneLine = SS_CENTERIMAGE | SS_ENDELLIPSIS;
    const bool wraps = TextWidthIn(statusText.Handle(), summary) > line.right;
    statusText.ModifyStyle(wraps ? 0 : kOneLine, wraps ? kOneLine : 0);
    statusText.InvalidateRect(nullptr, TRUE);
    height = height < Px(kReportMinHeight) ? Px(kReportMinHeight) : height;
    height = height > Px(kReportMaxHeight) ? Px(kReportMaxHeight) : height;
    reportShown = true;
    report.ShowWindow(SW_SHOWNA);
    height = height > window.bottom - window.top ? height : window.bottom - window.top;
    // It stays on its monitor's work area: it grows upwards where there is no room below.
    int top = window.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        height = height < work.bottom - work.top ? height : work.bottom - work.top;
        top = top + height <= work.bottom ? top : work.bottom - height;
    }
    SetWindowPos(nullptr, window.left, top, window.right - window.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(&client);
    OnSize(SIZE_RESTORED, static_cast<UINT>(client.right), static_cast<UINT>(client.bottom));
}

void MainWindow::ShowPartSizePanel(bool show) {
    RECT text{};
    statusText.GetWindowRect(&text);
    RECT edge{};
    if (show) {
        sizeGroup.GetWindowRect(&edge);
        text.right = edge.left;
    } else {
        progressBar.GetWindowRect(&edge);
        text.right = edge.right;
        FocusControl(actionButton.Handle());
    }
    statusText.SetWindowPos(nullptr, 0, 0, text.right - text.left, text.bottom - text.top,
                            SWP_NOMOVE | SWP_NOZORDER);
    const int command = show ? SW_SHOWNORMAL : SW_HIDE;
    sizeGroup.ShowWindow(command);
    sizeEdit.ShowWindow(command);
    unitCombo.ShowWindow(command);
    panelShown = show;
}

void MainWindow::ReadPartSizeInput() {
    wchar_t digits[kPartSizeDigits + 2] = {};
    // A longer text (only WM_SETTEXT can make one) is cut here and then refused as too long.
    sizeEdit.GetWindowTextW(digits, kPartSizeDigits + 2);
    if (std::wcslen(digits) > static_cast<size_t>(kPartSizeDigits)) {
        partSize = 0;
        partCount = 0;
        return;
    }
    const int unit = static_cast<int>(unitCombo.GetCurSel());
    partSize = PartSizeFromInput(digits, unit);
    partCount = unit == kPartsUnitIndex ? PartCountFromInput(digits) : 0;
}

void MainWindow::TakeMediaSize() {
    const int index = static_cast<int>(unitCombo.GetCurSel()) - kFirstMediaIndex;
    if (index < 0 || index >= kMediaSizeCount)
        return;
    const MediaSize& media = kMediaSizes[index];
    // The unit first, so that the edit's change reads the new size whole.
    unitCombo.SetCurSel(media.unitIndex);
    WideString number;
    number.Format(L"%llu", static_cast<unsigned long long>(media.number));
    sizeEdit.SetWindowTextW(number.Text());
    sizeEdit.SetSel(static_cast<int>(number.Length()), -1);
}

void MainWindow::OnPartSizeInput() {
    // Hidden: the panel of a join or of a split under way, or the window still being built.
    if (!sizeEdit.IsWindowVisible())
        return;
    ReadPartSizeInput();
    if (gOperation)
        gOperation->OnPartSizeChanged();
    // A number of parts leaves the last size chosen stored as it was.
    if (unitCombo.GetCurSel() != kPartsUnitIndex)
        gSettings.WritePartSize(partSize);
    gSettings.WritePartCount(partCount);
}

void MainWindow::RunCommand(UINT id) {
    if (id == kCommandSplit)
        partSizeChosen = true;
    if (gOperation)
        gOperation->OnCommand(id);
}

BOOL MainWindow::OnCommand(WPARAM wParam, LPARAM) {
    // Menu commands, like button clicks, carry code 0.
    switch (wParam) {
    case CommandWord(BN_CLICKED, kCommandSplit):
    case CommandWord(BN_CLICKED, kCommandPause):
    case CommandWord(BN_CLICKED, kCommandResume):
    case CommandWord(BN_CLICKED, kCommandOpen):
    case CommandWord(BN_CLICKED, kCommandFind):
    case CommandWord(BN_CLICKED, kCommandRepair):
        RunCommand(LOWORD(wParam));
        return TRUE;
    case CommandWord(BN_CLICKED, kCommandExit):
        ConfirmExit();
        return TRUE;
    case CommandWord(BN_CLICKED, kCommandAbortCurrent):
        AbortCurrent();
        return TRUE;
    case CommandWord(BN_CLICKED, kCommandSplitTo):
        SplitTo();
        return TRUE;
    case CommandWord(BN_CLICKED, kCommandJoinTo):
        JoinTo();
        return TRUE;
    case CommandWord(BN_CLICKED, kCommandConfiguration): {
        CompletionDispatcher::DeliveryHold hold;
        OptionsDialog::Run(Handle());
        return TRUE;
    }
    case CommandWord(BN_CLICKED, IDC_MAIN_LINK):
        ::ShellExecuteW(Handle(), nullptr, kProductWebPage, nullptr, nullptr, SW_SHOWNORMAL);
        return TRUE;
    case CommandWord(CBN_SELCHANGE, IDC_MAIN_UNIT):
        TakeMediaSize();
        OnPartSizeInput();
        return TRUE;
    case CommandWord(EN_CHANGE, IDC_MAIN_SIZE):
        OnPartSizeInput();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == taskbarButtonCreated && msg != 0) {
        OnTaskbarButtonCreated();
        return TRUE;
    }
    switch (msg) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->hwndItem == progressBar.Handle())
            PaintProgressDisplay(*item);
        // Drawn (or not drawable this time): either way the item is ours.
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_SYSCOLORCHANGE:
        UpdateHighlightColors();
        progressBar.InvalidateRect(nullptr, FALSE);
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {Px(kMinWidth),
                                Px(reportShown ? kReportMinHeight : kMinHeight) + QueueSpace()};
        info->ptMaxTrackSize = {Px(kMaxWidth),
                                Px(reportShown ? kReportMaxHeight : kMaxHeight) + QueueSpace()};
        return TRUE;
    }
    case WM_DPICHANGED:
        OnDpiChanged(Dpi::FromDpiChanged(wParam), *reinterpret_cast<const RECT*>(lParam));
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_OPERATION_ENDED:
        AdvanceQueue(true);
        return TRUE;
    case kQueueAdvance:
        advancePosted = false;
        if (static_cast<int32_t>(wParam) == queue.Current())
            AdvanceQueue(false);
        return TRUE;
    case WM_COPYDATA:
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT,
                            OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam)));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam != kSpeedTimer)
            return FALSE;
        OnSpeedTimer();
        return TRUE;
    case WM_ENTERMENULOOP:
        // The action button's menu (its button tells us) or the system menu.
        if (!menuHeld) {
            CompletionDispatcher::HoldDeliveries();
            menuHeld = true;
        }
        return TRUE;
    case WM_EXITMENULOOP:
        ReleaseMenuHold();
        return TRUE;
    default:
        return FALSE;
    }
}

void MainWindow::ReleaseMenuHold() {
    if (menuHeld) {
        CompletionDispatcher::ReleaseDeliveries();
        menuHeld = false;
    }
}

void MainWindow::OnDestroy() {
    ReleaseMenuHold();
    // Before COM goes with the program's end.
    taskbar.Disconnect();
    // Every control gets the dialog's own font back before ours go.
    const HFONT own = GetFont();
    for (HWND child = ::GetWindow(Handle(), GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(own), FALSE);
    boldFont.Reset();
    dialogFont.Reset();
    statusBarFont.Reset();
    statusText.Detach();
    unitCombo.Detach();
    sizeEdit.Detach();
    sizeGroup.Detach();
    progressBar.Detach();
    queueList.Detach();
    actionButton.SetDropDownMenu(nullptr);
    actionButton.Detach();
    statusBar.Destroy();
    // Detach first: it lets go of the link's underlined font.
    const HWND linkWindow = link.Handle();
    link.Detach();
    if (linkWindow != nullptr)
        ::DestroyWindow(linkWindow);
    actionMenu.Destroy();
    icons.Clear(Handle());
}

void MainWindow::UpdateHighlightColors() {
    colors = HighlightColors();
}

void MainWindow::PaintProgressDisplay(const DRAWITEMSTRUCT& item) {
    const float percent = gOperation ? gOperation->Progress() : 0.0f;
    WideString text;
    PaintProgress(item, percent, colors, progressBar.GetFont(), text);
}
