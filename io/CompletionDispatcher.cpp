#include "io/CompletionDispatcher.h"

#include "io/IoRequest.h"

CompletionDispatcher::~CompletionDispatcher() {
    completionThread_.Close();
    port_.Close();
    uiThread_.Close();
    KillTickTimer();
}

void CompletionDispatcher::KillTickTimer() {
    if (timerId_ != 0) {
        KillTimer(nullptr, timerId_);
        timerId_ = 0;
    }
}

bool CompletionDispatcher::Start() {
    timerId_ = SetTimer(nullptr, 0, kTimerPeriod, TimerProc);
    if (timerId_ == 0)
        return false;

    uiThread_.Reset(OpenThread(THREAD_SET_CONTEXT, FALSE, GetCurrentThreadId()));
    if (!uiThread_.IsSet()) {
        DWORD error = GetLastError();
        KillTickTimer();
        SetLastError(error);
        return false;
    }

    port_.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0));
    if (!port_.IsSet()) {
        DWORD error = GetLastError();
        uiThread_.Close();
        KillTickTimer();
        SetLastError(error);
        return false;
    }

    completionThread_.Reset(CreateThread(nullptr, 0, CompletionThreadProc, this, 0, nullptr));
    if (!completionThread_.IsSet()) {
        DWORD error = GetLastError();
        port_.Close();
        uiThread_.Close();
        KillTickTimer();
        SetLastError(error);
        return false;
    }
    return true;
}

bool CompletionDispatcher::Stop() {
    if (!port_.IsSet())
        return false;
    // The stop packet queues behind every completion already on the port, so those are all
    // passed on before the thread sees it.
    PostQueuedCompletionStatus(port_.Get(), 0, 0, nullptr);
    if (WaitForSingleObject(completionThread_.Get(), kStopWait) == WAIT_TIMEOUT)
        TerminateThread(completionThread_.Get(), kForcedExitCode);
    completionThread_.Close();
    port_.Close();
    uiThread_.Close();
    KillTickTimer();
    return true;
}

bool CompletionDispatcher::Associate(HANDLE file) {
    // Without a port the call would make a new one, bound to the file and read by nobody, and
    // the file could never be bound to ours.
    if (!port_.IsSet()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return CreateIoCompletionPort(file, port_.Get(), kCompletionKey, 0) != nullptr;
}

bool CompletionDispatcher::DeliverToUi(IoRequest* request) {
    return QueueUserAPC(CompletionApc, uiThread_.Get(), reinterpret_cast<ULONG_PTR>(request)) != 0;
}

bool CompletionDispatcher::EndCall(IoRequest* request, uint32_t call, DWORD refusal) {
    ULONG_PTR key = kCallEndedBit | (refusal & ~kCallEndedBit);
    return port_.IsSet() &&
           PostQueuedCompletionStatus(port_.Get(), call, key, &request->overlapped) != 0;
}

bool CompletionDispatcher::CallTable::TakeOrPut(const IoRequest* request, uint32_t call) {
    int empty = -1;
    for (int i = 0; i < kSize; ++i) {
        if (entries_[i].request == request && entries_[i].call == call) {
            entries_[i] = Entry{};
            return true;
        }
        if (empty < 0 && entries_[i].request == nullptr)
            empty = i;
    }
    if (empty < 0) {
        empty = nextVictim_;
        nextVictim_ = (nextVictim_ + 1) % kSize;
    }
    entries_[empty] = Entry{request, call};
    return false;
}

DWORD WINAPI CompletionDispatcher::CompletionThreadProc(void* parameter) {
    auto* self = static_cast<CompletionDispatcher*>(parameter);
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(self->port_.Get(), &bytes, &key, &overlapped, INFINITE);
        if (overlapped) {
            // The OVERLAPPED is the first member of the request.
            auto* request = reinterpret_cast<IoRequest*>(overlapped);
            if (key & kCallEndedBit) {
                // The I/O thread's end of a call. When the system's packet for that call has
                // come already, the call is done with; the request may be gone by now and is
                // not touched. A refused call without such a packet is delivered from here.
                DWORD refusal = static_cast<DWORD>(key & ~kCallEndedBit);
                if (self->calls_.TakeOrPut(request, bytes) || refusal == 0)
                    continue;
                request->error = refusal;
                request->transferred = 0;
            } else {
                request->error = ok ? 0 : GetLastError();
                request->transferred = bytes;
                // Packets of calls the I/O thread made are matched with its end of call;
                // others (posted by hand) have no call number.
                if (request->call != 0)
                    self->calls_.TakeOrPut(request, request->call);
            }
            QueueUserAPC(CompletionApc, self->uiThread_.Get(),
                         reinterpret_cast<ULONG_PTR>(request));
        } else if (ok) {
            return 0; // the stop packet
        }
    }
}

void CALLBACK CompletionDispatcher::CompletionApc(ULONG_PTR parameter) {
    auto* request = reinterpret_cast<IoRequest*>(parameter);
    request->Unlink();
    // Read only now: closing the file may have swapped in the abandon routine meanwhile.
    IoRoutine routine = request->onComplete;
    if (routine)
        routine(request);
}

int CompletionDispatcher::holdCount_ = 0;

void CompletionDispatcher::HoldDeliveries() {
    ++holdCount_;
}

void CompletionDispatcher::ReleaseDeliveries() {
    // Nothing is run from here: the caller is still inside its handler. The next tick does it.
    if (holdCount_ > 0)
        --holdCount_;
}

void CALLBACK CompletionDispatcher::TimerProc(HWND, UINT, UINT_PTR, DWORD) {
    if (holdCount_ > 0)
        return;
    // Never satisfied; its only effect is that every APC queued to this thread runs now.
    WaitForSingleObjectEx(GetCurrentThread(), 0, TRUE);
}
