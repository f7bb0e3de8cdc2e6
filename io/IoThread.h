#pragma once

#include "toolkit/Handle.h"

#include <windows.h>

#include <cstdint>

struct IoRequest;

// One read or write handed to the I/O thread; allocated by the user-interface thread, freed by
// the I/O thread right after the call.
struct IoCommand {
    HANDLE file;
    void* buffer;
    uint32_t length;
    IoRequest* request; // its overlapped carries the position
    HANDLE port;        // the I/O thread's own handle to the completion port, or null
    HANDLE uiThread;    // its own handle to the thread that queued the call, or null
};

// The thread that makes every ReadFile and WriteFile call, so that the user-interface thread
// never waits in one. Calls run in the order queued. After each call the thread posts its end to
// the completion port, with the error of a call the system refused at once; the dispatcher pairs
// it with the system's packet, so the thread never touches a request once its call returned. A
// refused call whose end cannot be posted is queued straight back to the thread that issued it.
class IoThread {
public:
    static constexpr DWORD kStopWait = 1500;
    static constexpr DWORD kCallsWait = 10000;

    IoThread() = default;
    // Closes what is still open; the thread is not signalled (the process is ending).
    ~IoThread() = default;
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    bool Start();
    // Waits up to 1500 ms for the thread, never terminates it, and closes the handles. Always true.
    bool Stop();
    // True when the call is queued; false with ERROR_NOT_ENOUGH_MEMORY or QueueUserAPC's error.
    bool QueueRead(HANDLE file, void* buffer, uint32_t length, IoRequest* request);
    bool QueueWrite(HANDLE file, void* buffer, uint32_t length, IoRequest* request);

    // Returns once the thread has made every call queued before this one, so that a file may be
    // closed: a call made after its handle was closed would go to whatever file was given the
    // same handle value next. False when the thread did not get there within kCallsWait.
    bool WaitForQueuedCalls() const;

    bool IsStarted() const { return thread.IsSet(); }
    HANDLE Thread() const { return thread.Get(); }

private:
    static DWORD WINAPI IoThreadProc(void* parameter);
    static void CALLBACK ReadApc(ULONG_PTR parameter);
    static void CALLBACK WriteApc(ULONG_PTR parameter);
    static void CALLBACK BarrierApc(ULONG_PTR parameter);
    // Makes the call on the I/O thread and frees the command.
    static void Issue(IoCommand* command, bool write);
    bool Queue(PAPCFUNC routine, HANDLE file, void* buffer, uint32_t length, IoRequest* request);

    KernelHandle stopEvent; // auto-reset; set to end the thread
    KernelHandle thread;
    // The thread's own handles to the completion port and to the thread that started it, put
    // into each command; the thread owns and closes them. The port is null when the dispatcher
    // was not started.
    HANDLE threadPort = nullptr;
    HANDLE threadUi = nullptr;
};
