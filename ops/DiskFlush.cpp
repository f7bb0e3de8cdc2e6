#include "ops/DiskFlush.h"

#include "app/Globals.h"
#include "toolkit/SyncFile.h"

#include <new>

DiskFlush* DiskFlush::Start(const WideString& path, void* owner, Landed landed) {
    auto* job = new (std::nothrow) DiskFlush{};
    if (!job)
        return nullptr;
    job->owner = owner;
    job->landed = landed;
    job->run = Run;
    job->done = Done;
    job->path.Assign(path.Text(), path.Length());
    if (job->path.Length() == path.Length() && (gComputePool.IsStarted() || gComputePool.Start()) &&
        gComputePool.Submit(*job, 1u))
        return job;
    delete job;
    return nullptr;
}

void DiskFlush::Run(ComputeJob& computeJob, int32_t) {
    auto& job = static_cast<DiskFlush&>(computeJob);
    job.flushError = FlushToDisk(job.path.Text(), job.size);
}

void DiskFlush::Done(ComputeJob& computeJob) {
    auto* job = static_cast<DiskFlush*>(&computeJob);
    void* owner = job->owner;
    const Landed landed = job->landed;
    const DWORD error = job->error ? job->error : job->flushError;
    const uint64_t size = job->size;
    delete job;
    if (owner)
        landed(owner, error, size);
}

DWORD FlushToDisk(const wchar_t* path, uint64_t& size) {
    SyncFile output;
    return output.OpenForWriting(path) && output.Flush() && output.Size(size) && output.Close()
               ? 0
               : ::GetLastError();
}
