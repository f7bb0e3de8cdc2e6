#include "ops/CheckPieces.h"

#include "app/DynArray.h"
#include "app/Globals.h"
#include "io/ComputePool.h"
#include "recovery/Par2Repair.h"

#include <new>

namespace {

// What a slice's hash takes past its part's end.
constexpr uint8_t kZeros[4096] = {};

} // namespace

struct CheckPieces::Job : ComputeJob {
    CheckPieces* owner; // null once let go
    DynArray<uint8_t> buffer;
    Piece piece;
    int32_t hashLane;  // hashes the piece
    int32_t feedLanes; // the first this many lanes take out its share of the sums, each its rows
    bool out;
};

// A part the list vouches for has its bytes proven by the list's SHA-256, read beside: of the
// set, only its slices' CRC32 are needed then, which tell where it disagrees at a fraction of
// the MD5's cost. The rest are proven by their MD5.
void CheckPieces::HashSlice(Hashes& hashes, bool byCrc, const uint8_t* bytes, uint32_t n) {
    if (byCrc)
        hashes.sliceCrc.Update(bytes, n);
    else
        hashes.slice.Update(bytes, n);
}

void CheckPieces::HashZeros(Hashes& hashes, bool byCrc, uint32_t n) {
    while (n != 0) {
        const uint32_t k = n < sizeof kZeros ? n : static_cast<uint32_t>(sizeof kZeros);
        HashSlice(hashes, byCrc, kZeros, k);
        n -= k;
    }
}

void CheckPieces::Hash(Piece& piece, Hashes& hashes) {
    if (!piece.checked)
        return;
    HashSlice(hashes, piece.byCrc, piece.data, piece.length);
    if (piece.endsSlice) {
        HashZeros(hashes, piece.byCrc, piece.padding);
        if (piece.byCrc) {
            piece.crc = hashes.sliceCrc.Value();
            hashes.sliceCrc.Reset();
        } else {
            piece.hash = hashes.slice.Finish();
        }
    }
    if (piece.digest) {
        if (piece.startsPart)
            hashes.digest.Reset();
        hashes.digest.Update(piece.data, piece.length);
        if (piece.endsPart)
            piece.partHash = hashes.digest.Final();
    }
}

void CheckPieces::BeginSlices() {
    for (Hashes& hashes : laneHashes) {
        hashes.slice.Reset();
        hashes.sliceCrc.Reset();
    }
}

int32_t CheckPieces::FeedLaneOf(int32_t row, int32_t rows, int32_t feedLanes) {
    int32_t lane = 0;
    while (lane + 1 < feedLanes && row >= rows * (lane + 1) / feedLanes)
        ++lane;
    return lane;
}

void CheckPieces::Run(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<Job&>(computeJob);
    if (lane == job.hashLane)
        Hash(job.piece, job.owner->laneHashes[lane]);
    if (!job.piece.feed || lane >= job.feedLanes)
        return;
    // The lanes share out the repair's sums, each its own rows of them: no two write the same.
    Par2Repair& repair = job.owner->repair;
    const int32_t rows = repair.Rows();
    repair.AddSliceRows(job.piece.slice, job.piece.offset, job.piece.data, job.piece.length,
                        rows * lane / job.feedLanes, rows * (lane + 1) / job.feedLanes);
}

void CheckPieces::Done(ComputeJob& computeJob) {
    auto* job = static_cast<Job*>(&computeJob);
    CheckPieces* owner = job->owner;
    if (!owner) {
        delete job;
        return;
    }
    job->out = false;
    --owner->out;
    if (owner->error != 0)
        return;
    if (job->error != 0) {
        owner->error = job->error;
        owner->errorFile = job->piece.file;
        return;
    }
    // The verdict may let go of every job, this one too.
    const Piece piece = job->piece;
    owner->verdict(owner->owner, piece);
}

uint8_t* CheckPieces::Take(uint32_t bytes) {
    if (taken)
        return taken->buffer.Items();
    // Any that is back will do, not only the oldest: the pieces of the part before may still be
    // with their lane while those of this part, on another, are back already.
    Job** unmade = nullptr;
    for (Job*& job : jobs) {
        if (job && !job->out) {
            taken = job;
            return job->buffer.Items();
        }
        if (!job && !unmade)
            unmade = &job;
    }
    if (!unmade)
        return nullptr;
    auto* job = new (std::nothrow) Job{};
    if (job && !job->buffer.ResizeUp(static_cast<int32_t>(bytes))) {
        delete job;
        job = nullptr;
    }
    if (!job)
        return nullptr;
    job->owner = this;
    job->run = Run;
    job->done = Done;
    *unmade = job;
    taken = job;
    return job->buffer.Items();
}

bool CheckPieces::HandOut(const Piece& piece, int32_t workers) {
    Job& job = *taken;
    taken = nullptr;
    job.piece = piece;
    job.hashLane = piece.file % (workers < kHashLanes ? workers : kHashLanes);
    job.feedLanes = piece.feed ? FeedLanes(workers) : 0;
    const uint32_t hashing = piece.checked ? 1u << job.hashLane : 0;
    job.out = gComputePool.Submit(job, hashing | ((1u << job.feedLanes) - 1));
    if (!job.out)
        return false;
    ++out;
    return true;
}

void CheckPieces::LetGo() {
    taken = nullptr;
    if (out > 0)
        gComputePool.WaitPast();
    for (Job*& job : jobs) {
        if (job && job->out)
            job->owner = nullptr;
        else
            delete job;
        job = nullptr;
    }
    out = 0;
}
