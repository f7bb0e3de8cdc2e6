#pragma once

#include "app/DynArray.h"
#include "ops/Sha256.h"

#include <cstdint>

struct IoPair;

// The bookkeeping of hashing an operation's data in file order while it moves. Chunks are read in
// file order but their reads complete in any order; a chunk whose turn has not come waits here
// with its pair, and a pair whose write is done before its chunk was hashed is held here rather
// than reading into its buffer again. The operation drives it (Operation::HashInOrder).
class ChunkHasher {
public:
    struct Waiting {
        IoPair* pair;
        uint64_t offset; // the chunk's position in the whole file
        bool held;       // its write is done; it goes on only once hashed
    };

    ChunkHasher();
    ChunkHasher(const ChunkHasher&) = delete;
    ChunkHasher& operator=(const ChunkHasher&) = delete;

    // Starts over at the beginning of the whole file.
    void Begin(bool withParts, bool withWhole);
    // Notes a pair whose buffer holds its chunk. False when memory runs out.
    bool Add(IoPair* pair, uint64_t offset);
    // The chunk whose turn it is, when it has arrived; TakeNext also takes it off the list.
    bool PeekNext(Waiting& next) const;
    bool TakeNext(Waiting& next);
    // Marks the pair held when its chunk still waits; true then.
    bool Hold(IoPair* pair);
    // Empties the list; held pairs are handed to release, the others are in flight and come
    // back through their own routines.
    void Forget(void (*release)(IoPair& pair));

    // Feeds one chunk in order.
    void Hash(const void* data, uint32_t length);
    // The digest of the part hashed so far; starts the next part.
    Sha256Digest EndPart();
    Sha256Digest EndWhole();
    uint64_t Hashed() const { return hashed; }

private:
    DynArray<Waiting> waiting;
    Sha256 part;
    Sha256 whole;
    uint64_t hashed = 0;
    bool hashParts = false;
    bool hashWhole = false;
};
