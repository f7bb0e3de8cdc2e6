#pragma once

#include "app/WideString.h"
#include "toolkit/Handle.h"

#include <windows.h>

class HandOverRecord;

// The one window per user and desktop that takes the splits and joins of later launches.
//
// A named mutex of the user's session (its name holds the user's SID) guards the search for
// that window: a launch takes it, looks for a top-level window of its desktop that carries the
// property of the same name, and either hands its work over (after letting go of the mutex) or,
// finding none, keeps the mutex until its own window is made and marked. A launch that comes
// while the first window is still being made so waits for it rather than opening a second one.
// A window that ends takes its mark away before it stops taking work; a hand-over that fails in
// any way (no answer, a window that is ending, a refused record) leaves the work to the launch
// itself, in a window of its own: no file is ever lost.
class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance() { Unlock(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Waits for the mutex (a while at most). False when it could not be had: the launch works
    // alone then.
    bool Lock();
    void Unlock();
    // The marked window of this user on this desktop, or null.
    HWND FindRunning() const;
    // Marks the window as the one that takes work; only while locked.
    bool Publish(HWND window);
    // Takes the mark away again.
    void Withdraw(HWND window) const;
    // Sends the record and tells whether the window took it.
    static bool HandTo(HWND window, const HandOverRecord& record);

    // The name of the mutex and of the mark, built by Lock.
    const WideString& Name() const { return name; }

private:
    static BOOL CALLBACK FindMarked(HWND window, LPARAM parameter);

    WideString name;
    KernelHandle mutex;
    bool locked = false;
};
