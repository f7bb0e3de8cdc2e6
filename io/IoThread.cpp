#include "io/IoThread.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/IoRequest.h"

#include <new>

namespace {

// A call that the system refused at once posts no packet: hand the request back directly, as
// a failed completion would arrive.
void FinishCall(BOOL ok, IoCommand* command) {
    if (!ok) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            command->request->error = error;
            command->request->transferred = 0;
            gDispatcher.DeliverToUi(command->request);
        }
    }
    delete command;
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
    auto* command = reinterpret_cast<IoCommand*>(parameter);
    DWORD bytes = 0;
    BOOL ok = ReadFile(command->file, command->buffer, command->length, &bytes,
                       &command->request->overlapped);
    FinishCall(ok, command);
}

void CALLBACK IoThread::WriteApc(ULONG_PTR parameter) {
    auto* command = reinterpret_cast<IoCommand*>(parameter);
    DWORD bytes = 0;
    BOOL ok = WriteFile(command->file, command->buffer, command->length, &bytes,
                        &command->request->overlapped);
    FinishCall(ok, command);
}
