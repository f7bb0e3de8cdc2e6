#include "toolkit/TickTimer.h"

TickTimer* TickTimer::running = nullptr;

bool TickTimer::Start(UINT milliseconds, Routine tickRoutine, void* tickContext) {
    Stop();
    id = ::SetTimer(nullptr, 0, milliseconds, Tick);
    if (id == 0)
        return false;
    routine = tickRoutine;
    context = tickContext;
    next = running;
    running = this;
    return true;
}

void TickTimer::Stop() {
    if (id == 0)
        return;
    ::KillTimer(nullptr, id);
    id = 0;
    for (TickTimer** link = &running; *link; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            break;
        }
    }
    next = nullptr;
}

void CALLBACK TickTimer::Tick(HWND, UINT, UINT_PTR tickId, DWORD) {
    // A tick already queued when its timer was stopped finds nobody.
    for (TickTimer* timer = running; timer; timer = timer->next) {
        if (timer->id == tickId) {
            timer->routine(timer->context);
            return;
        }
    }
}
