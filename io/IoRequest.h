#pragma once

#include <windows.h>

#include <cstdint>

struct IoRequest;

// What runs on the user-interface thread when a request is done with.
using IoRoutine = void (*)(IoRequest* request);

// One overlapped read or write in flight, and its outcome on the way back. The OVERLAPPED comes
// first, so the pointer the completion port returns is the request itself. While in flight the
// request sits in its file's pending list, so that closing the file can redirect it.
struct IoRequest {
    OVERLAPPED overlapped;
    IoRoutine onComplete;
    IoRoutine onAbandon;  // takes over from onComplete when the file is closed under the request
    uint32_t error;       // Win32 code of the outcome, 0 on success
    uint32_t transferred; // bytes read or written
    IoRequest* prev;      // toward the head of the pending list
    IoRequest* next;
    IoRequest** list; // the pending list (its head pointer) the request is in; null when in none
    uint32_t call;    // number the I/O thread gave the read or write in flight; matches its packets

    // Stores the routines and clears everything else.
    void Init(IoRoutine complete, IoRoutine abandon);
    // Puts the request at the head of the list; does nothing when it is already in one.
    void Link(IoRequest** head);
    // Takes the request out of its list; does nothing when it is in none.
    void Unlink();
    bool IsLinked() const { return list != nullptr; }

    uint64_t Position() const {
        return (static_cast<uint64_t>(overlapped.OffsetHigh) << 32) | overlapped.Offset;
    }
    void SetPosition(uint64_t position) {
        overlapped.Offset = static_cast<DWORD>(position);
        overlapped.OffsetHigh = static_cast<DWORD>(position >> 32);
    }
};
