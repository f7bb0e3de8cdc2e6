#include "app/ConsoleDisplay.h"

#include "ops/CheckVerdict.h"
#include "ops/Commands.h"
#include "ops/Operation.h"
#include "ui/SpeedText.h"

#include <atomic>
#include <cwchar>

namespace {

constexpr wchar_t kWindowClass[] = L"BrindlecotConsole";
// Posted by the console's control handler, which runs on a thread of its own.
constexpr UINT WM_CANCEL_ASKED = WM_APP + 1;
constexpr UINT_PTR kProgressTimer = 1;
// Twice a second, as the window's speed text.
constexpr UINT kProgressIntervalMs = 500;

// The window the control handler posts to: there is one console per process.
std::atomic<HWND> gCancelTarget{nullptr};

uint64_t Now() {
    return ::GetTickCount64();
}

} // namespace

ConsoleDisplay::ConsoleDisplay(ConsoleStream& resultStream, ConsoleStream& progressStream)
    : results(resultStream), progress(progressStream) {}

ConsoleDisplay::~ConsoleDisplay() {
    if (gCancelTarget.load() == window)
        gCancelTarget.store(nullptr);
    if (window)
        ::DestroyWindow(window);
}

bool ConsoleDisplay::Create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, this);
    return window != nullptr;
}

bool ConsoleDisplay::CatchCtrlC() {
    gCancelTarget.store(window);
    return ::SetConsoleCtrlHandler(CtrlHandler, TRUE) != FALSE;
}

BOOL WINAPI ConsoleDisplay::CtrlHandler(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // Another thread: the operation is the window thread's alone, so the thread is only told.
    const HWND target = gCancelTarget.load();
    return target != nullptr && ::PostMessageW(target, WM_CANCEL_ASKED, 0, 0);
}

LRESULT CALLBACK ConsoleDisplay::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ConsoleDisplay*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        switch (message) {
        case WM_OPERATION_ENDED:
            // The state tells the end: this message may still be queued when the next file's
            // operation has begun.
            return 0;
        case WM_CANCEL_ASKED:
            self->cancelAsked = true;
            return 0;
        case WM_TIMER:
            if (wParam == kProgressTimer) {
                self->OnTimer();
                return 0;
            }
            break;
        default:
            break;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void ConsoleDisplay::SetWork(uint64_t size, uint32_t count, const OperationChoices& workChoices) {
    partSize = size;
    partCount = count;
    choices = workChoices;
}

void ConsoleDisplay::Follow(const Operation& followed) {
    operation = &followed;
    running = false;
    lastTenth = -1;
    status.Assign(L"", 0);
    statusBar.Assign(L"", 0);
    verdictLines.Assign(L"", 0);
    ::SetTimer(window, kProgressTimer, kProgressIntervalMs, nullptr);
}

bool ConsoleDisplay::Ended() const {
    const OperationState state = operation->State();
    // A failure is over once what was in flight is back: the window's user reads the error
    // meanwhile.
    return state == OperationState::Done ||
           (state == OperationState::Failed && operation->Settled());
}

void ConsoleDisplay::OnTimer() {
    // Nobody pauses here: the operation runs from its start to its end.
    if (!operation || operation->State() != OperationState::Running) {
        running = false;
        return;
    }
    if (!running) {
        meter.Start(Now(), operation->DoneSize());
        running = true;
    }
    meter.Sample(Now(), operation->DoneSize());
    WriteProgress(static_cast<int>(operation->Progress()));
}

void ConsoleDisplay::WriteProgress(int percent) {
    // Off a console the lines stay, to be read later: one at each whole tenth is enough.
    const int tenth = percent / 10;
    if (!progress.IsConsole() && tenth == lastTenth)
        return;
    lastTenth = tenth;
    double rate = 0;
    WideString speed;
    if (meter.Rate(rate)) {
        const uint64_t done = operation->DoneSize();
        const uint64_t total = operation->TotalSize();
        FormatRunningText(rate, total > done ? total - done : 0, speed);
    }
    WideString line;
    line.Format(L"%s %d %%%s%s", operation->Name().Text(),
                progress.IsConsole() ? percent : tenth * 10, speed.Length() != 0 ? L", " : L"",
                speed.Text());
    if (!progress.IsConsole()) {
        line.AppendFormat(L"\n");
        progress.Write(line.Text());
        return;
    }
    // Rewritten in place: what a longer line before left is blanked out.
    const uint32_t length = line.Length();
    for (uint32_t i = length; i < shownLength; ++i)
        line.AppendFormat(L" ");
    progress.Write(L"\r");
    progress.Write(line.Text());
    shownLength = length;
}

void ConsoleDisplay::ClearProgressLine() {
    ::KillTimer(window, kProgressTimer);
    if (!progress.IsConsole() || shownLength == 0)
        return;
    WideString blank;
    blank.Format(L"\r%*s\r", static_cast<int>(shownLength), L"");
    progress.Write(blank.Text());
    shownLength = 0;
}

void ConsoleDisplay::PrintResult(OperationOutcome outcome) {
    ClearProgressLine();
    if (outcome == OperationOutcome::Cancelled && cancelAsked) {
        results.Print(L"Processing %s cancelled.\n", operation->Name().Text());
        return;
    }
    results.Print(L"%s\n", status.Text());
    // The system's texts end in a line break of their own.
    uint32_t length = statusBar.Length();
    while (length != 0 &&
           (statusBar.Text()[length - 1] == L'\r' || statusBar.Text()[length - 1] == L'\n'))
        --length;
    WideString detail;
    detail.Assign(statusBar.Text(), length);
    // The path alone says nothing the status has not: only other texts follow it.
    if (length != 0 && ::lstrcmpW(detail.Text(), operation->Path().Text()) != 0)
        results.Print(L"%s\n", detail.Text());
    if (verdictLines.Length() != 0)
        results.Write(verdictLines.Text());
}

void ConsoleDisplay::ShowVerdict(const CheckVerdict& verdict, const wchar_t* wholeName) {
    // The report without its first line, the summary, which the status already is.
    WideString report;
    verdict.Report(wholeName, report, L"\n");
    const wchar_t* lines = std::wcschr(report.Text(), L'\n');
    lines = lines ? lines + 1 : L"";
    verdictLines.Format(L"%s", lines);
}

void ConsoleDisplay::SetStatusV(const wchar_t* format, va_list args) {
    status.FormatV(format, args);
}

void ConsoleDisplay::SetStatusBar(const wchar_t* text) {
    statusBar.Assign(text, static_cast<uint32_t>(::lstrlenW(text)));
}

void ConsoleDisplay::SetStatusBarV(const wchar_t* format, va_list args) {
    statusBar.FormatV(format, args);
}
