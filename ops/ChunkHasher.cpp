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
    hashed = 0;
    hashParts = withParts;
    hashWhole = withWhole;
}

bool ChunkHasher::Add(IoPair* pair, uint64_t offset) {
    // A slot left by a chunk already hashed is taken first, so the list stays as long as the
    // most pairs ever in flight.
    for (Waiting& slot : waiting) {
        if (!slot.pair) {
            slot = Waiting{pair, offset, false};
            return true;
        }
    }
    return waiting.Append(Waiting{pair, offset, false});
}

bool ChunkHasher::PeekNext(Waiting& next) const {
    for (const Waiting& slot : waiting) {
        if (slot.pair && slot.offset == hashed) {
            next = slot;
            return true;
        }
    }
    return false;
}

bool ChunkHasher::TakeNext(Waiting& next) {
    for (Waiting& slot : waiting) {
        if (slot.pair && slot.offset == hashed) {
            next = slot;
            slot.pair = nullptr;
            return true;
        }
    }
    return false;
}

bool ChunkHasher::Hold(IoPair* pair) {
    for (Waiting& slot : waiting) {
        if (slot.pair == pair) {
            slot.held = true;
            return true;
        }
    }
    return false;
}

void ChunkHasher::Forget(void (*release)(IoPair& pair)) {
    for (Waiting& slot : waiting) {
        if (slot.pair && slot.held)
            release(*slot.pair);
    }
    waiting.Clear();
}

void ChunkHasher::Hash(const void* data, uint32_t length) {
    if (hashParts && hashWhole)
        Sha256::UpdateBoth(part, whole, data, length);
    else if (hashParts)
        part.Update(data, length);
    else if (hashWhole)
        whole.Update(data, length);
    hashed += length;
}

Sha256Digest ChunkHasher::EndPart() {
    return part.Final();
}

Sha256Digest ChunkHasher::EndWhole() {
    return whole.Final();
}
