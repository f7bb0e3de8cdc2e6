#include "io/CompletionDispatcher.h"

#include "io/ComputePool.h"
#include "io/IoRequest.h"
#include "toolkit/LastError.h"
#include "toolkit/Microseconds.h"

CompletionDispatcher::~CompletionDispatcher() {
    // Closing the port under the waiting thread would leave it spinning on a dead handle until
    // the process ends.
    Stop();
    completionThread.Close();
    port.Close();
    uiThread.Close();
    KillTickTimer();
}

void CompletionDispatcher::KillTickTimer() {
    if (timerId != 0) {
        ::KillTimer(nullptr, timerId);
        timerId = 0;
    }
}

bool CompletionDispatcher::Start() {
    timerId = ::SetTimer(nullptr, 0, kTimerPeriod, TimerProc);
    if (timerId == 0)
        return false;

    uiThread.Reset(::OpenThread(THREAD_SET_CONTEXT, FALSE, ::GetCurrentThreadId()));
    if (!uiThread.IsSet()) {
        LastErrorKeeper keep;
        KillTickTimer();
        return false;
    }

    port.Reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0));
    if (!port.IsSet()) {
        LastErrorKeeper keep;
        uiThread.Close();
        KillTickTimer();
        return false;
    }

    completionThread.Reset(::CreateThread(nullptr, 0, CompletionThreadProc, this, 0, nullptr));
    if (!completionThread.IsSet()) {
        LastErrorKeeper keep;
        port.Close();
        uiThread.Close();
        KillTickTimer();
        return false;
    }
    return true;
}

bool CompletionDispatcher::Stop() {
    if (!port.IsSet())
        return false;
    // The stop packet queues behind every completion already on the port, so those are all
    // passed on before the thread sees it.
    ::PostQueuedCompletionStatus(port.Get(), 0, 0, nullptr);
    if (::WaitForSingleObject(completionThread.Get(), kStopWait) == WAIT_TIMEOUT)
        ::TerminateThread(completionThread.Get(), kForcedExitCode);
    completionThread.Close();
    port.Close();
    uiThread.Close();
    KillTickTimer();
    return true;
}

bool CompletionDispatcher::Associate(HANDLE file) {
    // Without a port the call would make a new one, bound to the file and read by nobody, and
    // the file could never be bound to ours.
    if (!port.IsSet()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ::CreateIoCompletionPort(file, port.Get(), kCompletionKey, 0) != nullptr;
}

DWORD WINAPI CompletionDispatcher::CompletionThreadProc(void* parameter) {
    auto* self = static_cast<CompletionDispatcher*>(parameter);
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok =
            ::GetQueuedCompletionStatus(self->port.Get(), &bytes, &key, &overlapped, INFINITE);
        if (overlapped && key == kJobKey) {
            ::QueueUserAPC(DeliverJobApc, self->uiThread.Get(),
                           reinterpret_cast<ULONG_PTR>(overlapped));
        } else if (overlapped) {
            // The OVERLAPPED is the first member of the request.
            auto* request = reinterpret_cast<IoRequest*>(overlapped);
            if (key & kCallEndedBit) {
                // The I/O thread's end of a call. Only a refusal that no packet of the system
                // has delivered yet is delivered from here; otherwise the request may be gone by
                // now and is not touched.
                DWORD refusal = static_cast<DWORD>(key & ~kCallEndedBit);
                if (!self->calls.OnCallEnded(bytes, refusal))
                    continue;
                request->error = refusal;
                request->transferred = 0;
            } else {
                // The call number is read before the request is handed on.
                self->calls.OnPacket(request->call);
                request->error = ok ? 0 : ::GetLastError();
                request->transferred = bytes;
            }
            ::QueueUserAPC(DeliverApc, self->uiThread.Get(), reinterpret_cast<ULONG_PTR>(request));
        } else if (ok) {
            return 0; // the stop packet
        } else if (::GetLastError() != WAIT_TIMEOUT) {
            return 1; // the port itself is gone: waiting again would fail at once, forever
        }
    }
}

void CALLBACK CompletionDispatcher::DeliverApc(ULONG_PTR parameter) {
    if (PutOff(DeliverApc, parameter))
        return;
    auto* request = reinterpret_cast<IoRequest*>(parameter);
    request->Unlink();
    // Read only now: closing the file may have swapped in the abandon routine meanwhile.
    IoRoutine routine = request->onComplete;
    if (routine)
        routine(request);
}

void CALLBACK CompletionDispatcher::DeliverJobApc(ULONG_PTR parameter) {
    if (PutOff(DeliverJobApc, parameter))
        return;
    // The OVERLAPPED is the first member of the job.
    auto* job = reinterpret_cast<ComputeJob*>(parameter);
    job->done(*job);
}

bool CompletionDispatcher::PutOff(PAPCFUNC routine, ULONG_PTR parameter) {
    if (runningPutOff)
        return false;
    if (inTick) {
        if (putOffCount == 0 && MicrosecondsNow() < tickEnds)
            return false;
        if (putOffCount < kMostPutOff) {
            putOff[(putOffFirst + putOffCount) % kMostPutOff] = Delivery{routine, parameter};
            ++putOffCount;
            return true;
        }
    }
    RunPutOff(UINT64_MAX);
    return false;
}

void CompletionDispatcher::RunPutOff(uint64_t until) {
    runningPutOff = true;
    while (putOffCount != 0 && MicrosecondsNow() < until) {
        const Delivery next = putOff[putOffFirst];
        putOffFirst = (putOffFirst + 1) % kMostPutOff;
        --putOffCount;
        next.routine(next.parameter);
    }
    runningPutOff = false;
}

int CompletionDispatcher::holdCount = 0;
CompletionDispatcher::Delivery CompletionDispatcher::putOff[kMostPutOff];
uint32_t CompletionDispatcher::putOffFirst = 0;
uint32_t CompletionDispatcher::putOffCount = 0;
bool CompletionDispatcher::inTick = false;
bool CompletionDispatcher::runningPutOff = false;
uint64_t CompletionDispatcher::tickEnds = 0;

void CompletionDispatcher::HoldDeliveries() {
    ++holdCount;
}

void CompletionDispatcher::ReleaseDeliveries() {
    // Nothing is run from here: the caller is still inside its handler. The next tick does it.
    if (holdCount > 0)
        --holdCount;
}

void CALLBACK CompletionDispatcher::TimerProc(HWND, UINT, UINT_PTR, DWORD) {
    // A tick inside a delivery (a loop of its own that dispatches) waits for the outer one.
    if (holdCount > 0 || inTick)
        return;
    inTick = true;
    tickEnds = MicrosecondsNow() + kTickBudgetUs;
    RunPutOff(tickEnds);
    // Never satisfied; its only effect is that every APC queued to this thread runs now, or is
    // put off behind those still waiting.
    if (putOffCount == 0)
        ::WaitForSingleObjectEx(::GetCurrentThread(), 0, TRUE);
    inTick = false;
}
