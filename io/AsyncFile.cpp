#include "io/AsyncFile.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/IoObserver.h"
#include "io/IoRequest.h"
#include "io/IoThread.h"
#include "toolkit/LastError.h"

AsyncFile::~AsyncFile() {
    if (IsOpen())
        Close();
    AbandonAll();
}

void AsyncFile::AbandonAll() {
    // The requests stay with the system; when they come back, whatever the outcome, only their
    // abandon routine sees them.
    while (IoRequest* request = pending) {
        request->onComplete = request->onAbandon;
        request->Unlink();
    }
}

bool AsyncFile::Open(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags) {
    if (IsOpen())
        return false;
    handle = ::CreateFileW(name, access, 0, nullptr, disposition, flags, nullptr);
    if (gIoObserver) {
        LastErrorKeeper keep;
        gIoObserver->OnOpen(name, access, disposition, flags, handle);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // A file the port does not take would never complete a read or write. A synchronous handle
    // (the one opened to cut a file to its length) never goes through the port, and some
    // systems (Wine) refuse to bind one.
    if (!gDispatcher.Associate(handle) && (flags & FILE_FLAG_OVERLAPPED)) {
        LastErrorKeeper keep;
        Close();
        return false;
    }
    return true;
}

bool AsyncFile::Close() {
    if (!IsOpen())
        return false;
    if (gIoObserver)
        gIoObserver->OnClose(handle);
    // A request may still wait in the I/O thread's queue: its call must reach this file, not
    // the next one to be given the handle's value.
    if (pending)
        gIoThread.WaitForQueuedCalls();
    bool ok = ::CloseHandle(handle) != 0;
    LastErrorKeeper keep;
    AbandonAll();
    handle = INVALID_HANDLE_VALUE;
    return ok;
}

uint64_t AsyncFile::GetSize() const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle, &size))
        return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool AsyncFile::SetSize(uint64_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle);
}

bool AsyncFile::CutTo(const wchar_t* name, DWORD access, uint64_t size) {
    LARGE_INTEGER now;
    if (::GetFileSizeEx(handle, &now) && static_cast<uint64_t>(now.QuadPart) == size)
        return Close();
    Close();
    // A plain handle: unbuffered writes end on a sector boundary, this one sets any length.
    if (!Open(name, access, OPEN_EXISTING, 0))
        return false;
    if (!SetSize(size)) {
        LastErrorKeeper keep;
        Close();
        return false;
    }
    return Close();
}

bool AsyncFile::Read(void* buffer, uint32_t length, IoRequest* request) {
    return Transfer(buffer, length, request, false);
}

bool AsyncFile::Write(void* buffer, uint32_t length, IoRequest* request) {
    return Transfer(buffer, length, request, true);
}

bool AsyncFile::Transfer(void* buffer, uint32_t length, IoRequest* request, bool write) {
    if (gIoObserver) {
        length = gIoObserver->IssuedLength(handle, request->Position(), length, write);
        gIoObserver->OnTransfer(handle, request->Position(), buffer, length, write);
    }
    request->Link(&pending);
    const bool queued = write ? gIoThread.QueueWrite(handle, buffer, length, request)
                              : gIoThread.QueueRead(handle, buffer, length, request);
    if (!queued) {
        LastErrorKeeper keep;
        request->Unlink();
        return false;
    }
    return true;
}
