#include "ops/BlockDigests.h"

#include "app/Globals.h"
#include "io/ComputePool.h"

#include <new>

struct BlockDigests::Job : ComputeJob {
    BlockDigests* owner; // null once let go
    DynArray<Block> blocks;
    DynArray<Md5Digest> hashes;
    volatile LONG stop;
    bool out;
};

bool BlockDigests::Start(const DynArray<Block>& blocks) {
    LetGo();
    auto* made = new (std::nothrow) Job{};
    if (!made || !made->blocks.Reserve(blocks.Count()) || !made->hashes.ResizeUp(blocks.Count())) {
        delete made;
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    uint32_t lanes = 0;
    for (const Block& block : blocks) {
        made->blocks.Append(block);
        lanes |= 1u << block.lane;
    }
    made->run = Run;
    made->owner = this;
    return gComputePool.SubmitKept(made, lanes, job);
}

bool BlockDigests::Out() const {
    return job && job->out;
}

DWORD BlockDigests::Error() const {
    return job ? job->error : 0;
}

const Md5Digest& BlockDigests::Hash(int32_t k) const {
    return job->hashes[k];
}

void BlockDigests::LetGo() {
    gComputePool.Release(job);
}

void BlockDigests::Run(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<Job&>(computeJob);
    for (int32_t k = 0; k < job.blocks.Count(); ++k) {
        Block& block = job.blocks[k];
        if (block.lane != lane)
            continue;
        Md5& hash = block.begun;
        if (!ComputePool::InPieces(
                block.data, block.length, job.stop,
                [&hash](const uint8_t* data, uint32_t n) { hash.Update(data, n); }))
            return;
        job.hashes[k] = hash.Finish();
    }
}
