#include "ops/RebuiltDigests.h"

#include "app/Globals.h"
#include "io/ComputePool.h"

#include <new>

struct RebuiltDigests::Job : ComputeJob {
    RebuiltDigests* owner; // null once let go
    DynArray<Bytes> bytes;
    int32_t digestLane; // -1: no SHA-256
    volatile LONG stop;
    bool out;
    Md5Digest hash;
    Sha256Digest digest;
};

bool RebuiltDigests::Start(const DynArray<Bytes>& bytes, bool withDigest) {
    LetGo();
    auto* made = new (std::nothrow) Job{};
    if (!made || !made->bytes.Reserve(bytes.Count())) {
        delete made;
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    for (const Bytes& b : bytes)
        made->bytes.Append(b);
    made->run = Run;
    made->owner = this;
    made->digestLane = !withDigest ? -1 : gComputePool.Workers() > 1 ? 1 : 0;
    return gComputePool.SubmitKept(made, 1u | (withDigest ? 1u << made->digestLane : 0), job);
}

bool RebuiltDigests::Out() const {
    return job && job->out;
}

DWORD RebuiltDigests::Error() const {
    return job ? job->error : 0;
}

const Md5Digest& RebuiltDigests::Hash() const {
    return job->hash;
}

const Sha256Digest& RebuiltDigests::Digest() const {
    return job->digest;
}

void RebuiltDigests::LetGo() {
    gComputePool.Release(job);
}

void RebuiltDigests::Run(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<Job&>(computeJob);
    const bool md5 = lane == 0;
    const bool sha = lane == job.digestLane;
    Md5 hash;
    Sha256 digest;
    for (const Bytes& b : job.bytes) {
        const bool going =
            ComputePool::InPieces(b.data, b.length, job.stop, [&](const uint8_t* data, uint32_t n) {
                if (md5)
                    hash.Update(data, n);
                if (sha)
                    digest.Update(data, n);
            });
        if (!going)
            return;
    }
    if (md5)
        job.hash = hash.Finish();
    if (sha)
        job.digest = digest.Final();
}
