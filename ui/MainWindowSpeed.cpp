#include "ui/MainWindow.h"

#include "app/Globals.h"
#include "toolkit/DcGuards.h"
#include "toolkit/DeviceContext.h"
#include "ui/SpeedText.h"

#include <commctrl.h>

// The status bar's second part: speed and time left while the operation runs, "paused" while it
// is paused, and the time it took with the average speed once it is done.

namespace {

// Twice a second: often enough to feel live, seldom enough to be read.
constexpr UINT kSpeedIntervalMs = 500;
// Room around the text inside its part (the part's edges and a little air).
constexpr int kSpeedPartPadding = 14;

uint64_t Now() {
    return ::GetTickCount64();
}

} // namespace

void MainWindow::FollowOperation() {
    if (!IsBound())
        return;
    const OperationState now = gOperation ? gOperation->State() : OperationState::Idle;
    const OperationState before = meterState;
    if (now == before)
        return;
    meterState = now;
    const uint64_t done = gOperation ? gOperation->DoneSize() : 0;
    switch (now) {
    case OperationState::Running:
        if (before == OperationState::Paused)
            meter.Resume(Now(), done);
        else
            meter.Start(Now(), done);
        // Nothing to tell until the first second has passed.
        speedText.Assign(L"", 0);
        SetSpeedText(false);
        SetTimer(kSpeedTimer, kSpeedIntervalMs, nullptr);
        break;
    case OperationState::Paused:
        KillTimer(kSpeedTimer);
        meter.Pause(Now());
        speedText.Assign(kSpeedPausedText, static_cast<uint32_t>(wcslen(kSpeedPausedText)));
        SetSpeedText(false);
        break;
    case OperationState::Done: {
        KillTimer(kSpeedTimer);
        const uint64_t end = Now();
        meter.Finish(end);
        // A run that never got going here (done at once) has no time of its own to tell.
        if (before == OperationState::Running || before == OperationState::Paused)
            FormatEndedText(meter.RunningMs(end), meter.PausedMs(end), done, speedText);
        else
            speedText.Assign(L"", 0);
        SetSpeedText(false);
        break;
    }
    default:
        // Waiting, failed or gone: the path or the error gets the whole bar.
        KillTimer(kSpeedTimer);
        speedText.Assign(L"", 0);
        SetSpeedText(false);
        break;
    }
}

void MainWindow::OnSpeedTimer() {
    FollowOperation();
    if (meterState != OperationState::Running || !gOperation)
        return;
    const uint64_t done = gOperation->DoneSize();
    const uint64_t total = gOperation->TotalSize();
    meter.Sample(Now(), done);
    double rate = 0;
    if (!meter.Rate(rate))
        return;
    FormatRunningText(rate, total > done ? total - done : 0, speedText);
    // The part only grows while running, so that it does not twitch with every digit.
    SetSpeedText(true);
}

void MainWindow::SetSpeedText(bool keepWidth) {
    const int fit = speedText.Length() == 0 ? 0 : StatusBarTextWidth(speedText.Text());
    const int width = keepWidth && speedPartWidth > fit ? speedPartWidth : fit;
    if (width != speedPartWidth) {
        speedPartWidth = width;
        LayoutStatusBarParts();
    }
    if (speedPartWidth != 0)
        statusBar.SetText(1, speedText.Text());
}

void MainWindow::LayoutStatusBarParts() {
    if (!statusBar.IsBound())
        return;
    RECT bar{};
    statusBar.GetClientRect(&bar);
    if (speedPartWidth == 0) {
        const int whole[1] = {-1};
        statusBar.SetParts(1, whole);
        return;
    }
    const int pathRight = bar.right - speedPartWidth;
    const int edges[2] = {pathRight > 0 ? pathRight : 0, -1};
    statusBar.SetParts(2, edges);
    // A status bar forgets the text of a part it loses; this one may just have come back.
    statusBar.SetText(1, speedText.Text());
}

int MainWindow::StatusBarTextWidth(const wchar_t* text) const {
    const int width = TextWidthIn(statusBar.Handle(), text);
    return width == 0 ? 0 : width + Px(kSpeedPartPadding);
}

int MainWindow::TextWidthIn(HWND control, const wchar_t* text) {
    WindowDC dc(control);
    if (!dc.IsSet())
        return 0;
    SelectObjectGuard font(dc.Get(),
                           reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    if (!::GetTextExtentPoint32W(dc.Get(), text, static_cast<int>(wcslen(text)), &size))
        return 0;
    return size.cx;
}
