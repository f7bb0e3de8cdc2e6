#include "ops/RebuiltDigests.h"

#include "app/Globals.h"
#include "io/ComputePool.h"

#include <new>

namespace {

// Between two looks at whether the work is still wanted.
constexpr uint32_t kStepBytes = 1024 * 1024;

} // namespace

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
    made->done = ComputePool::JobBack<Job>;
    made->owner = this;
    made->digestLane = !withDigest ? -1 : gComputePool.Workers() > 1 ? 1 : 0;
    const uint32_t lanes = 1u | (withDigest ? 1u << made->digestLane : 0);
    made->out = true;
    if (!gComputePool.Submit(*made, lanes)) {
        delete made;
        return false;
    }
    job = made;
    return true;
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
        for (uint32_t at = 0; at < b.length; at += kStepBytes) {
            if (job.stop != 0)
                return;
            const uint32_t n = b.length - at < kStepBytes ? b.length - at : kStepBytes;
            if (md5)
                hash.Update(b.data + at, n);
            if (sha)
                digest.Update(b.data + at, n);
        }
    }
    if (md5)
        job.hash = hash.Finish();
    if (sha)
        job.digest = digest.Final();
}
