#pragma once

#include "app/WideString.h"
#include "io/ComputePool.h"

#include <cstdint>

// A file brought to the disk on a worker, so that the window answers while it is flushed: a large
// joined file, or a small list behind a whole split's data still in the cache, which can take as
// long. The result comes back through the completion port, to the owner's Landed routine.
struct DiskFlush : ComputeJob {
    using Landed = void (*)(void* owner, DWORD error, uint64_t size);

    // Hands the flush of the file at path to a worker; null when none could take it, and the
    // caller then flushes here and now (FlushToDisk). Let go of it (ComputePool::LetGo) before
    // the owner goes.
    static DiskFlush* Start(const WideString& path, void* owner, Landed landed);

    void* owner = nullptr; // null once let go
    Landed landed = nullptr;
    WideString path; // the worker's own copy
    DWORD flushError = 0;
    uint64_t size = 0;

private:
    static void Run(ComputeJob& job, int32_t lane);
    static void Done(ComputeJob& job);
};

// 0 once the file at path is on the disk, with its length in size; else the error.
DWORD FlushToDisk(const wchar_t* path, uint64_t& size);
