#include "ops/ChunkHasher.h"

namespace {

// Pairs in flight: IoPairCount, and a few more right after a quick resume.
constexpr int32_t kUsualWaiting = 32;

} // namespace

ChunkHasher::ChunkHasher() {
    waiting_.Reserve(kUsualWaiting);
}

void ChunkHasher::Begin(bool hashParts, bool hashWhole) {
    waiting_.Clear();
    part_.Reset();
    whole_.Reset();
    hashed_ = 0;
    hashParts_ = hashParts;
    hashWhole_ = hashWhole;
}

bool ChunkHasher::Add(IoPair* pair, uint64_t offset) {
    // A slot left by a chunk already hashed is taken first, so the list stays as long as the
    // most pairs ever in flight.
    for (Waiting& waiting : waiting_) {
        if (!waiting.pair) {
            waiting = Waiting{pair, offset, false};
            return true;
        }
    }
    return waiting_.Append(Waiting{pair, offset, false});
}

bool ChunkHasher::TakeNext(Waiting& next) {
    for (Waiting& waiting : waiting_) {
        if (waiting.pair && waiting.offset == hashed_) {
            next = waiting;
            waiting.pair = nullptr;
            return true;
        }
    }
    return false;
}

bool ChunkHasher::Hold(IoPair* pair) {
    for (Waiting& waiting : waiting_) {
        if (waiting.pair == pair) {
            waiting.held = true;
            return true;
        }
    }
    return false;
}

void ChunkHasher::Forget(void (*release)(IoPair& pair)) {
    for (Waiting& waiting : waiting_) {
        if (waiting.pair && waiting.held)
            release(*waiting.pair);
    }
    waiting_.Clear();
}

void ChunkHasher::Hash(const void* data, uint32_t length) {
    if (hashParts_ && hashWhole_)
        Sha256::UpdateBoth(part_, whole_, data, length);
    else if (hashParts_)
        part_.Update(data, length);
    else if (hashWhole_)
        whole_.Update(data, length);
    hashed_ += length;
}

Sha256Digest ChunkHasher::EndPart() {
    return part_.Final();
}

Sha256Digest ChunkHasher::EndWhole() {
    return whole_.Final();
}
