#pragma once

#include <windows.h>

#include <cstdint>

// Sees every open and every read and write that AsyncFile issues, on the user-interface thread.
// The program installs none; tests install one to check what the system would enforce (Windows
// refuses misaligned unbuffered transfers, Wine does not).
class IoObserver {
public:
    virtual void OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                        HANDLE handle) = 0;
    virtual void OnClose(HANDLE handle) = 0;
    virtual void OnTransfer(HANDLE handle, uint64_t position, const void* buffer, uint32_t length,
                            bool write) = 0;
    // The length actually handed to the system for a read or write of `length` bytes. A test
    // gives less to have the call complete short, which a local disk never does by itself.
    virtual uint32_t IssuedLength(HANDLE handle, uint64_t position, uint32_t length, bool write) {
        (void)handle;
        (void)position;
        (void)write;
        return length;
    }

protected:
    ~IoObserver() = default;
};

// Null unless a test has installed an observer.
extern IoObserver* gIoObserver;
