#pragma once

#include <windows.h>

#include <functional>

namespace testing_support {

// Runs this thread's message loop (GetMessageW, DispatchMessageW) until done() holds, or until
// timeoutMs have passed so that a broken test fails instead of hanging. Returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// Thread-timer ticks with a timer procedure (such as the completion dispatcher's) that PumpUntil
// has dispatched in this process so far.
int TimerTicksDispatched();
// True while PumpUntil is dispatching such a tick: a completion routine that runs outside one
// did not come through the timer.
bool InsideTimerTick();

} // namespace testing_support
