#include "io/IoThread.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/IoRequest.h"
#include "toolkit/LastError.h"

#include <new>

namespace {

// Numbers the calls; touched by the I/O thread only. 0 means "no call" and is skipped.
uint32_t callCount = 0;

uint32_t NextCall() {
    if (++callCount == 0)
        ++callCount;
    return callCount;
}

// What the thread waits on and posts to: its own duplicates, which stay valid until it has
// ended whatever the other threads close meanwhile (Stop closes its event handle even when the
// thread is still in a call; the dispatcher stops and closes its port first at shut-down). The
// thread closes them when it ends.
struct ThreadHandles {
    HANDLE stopEvent;
    HANDLE port;
    HANDLE uiThread;
};

HANDLE Duplicate(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

void CloseThreadHandles(ThreadHandles* own) {
    if (own->uiThread)
        ::CloseHandle(own->uiThread);
    if (own->port)
        ::CloseHandle(own->port);
    if (own->stopEvent)
        ::CloseHandle(own->stopEvent);
    delete own;
}

// Once the call has returned the request may already be back on the user-interface thread (its
// packet can arrive before the call returns), so it is not touched again here. The end of the
// call goes to the completion thread through the port, behind any packet the call produced:
// a call the system refused at once is delivered from there unless the system posted a packet
// for it during the call (Wine does for some refusals, Windows never).
//
// When the end can't be posted (the dispatcher was never started, or the system is out of
// resources) a refused call would never be delivered, and its operation would wait for it for
// ever. No packet of the system ever comes for such a call on Windows, so the request is still
// this thread's: it is queued straight to the thread that issued it, with its error.
void FinishCall(BOOL ok, IoRequest* request, uint32_t call, const IoCommand& command) {
    DWORD refusal = 0;
    if (!ok) {
        refusal = ::GetLastError();
        if (refusal == ERROR_IO_PENDING)
            refusal = 0;
    }
    const ULONG_PTR key =
        CompletionDispatcher::kCallEndedBit | (refusal & ~CompletionDispatcher::kCallEndedBit);
    if (command.port && ::PostQueuedCompletionStatus(command.port, call, key, &request->overlapped))
        return;
    if (refusal == 0 || !command.uiThread)
        return;
    request->error = refusal;
    request->transferred = 0;
    ::QueueUserAPC(CompletionDispatcher::DeliverApc, command.uiThread,
                   reinterpret_cast<ULONG_PTR>(request));
}

// What the waiting thread and the I/O thread share for one wait: the last of the two to be done
// with it frees it, so a wait that gave up never leaves the other with a dead event.
struct Barrier {
    HANDLE reached;
    LONG users;
};

void LeaveBarrier(Barrier* barrier) {
    if (::InterlockedDecrement(&barrier->users) != 0)
        return;
    ::CloseHandle(barrier->reached);
    delete barrier;
}

} // namespace

bool IoThread::Start() {
    stopEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stopEvent.IsSet())
        return false;
    auto* own = new (std::nothrow) ThreadHandles{};
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    if (own) {
        own->stopEvent = Duplicate(stopEvent.Get());
        own->uiThread = ::OpenThread(THREAD_SET_CONTEXT, FALSE, ::GetCurrentThreadId());
        if (own->stopEvent && gDispatcher.IsStarted())
            own->port = Duplicate(gDispatcher.Port());
        if (own->stopEvent && own->uiThread && (own->port || !gDispatcher.IsStarted()))
            thread.Reset(::CreateThread(nullptr, 0, IoThreadProc, own, 0, nullptr));
        error = ::GetLastError();
    }
    if (!thread.IsSet()) {
        if (own)
            CloseThreadHandles(own);
        stopEvent.Close();
        ::SetLastError(error);
        return false;
    }
    threadPort = own->port;
    threadUi = own->uiThread;
    return true;
}

bool IoThread::Stop() {
    if (stopEvent.IsSet())
        ::SetEvent(stopEvent.Get());
    // A thread stuck in a call is left to the end of the process rather than killed in it.
    if (thread.IsSet())
        ::WaitForSingleObject(thread.Get(), kStopWait);
    stopEvent.Close();
    thread.Close();
    threadPort = nullptr;
    threadUi = nullptr;
    return true;
}

bool IoThread::QueueRead(HANDLE file, void* buffer, uint32_t length, IoRequest* request) {
    return Queue(ReadApc, file, buffer, length, request);
}

bool IoThread::QueueWrite(HANDLE file, void* buffer, uint32_t length, IoRequest* request) {
    return Queue(WriteApc, file, buffer, length, request);
}

bool IoThread::Queue(PAPCFUNC routine, HANDLE file, void* buffer, uint32_t length,
                     IoRequest* request) {
    auto* command =
        new (std::nothrow) IoCommand{file, buffer, length, request, threadPort, threadUi};
    if (!command) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!::QueueUserAPC(routine, thread.Get(), reinterpret_cast<ULONG_PTR>(command))) {
        LastErrorKeeper keep;
        delete command;
        return false;
    }
    return true;
}

DWORD WINAPI IoThread::IoThreadProc(void* parameter) {
    auto* own = static_cast<ThreadHandles*>(parameter);
    while (::WaitForSingleObjectEx(own->stopEvent, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    // No command runs after this: APCs still queued to an ending thread are discarded.
    CloseThreadHandles(own);
    return 0;
}

void CALLBACK IoThread::ReadApc(ULONG_PTR parameter) {
    Issue(reinterpret_cast<IoCommand*>(parameter), false);
}

void CALLBACK IoThread::WriteApc(ULONG_PTR parameter) {
    Issue(reinterpret_cast<IoCommand*>(parameter), true);
}

bool IoThread::WaitForQueuedCalls() const {
    if (!thread.IsSet() || ::GetThreadId(thread.Get()) == ::GetCurrentThreadId())
        return true;
    auto* barrier = new (std::nothrow) Barrier{::CreateEventW(nullptr, TRUE, FALSE, nullptr), 2};
    if (!barrier)
        return false;
    if (!barrier->reached) {
        delete barrier;
        return false;
    }
    // Calls run in the order queued: when this one runs, every call before it has been made.
    if (!::QueueUserAPC(BarrierApc, thread.Get(), reinterpret_cast<ULONG_PTR>(barrier))) {
        ::CloseHandle(barrier->reached);
        delete barrier;
        return false;
    }
    const bool reached = ::WaitForSingleObject(barrier->reached, kCallsWait) == WAIT_OBJECT_0;
    LeaveBarrier(barrier);
    return reached;
}

void CALLBACK IoThread::BarrierApc(ULONG_PTR parameter) {
    auto* barrier = reinterpret_cast<Barrier*>(parameter);
    ::SetEvent(barrier->reached);
    LeaveBarrier(barrier);
}

void IoThread::Issue(IoCommand* command, bool write) {
    IoRequest* request = command->request;
    uint32_t call = request->call = NextCall();
    DWORD bytes = 0;
    BOOL ok = write ? ::WriteFile(command->file, command->buffer, command->length, &bytes,
                                  &request->overlapped)
                    : ::ReadFile(command->file, command->buffer, command->length, &bytes,
                                 &request->overlapped);
    FinishCall(ok, request, call, *command);
    delete command;
}
