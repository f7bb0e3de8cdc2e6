#pragma once

#include <windows.h>

#include <functional>

namespace testing_support {

// The WM_QUIT messages a pump took out of the queue: how many, and the last one's exit code.
struct QuitSeen {
    int count = 0;
    int exitCode = -1;
    bool Seen() const { return count > 0; }
};

// Runs this thread's message loop (GetMessageW, then IsDialogMessageW of `dialog` when one is
// given, else TranslateMessage and DispatchMessageW) until done() holds, or until timeoutMs have
// passed so that a broken test fails instead of hanging. Returns done(). A WM_QUIT ends the loop,
// unless `quits` is given: then it is counted there and the loop goes on.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000, HWND dialog = nullptr,
               QuitSeen* quits = nullptr);
// Runs that loop for ms milliseconds: what is queued now, and what it posts or brings meanwhile.
void PumpFor(DWORD ms, HWND dialog = nullptr, QuitSeen* quits = nullptr);
// Dispatches what is queued for this thread now (PeekMessageW), without waiting for more. A
// WM_QUIT found on the way is taken out and counted in `quits` when given.
void DispatchQueued(HWND dialog = nullptr, QuitSeen* quits = nullptr);

// Thread-timer ticks with a timer procedure (such as the completion dispatcher's) that PumpUntil
// has dispatched in this process so far.
int TimerTicksDispatched();
// True while PumpUntil is dispatching such a tick: a completion routine that runs outside one
// did not come through the timer.
bool InsideTimerTick();

} // namespace testing_support
