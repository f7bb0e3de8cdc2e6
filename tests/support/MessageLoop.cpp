#include "support/MessageLoop.h"

namespace testing_support {

namespace {

int ticksDispatched = 0;
bool insideTick = false;

void Dispatch(MSG& msg, HWND dialog) {
    if (dialog != nullptr && ::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg))
        return;
    const bool tick = msg.message == WM_TIMER && msg.hwnd == nullptr && msg.lParam != 0;
    if (tick) {
        ++ticksDispatched;
        insideTick = true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    insideTick = false;
}

void Count(QuitSeen* quits, const MSG& msg) {
    if (quits != nullptr) {
        ++quits->count;
        quits->exitCode = static_cast<int>(msg.wParam);
    }
}

} // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HWND dialog, QuitSeen* quits) {
    // A guard timer of our own wakes GetMessageW even when nothing else is ticking.
    const UINT_PTR guard = ::SetTimer(nullptr, 0, 10, nullptr);
    const DWORD start = ::GetTickCount();
    bool finished = done();
    while (!finished && ::GetTickCount() - start < timeoutMs) {
        MSG msg;
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            if (quits == nullptr)
                break;
            Count(quits, msg);
        } else {
            Dispatch(msg, dialog);
        }
        finished = done();
    }
    ::KillTimer(nullptr, guard);
    return finished;
}

void PumpFor(DWORD ms, HWND dialog, QuitSeen* quits) {
    const DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start >= ms; }, ms + 1000, dialog, quits);
}

void DispatchQueued(HWND dialog, QuitSeen* quits) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            Count(quits, msg);
        else
            Dispatch(msg, dialog);
    }
}

int TimerTicksDispatched() {
    return ticksDispatched;
}

bool InsideTimerTick() {
    return insideTick;
}

} // namespace testing_support
