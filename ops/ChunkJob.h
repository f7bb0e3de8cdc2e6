#pragma once

#include "app/DynArray.h"
#include "io/ComputePool.h"
#include "recovery/Par2Creator.h"
#include "recovery/Sha256.h"

#include <atomic>
#include <cstdint>

class Operation;
struct IoPair;

// The work on one chunk that the workers do while the data moves on: its share of the hashes
// and of the recovery data. Made and finished on the user-interface thread, in file order.
struct ChunkJob : ComputeJob {
    Operation* operation; // null once the operation has let go of it
    IoPair* pair;
    const uint8_t* data;
    uint32_t length;
    int32_t endsPart; // the part whose last chunk it is, or -1
    int32_t partLane;
    int32_t wholeLane;
    bool hashParts;
    bool hashWhole;
    Sha256Digest partDigest;
    // A split's recovery data: the chunk laid out as runs.
    DynArray<Par2Creator::Run> runs;
    // A join's check of the parts against a recovery set, as they move: the part (from 1), the
    // lanes that hash the slices and the whole file, and whether a slice failed.
    uint32_t streamNumber;
    int32_t streamLane;
    int32_t wholeCheckLane;
    bool streamBroken;
    // The first failure of the work itself, from whichever lane met it.
    std::atomic<DWORD> workError;
};
