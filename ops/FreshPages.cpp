#include "ops/FreshPages.h"

#include "app/Globals.h"
#include "io/ComputePool.h"

#include <new>

namespace {

constexpr size_t kStride = 1024 * 1024;
constexpr size_t kPage = 4096;

} // namespace

struct FreshPages::Job : ComputeJob {
    FreshPages* owner; // null once let go
    uint8_t* data;
    size_t bytes;
    int32_t lanes;
    volatile LONG stop;
    bool out;
};

bool FreshPages::Start(uint8_t* data, size_t bytes) {
    LetGo();
    auto* made = new (std::nothrow) Job{};
    if (!made) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    made->run = Run;
    made->owner = this;
    made->data = data;
    made->bytes = bytes;
    made->lanes = gComputePool.Workers();
    return gComputePool.SubmitKept(made, (1u << made->lanes) - 1, job);
}

void FreshPages::LetGo() {
    gComputePool.Release(job);
}

void FreshPages::Run(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<Job&>(computeJob);
    for (size_t at = static_cast<size_t>(lane) * kStride; at < job.bytes && job.stop == 0;
         at += static_cast<size_t>(job.lanes) * kStride) {
        const size_t end = job.bytes - at < kStride ? job.bytes : at + kStride;
        // Page-aligned memory (a whole allocation): a page's first word is its own.
        for (size_t page = at; page < end; page += kPage)
            ::InterlockedOr(reinterpret_cast<volatile LONG*>(job.data + page), 0);
    }
}
