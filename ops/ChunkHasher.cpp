#include "ops/ChunkHasher.h"

namespace {

// Pairs in flight: IoPairCount, and a few more right after a quick resume.
constexpr int32_t kUsualWaiting = 32;

} // namespace

ChunkHasher::ChunkHasher() {
    waiting.Reserve(kUsualWaiting);
}

void ChunkHasher::Begin(bool withParts, bool withWhole) {
    waiting.Clear();
    part.Reset();
    whole.Reset();
    submitted = 0;
    hashed = 0;
    hashParts = withParts;
    hashWhole = withWhole;
}

bool ChunkHasher::Add(IoPair* pair, uint64_t offset) {
    // A slot left by a chunk already finished is taken first, so the list stays as long as the
    // most pairs ever in flight.
    const Waiting fresh{pair, offset, nullptr, false, false};
    for (Waiting& slot : waiting) {
        if (!slot.pair) {
            slot = fresh;
            return true;
        }
    }
    return waiting.Append(fresh);
}

ChunkHasher::Waiting* ChunkHasher::NextToSubmit() {
    for (Waiting& slot : waiting) {
        if (slot.pair && !slot.job && slot.offset == submitted)
            return &slot;
    }
    return nullptr;
}

void ChunkHasher::Submitted(Waiting& slot, ChunkJob* job, uint32_t length) {
    slot.job = job;
    submitted += length;
}

ChunkHasher::Waiting* ChunkHasher::NextToFinish() {
    for (Waiting& slot : waiting) {
        if (slot.pair && slot.worked && slot.offset == hashed)
            return &slot;
    }
    return nullptr;
}

void ChunkHasher::Finished(Waiting& slot, uint32_t length) {
    slot.pair = nullptr;
    slot.job = nullptr;
    hashed += length;
}

ChunkHasher::Waiting* ChunkHasher::Find(const IoPair* pair) {
    for (Waiting& slot : waiting) {
        if (slot.pair == pair)
            return &slot;
    }
    return nullptr;
}

bool ChunkHasher::Hold(IoPair* pair) {
    Waiting* slot = Find(pair);
    if (!slot)
        return false;
    slot->held = true;
    return true;
}

void ChunkHasher::Forget(void (*let)(Waiting& slot)) {
    for (Waiting& slot : waiting) {
        if (slot.pair)
            let(slot);
    }
    waiting.Clear();
    submitted = hashed;
}
