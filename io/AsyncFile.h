#pragma once

#include <windows.h>

#include <cstdint>

struct IoRequest;

// A file opened for overlapped I/O and bound to the completion port, with the list of its
// requests in flight. Closing it redirects those requests to their abandon routines, so that a
// closed file's completions never reach the code that issued them.
//
// One owner per handle: a file is moved, never copied. A move takes the handle and leaves the
// list behind, since the requests in it point at it: records holding a file move only while
// nothing of theirs is in flight.
class AsyncFile {
public:
    AsyncFile() = default;
    AsyncFile(AsyncFile&& other) noexcept : handle(other.handle) {
        other.handle = INVALID_HANDLE_VALUE;
    }
    AsyncFile(const AsyncFile&) = delete;
    AsyncFile& operator=(const AsyncFile&) = delete;
    ~AsyncFile();

    // Share mode 0: nobody else opens the file while it is open here. False when already open.
    bool Open(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags);
    bool Close();
    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    // 0 when the size can't be asked.
    uint64_t GetSize() const;
    bool SetSize(uint64_t size);
    // Closes the file, which must end at size: one that is longer (unbuffered writes end on a
    // sector boundary) is opened again without overlapped or unbuffered I/O and cut. False, with
    // the reason of the first failure, when any step fails.
    bool CutTo(const wchar_t* name, DWORD access, uint64_t size);
    // The caller puts the position into the request's overlapped. True when the call is on its
    // way; the outcome arrives later at the request's onComplete.
    bool Read(void* buffer, uint32_t length, IoRequest* request);
    bool Write(void* buffer, uint32_t length, IoRequest* request);

    HANDLE Handle() const { return handle; }
    // Head of the list of requests in flight; null when none.
    IoRequest* Pending() const { return pending; }

private:
    void AbandonAll();
    bool Transfer(void* buffer, uint32_t length, IoRequest* request, bool write);

    IoRequest* pending = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
};
