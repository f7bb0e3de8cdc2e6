#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct ComputeJob;

// Brings the pages of fresh memory in on the workers, ahead of a thread that fills it from the
// front: each lane takes every n-th megabyte, from the front too. The first touch of a page can
// cost many microseconds, and where locking a range is not there to bring it in at once, a read
// into fresh memory would pay for every page of it. The pages are touched with an atomic add of
// nothing, so the owner may write into them meanwhile: not a byte changes.
class FreshPages {
public:
    FreshPages() = default;
    ~FreshPages() { LetGo(); }
    FreshPages(const FreshPages&) = delete;
    FreshPages& operator=(const FreshPages&) = delete;

    // data starts an allocation of whole pages. False with the last error when the workers can't
    // take it; the memory is as good then, only fresh. It must stay until let go of.
    bool Start(uint8_t* data, size_t bytes);
    // Stops the work under way and waits until the workers are past it.
    void LetGo();

private:
    struct Job;
    static void Run(ComputeJob& job, int32_t lane);

    Job* job = nullptr;
};
