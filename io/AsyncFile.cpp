#include "io/AsyncFile.h"

#include "app/Globals.h"
#include "io/CompletionDispatcher.h"
#include "io/IoObserver.h"
#include "io/IoRequest.h"
#include "io/IoThread.h"

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
        DWORD error = ::GetLastError();
        gIoObserver->OnOpen(name, access, disposition, flags, handle);
        ::SetLastError(error);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // A file the port does not take would never complete a read or write. A synchronous handle
    // (the one opened to cut a file to its length) never goes through the port, and some
    // systems (Wine) refuse to bind one.
    if (!gDispatcher.Associate(handle) && (flags & FILE_FLAG_OVERLAPPED)) {
        DWORD error = ::GetLastError();
        Close();
        ::SetLastError(error);
        return false;
    }
    return true;
}

bool AsyncFile::Close() {
    if (!IsOpen())
        return false;
    if (gIoObserver)
        gIoObserver->OnClose(handle);
    bool ok = ::CloseHandle(handle) != 0;
    DWORD error = ::GetLastError();
    AbandonAll();
    handle = INVALID_HANDLE_VALUE;
    ::SetLastError(error);
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

bool AsyncFile::Read(void* buffer, uint32_t length, IoRequest* request) {
    if (gIoObserver) {
        length = gIoObserver->IssuedLength(handle, request->Position(), length, false);
        gIoObserver->OnTransfer(handle, request->Position(), buffer, length, false);
    }
    request->Link(&pending);
    if (!gIoThread.QueueRead(handle, buffer, length, request)) {
        DWORD error = ::GetLastError();
        request->Unlink();
        ::SetLastError(error);
        return false;
    }
    return true;
}

bool AsyncFile::Write(void* buffer, uint32_t length, IoRequest* request) {
    if (gIoObserver) {
        length = gIoObserver->IssuedLength(handle, request->Position(), length, true);
        gIoObserver->OnTransfer(handle, request->Position(), buffer, length, true);
    }
    request->Link(&pending);
    if (!gIoThread.QueueWrite(handle, buffer, length, request)) {
        DWORD error = ::GetLastError();
        request->Unlink();
        ::SetLastError(error);
        return false;
    }
    return true;
}
