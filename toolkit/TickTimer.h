#pragma once

#include <windows.h>

// A timer of the calling thread that calls a routine with its context at each tick, until it is
// stopped or destroyed. A thread timer carries nothing but its id, so the running ones are kept in
// a list to find the context by. User-interface thread only.
class TickTimer {
public:
    using Routine = void (*)(void* context);

    TickTimer() = default;
    ~TickTimer() { Stop(); }
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    // Starts over when it runs already; false with SetTimer's error.
    bool Start(UINT milliseconds, Routine routine, void* context);
    void Stop();
    bool IsRunning() const { return id != 0; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);

    static TickTimer* running;
    TickTimer* next = nullptr;
    UINT_PTR id = 0;
    Routine routine = nullptr;
    void* context = nullptr;
};
