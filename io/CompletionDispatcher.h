#pragma once

#include "io/CallPairing.h"
#include "toolkit/Handle.h"

#include <windows.h>

#include <cstdint>

struct IoRequest;

// Brings the outcome of every overlapped read and write back to the user-interface thread. A
// completion thread waits on the port and queues each finished request to the user-interface
// thread as an APC; a 10 ms thread timer there is the one place that thread waits alertably,
// so the routines run in batches between window messages and never inside another handler.
class CompletionDispatcher {
public:
    static constexpr ULONG_PTR kCompletionKey = 55;
    static constexpr UINT kTimerPeriod = 10;
    static constexpr DWORD kStopWait = 1500;
    static constexpr DWORD kForcedExitCode = 55;
    // Key bit of the packet the I/O thread posts after each call it makes, with the call's number
    // as the byte count; the other bits carry the error of a call the system refused at once,
    // 0 otherwise.
    static constexpr ULONG_PTR kCallEndedBit = 0x80000000u;
    // Key of the packet that brings back a ComputeJob whose every lane is done.
    static constexpr ULONG_PTR kJobKey = 56;
    // A tick delivers for at most this long; what comes after waits, in order, for the next
    // tick. On a machine whose every core is busy each delivery may take milliseconds, and a
    // tick that ran them all would keep the window from answering.
    static constexpr uint64_t kTickBudgetUs = 10000;
    // Past this many deliveries put off, they all run at once rather than lose their order.
    static constexpr uint32_t kMostPutOff = 1024;

    CompletionDispatcher() = default;
    // Stops a dispatcher that is still started (a start-up that failed after Start): its thread
    // must end before the port it waits on is closed.
    ~CompletionDispatcher();
    CompletionDispatcher(const CompletionDispatcher&) = delete;
    CompletionDispatcher& operator=(const CompletionDispatcher&) = delete;

    // Binds the calling thread as the one every completion is delivered to.
    bool Start();
    // False when not started. Completions already on the port are passed on before the thread
    // ends; one that does not end within 1500 ms is terminated.
    bool Stop();
    // Binds a file opened for overlapped I/O to the port.
    bool Associate(HANDLE file);
    // Holding back completions while the user-interface thread runs a modal loop of its own
    // windows (a message box, a modal dialog, a popup menu). The timer keeps ticking in such a
    // loop, and a routine run from there would act under a handler that has not returned yet:
    // an operation could end, or fail, behind an open question. While held, the tick skips its
    // alertable wait, so the calls stay queued to the thread, in order; they run at the first
    // tick that the thread's own message loop dispatches after the last hold is let go. The
    // hold belongs to the calling thread's timer, so it is one for every dispatcher; holds
    // nest. User-interface thread only.
    static void HoldDeliveries();
    static void ReleaseDeliveries();
    static bool DeliveriesHeld() { return holdCount > 0; }

    // Holds completions back for the life of the object.
    class DeliveryHold {
    public:
        DeliveryHold() { HoldDeliveries(); }
        ~DeliveryHold() { ReleaseDeliveries(); }
        DeliveryHold(const DeliveryHold&) = delete;
        DeliveryHold& operator=(const DeliveryHold&) = delete;
    };

    // Runs the request's routine on the thread it was queued to (an APC routine). The I/O thread
    // queues a refused call here itself when it cannot post the call's end.
    static void CALLBACK DeliverApc(ULONG_PTR parameter);
    // Runs a finished ComputeJob's done routine on the thread it was queued to.
    static void CALLBACK DeliverJobApc(ULONG_PTR parameter);

    bool IsStarted() const { return port.IsSet(); }
    HANDLE Port() const { return port.Get(); }
    HANDLE CompletionThread() const { return completionThread.Get(); }
    UINT_PTR TimerId() const { return timerId; }

private:
    static DWORD WINAPI CompletionThreadProc(void* parameter);
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);
    void KillTickTimer();
    // True when the delivery was put off to the next tick. Outside a tick (a wait of the thread's
    // own), what was put off runs first, so that deliveries keep their order.
    static bool PutOff(PAPCFUNC routine, ULONG_PTR parameter);
    static void RunPutOff(uint64_t until);

    static int holdCount;
    struct Delivery {
        PAPCFUNC routine;
        ULONG_PTR parameter;
    };
    // User-interface thread only, as the APCs are.
    static Delivery putOff[kMostPutOff];
    static uint32_t putOffFirst;
    static uint32_t putOffCount;
    static bool inTick;
    static bool runningPutOff;
    static uint64_t tickEnds; // microseconds

    CallPairing calls; // touched by the completion thread only
    KernelHandle completionThread;
    KernelHandle port;
    KernelHandle uiThread; // THREAD_SET_CONTEXT handle: the target of the APCs
    UINT_PTR timerId = 0;
};
