#include "io/IoThread.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/IoRequest.h"

#include <new>

namespace {

// Numbers the calls; touched by the I/O thread only. 0 means "no call" and is skipped.
uint32_t callCount = 0;

uint32_t NextCall() {
    if (++callCount == 0)
        ++callCount;
    return callCount;
}

// Once the call has returned the request may already be back on the user-interface thread (its
// packet can arrive before the call returns), so it is not touched again here. The end of the
// call goes to the completion thread through the port, behind any packet the call produced:
// a call the system refused at once is delivered from there unless the system posted a packet
// for it after all (Wine does, Windows does not).
void FinishCall(BOOL ok, IoRequest* request, uint32_t call) {
    DWORD refusal = 0;
    if (!ok) {
        refusal = GetLastError();
        if (refusal == ERROR_IO_PENDING)
            refusal = 0;
    }
    if (gDispatcher.EndCall(request, call, refusal) || refusal == 0)
        return;
    // Without the port the refusal is handed back directly.
    request->error = refusal;
    request->transferred = 0;
    gDispatcher.DeliverToUi(request);
}

} // namespace

bool IoThread::Start() {
    stopEvent_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stopEvent_.IsSet())
        return false;
    thread_.Reset(CreateThread(nullptr, 0, IoThreadProc, this, 0, nullptr));
    if (!thread_.IsSet()) {
        DWORD error = GetLastError();
        stopEvent_.Close();
        SetLastError(error);
        return false;
    }
    return true;
}

bool IoThread::Stop() {
    if (stopEvent_.IsSet())
        SetEvent(stopEvent_.Get());
    // A thread stuck in a call is left to the end of the process rather than killed in it.
    if (thread_.IsSet())
        WaitForSingleObject(thread_.Get(), kStopWait);
    stopEvent_.Close();
    thread_.Close();
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
    auto* command = new (std::nothrow) IoCommand{file, buffer, length, request};
    if (!command) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!QueueUserAPC(routine, thread_.Get(), reinterpret_cast<ULONG_PTR>(command))) {
        DWORD error = GetLastError();
        delete command;
        SetLastError(error);
        return false;
    }
    return true;
}

DWORD WINAPI IoThread::IoThreadProc(void* parameter) {
    auto* self = static_cast<IoThread*>(parameter);
    while (WaitForSingleObjectEx(self->stopEvent_.Get(), INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    return 0;
}

void CALLBACK IoThread::ReadApc(ULONG_PTR parameter) {
    Issue(reinterpret_cast<IoCommand*>(parameter), false);
}

void CALLBACK IoThread::WriteApc(ULONG_PTR parameter) {
    Issue(reinterpret_cast<IoCommand*>(parameter), true);
}

void IoThread::Issue(IoCommand* command, bool write) {
    IoRequest* request = command->request;
    uint32_t call = request->call = NextCall();
    DWORD bytes = 0;
    BOOL ok = write ? WriteFile(command->file, command->buffer, command->length, &bytes,
                                &request->overlapped)
                    : ReadFile(command->file, command->buffer, command->length, &bytes,
                               &request->overlapped);
    delete command;
    FinishCall(ok, request, call);
}
