#pragma once

#include "app/WideString.h"
#include "io/AsyncFile.h"

#include <cstdint>

// One part file of an operation: where its bytes lie in the whole file, its file, and how far
// the transfer has come. Records live in a DynArray, which moves them by plain byte copy: this
// is safe because the array is complete before any of their files is opened.
struct PartRecord {
    PartRecord(DWORD accessMode, DWORD creation, const WideString& partPath, uint64_t partOffset,
               uint64_t partSize);

    DWORD access;      // GENERIC_READ for a join, GENERIC_WRITE for a split
    DWORD disposition; // OPEN_EXISTING for a join, CREATE_NEW for a split
    WideString path;
    uint64_t size;
    uint64_t offset; // position of the part's first byte in the whole file
    AsyncFile file;
    uint64_t remaining; // bytes not yet issued
    uint64_t issued;    // bytes issued; also where in the part the next chunk starts
    uint64_t completed; // bytes whose write has completed

    // A part's file is opened only when its first chunk goes out and closed only after its last
    // byte is written (or at the end), so it was opened here exactly when it is open now or
    // something of it was issued.
    bool WasOpened() const { return file.IsOpen() || issued != 0; }
};
