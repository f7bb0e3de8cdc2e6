#pragma once

#include <windows.h>

#include <cstdint>

struct IoRequest;

// A file opened for overlapped I/O and bound to the completion port, with the list of its
// requests in flight. Closing it redirects those requests to their abandon routines, so that a
// closed file's completions never reach the code that issued them.
//
// A copy has the same handle and an empty list: records holding a file are copied only while the
// file is closed.
class AsyncFile {
public:
    AsyncFile() = default;
    AsyncFile(const AsyncFile& other) : handle(other.handle) {}
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
