#pragma once

#include "io/IoRequest.h"

#include <cstdint>

class AsyncFile;
class Operation;
struct PartRecord;

// One read-and-write cycle of the transfer with its buffer. The request part comes first, so
// the completion side can hand it around as a plain IoRequest.
struct IoPair : IoRequest {
    PartRecord* part;
    Operation* operation;
    uint32_t chunk;
    uint64_t chunkOffset; // the chunk's position in the whole file
    uint64_t writeOffset;
    AsyncFile* source;
    AsyncFile* destination;
    void* data;    // the transfer buffer: page-aligned, so fit for unbuffered transfers
    uint32_t size; // bytes in the transfer buffer

    // Frees the transfer buffer only; the object stays.
    void ReleaseData();
};

// A new IoPair with a buffer of BufferSize bytes (read from the settings now), or null with the
// last-error value set. Its onComplete is empty; its onAbandon is ReleaseIoPair.
IoPair* CreateIoPair();
// The abandon routine of every IoPair: frees its buffer, then the object.
void ReleaseIoPair(IoRequest* request);
// IoPairs created and not yet released in this process: none may be lost on the way.
int32_t LiveIoPairs();
