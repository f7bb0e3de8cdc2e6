#include "support/MessageLoop.h"

namespace testing_support {

namespace {
int ticksDispatched = 0;
bool insideTick = false;
} // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    // A guard timer of our own wakes GetMessageW even when nothing else is ticking.
    UINT_PTR guard = SetTimer(nullptr, 0, 20, nullptr);
    DWORD start = GetTickCount();
    bool finished = done();
    while (!finished && GetTickCount() - start < timeoutMs) {
        MSG msg;
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            break;
        bool tick = msg.message == WM_TIMER && msg.hwnd == nullptr && msg.lParam != 0;
        if (tick) {
            ++ticksDispatched;
            insideTick = true;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        insideTick = false;
        finished = done();
    }
    KillTimer(nullptr, guard);
    return finished;
}

int TimerTicksDispatched() {
    return ticksDispatched;
}

bool InsideTimerTick() {
    return insideTick;
}

} // namespace testing_support
