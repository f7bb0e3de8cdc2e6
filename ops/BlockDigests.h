#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"

#include <windows.h>

#include <cstdint>

struct ComputeJob;

// The packet hashes of recovery blocks read into memory, finished by the workers: each block's
// on the lane given, which runs it before anything queued to that lane after it, so that a lane
// which then adds into the block's bytes does so only once they are hashed. The bytes stay the
// owner's and must stay put until the hashes are back or let go of.
class BlockDigests {
public:
    struct Block {
        const uint8_t* data;
        uint32_t length;
        Md5 begun; // the packet's hash up to these bytes
        int32_t lane;
    };

    BlockDigests() = default;
    ~BlockDigests() { LetGo(); }
    BlockDigests(const BlockDigests&) = delete;
    BlockDigests& operator=(const BlockDigests&) = delete;

    // Hands the blocks to the workers; false with the last error when they can't take them, and
    // nothing is out then.
    bool Start(const DynArray<Block>& blocks);
    bool Started() const { return job != nullptr; }
    // Still with the workers.
    bool Out() const;
    // Once back: 0, or the error that kept a lane from hashing its blocks.
    DWORD Error() const;
    // Once back: the packet hash of block k.
    const Md5Digest& Hash(int32_t k) const;
    // Stops the work under way and waits until the workers are past it: the bytes are the
    // owner's again, and nothing is started.
    void LetGo();

private:
    struct Job;
    static void Run(ComputeJob& job, int32_t lane);

    Job* job = nullptr;
};
