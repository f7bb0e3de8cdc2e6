#pragma once

#include "app/DynArray.h"
#include "recovery/Sha256.h"

#include <cstdint>

struct ChunkJob;
struct IoPair;

// The bookkeeping of hashing an operation's data in file order while it moves. Chunks are read in
// file order but their reads complete in any order; a chunk whose turn has not come waits here
// with its pair. In its turn it goes to the workers, and once its work is back, and those before
// it are finished, it is finished in turn. A pair whose write is done before its chunk is
// finished is held here rather than reading into its buffer again. The operation drives it.
class ChunkHasher {
public:
    struct Waiting {
        IoPair* pair;
        uint64_t offset; // the chunk's position in the whole file
        ChunkJob* job;   // the work on it, once handed to the workers
        bool held;       // its write is done; it goes on only once finished
        bool worked;     // its job has come back
    };

    ChunkHasher();
    ChunkHasher(const ChunkHasher&) = delete;
    ChunkHasher& operator=(const ChunkHasher&) = delete;

    // Starts over at the beginning of the whole file; nothing may be with the workers.
    void Begin(bool withParts, bool withWhole);
    // Notes a pair whose buffer holds its chunk. False when memory runs out.
    bool Add(IoPair* pair, uint64_t offset);
    // The chunk whose turn it is to go to the workers, when it has arrived.
    Waiting* NextToSubmit();
    void Submitted(Waiting& slot, ChunkJob* job, uint32_t length);
    // The chunk whose turn it is to be finished, when its work is back.
    Waiting* NextToFinish();
    // Takes the slot off the list.
    void Finished(Waiting& slot, uint32_t length);
    Waiting* Find(const IoPair* pair);
    // Marks the pair held when its chunk is not finished yet; true then.
    bool Hold(IoPair* pair);
    // Empties the list, handing each slot to let (jobs still out, held pairs).
    void Forget(void (*let)(Waiting& slot));
    // Chunks with the workers or back from them but not finished.
    bool AnySubmitted() const { return submitted != hashed; }

    // The streams, fed in file order, each from one thread at a time.
    void HashPart(const void* data, uint32_t length) { part.Update(data, length); }
    void HashWhole(const void* data, uint32_t length) { whole.Update(data, length); }
    void HashBoth(const void* data, uint32_t length) {
        Sha256::UpdateBoth(part, whole, data, length);
    }
    bool HashesParts() const { return hashParts; }
    bool HashesWhole() const { return hashWhole; }
    // The digest of the part hashed so far; starts the next part.
    Sha256Digest EndPart() { return part.Final(); }
    Sha256Digest EndWhole() { return whole.Final(); }
    // The bytes of the chunks finished.
    uint64_t Hashed() const { return hashed; }

private:
    DynArray<Waiting> waiting;
    Sha256 part;
    Sha256 whole;
    uint64_t submitted = 0;
    uint64_t hashed = 0;
    bool hashParts = false;
    bool hashWhole = false;
};
