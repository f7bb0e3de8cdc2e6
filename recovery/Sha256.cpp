#include "recovery/Sha256.h"

#include "recovery/Sha256Blocks.h"
#include "toolkit/CpuFeatures.h"

#include <cstring>

namespace {

constexpr uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// Chosen at the first use; set again only by UseEngine.
Sha256Blocks gBlocks = nullptr;
Sha256BlocksTwo gBlocksTwo = nullptr;

void Pick(bool extensions) {
    gBlocks = extensions ? Sha256BlocksShaExtensions : Sha256BlocksPortable;
    gBlocksTwo = extensions ? Sha256BlocksTwoShaExtensions : Sha256BlocksTwoPortable;
}

Sha256Blocks Blocks() {
    if (!gBlocks)
        Pick(Sha256::HasShaExtensions());
    return gBlocks;
}

Sha256BlocksTwo BlocksTwo() {
    if (!gBlocksTwo)
        Pick(Sha256::HasShaExtensions());
    return gBlocksTwo;
}

} // namespace

bool Sha256::HasShaExtensions() {
    return CpuFeatures::HasSha() && CpuFeatures::HasSsse3() && CpuFeatures::HasSse41();
}

Sha256::Engine Sha256::CurrentEngine() {
    return Blocks() == Sha256BlocksShaExtensions ? Engine::ShaExtensions : Engine::Portable;
}

bool Sha256::UseEngine(Engine engine) {
    if (engine == Engine::ShaExtensions && !HasShaExtensions())
        return false;
    Pick(engine == Engine::ShaExtensions);
    return true;
}

void Sha256::Reset() {
    memcpy(state, kInitialState, sizeof state);
    length = 0;
    filled = 0;
}

void Sha256::Update(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    length += size;
    Sha256Blocks blocks = Blocks();
    if (filled != 0) {
        size_t take = 64 - filled < size ? 64 - filled : size;
        memcpy(block + filled, bytes, take);
        filled += static_cast<uint32_t>(take);
        bytes += take;
        size -= take;
        if (filled < 64)
            return;
        blocks(state, block, 1);
        filled = 0;
    }
    // Whole blocks straight from the caller's buffer: no copy.
    if (size >= 64) {
        blocks(state, bytes, size / 64);
        bytes += size / 64 * 64;
        size %= 64;
    }
    if (size != 0) {
        memcpy(block, bytes, size);
        filled = static_cast<uint32_t>(size);
    }
}

void Sha256::UpdateBoth(Sha256& first, Sha256& second, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (first.filled == second.filled && first.filled != 0) {
        // Completes the block both have begun.
        size_t head = 64 - first.filled < size ? 64 - first.filled : size;
        first.Update(bytes, head);
        second.Update(bytes, head);
        bytes += head;
        size -= head;
    }
    if (first.filled == 0 && second.filled == 0 && size >= 64) {
        size_t whole = size / 64 * 64;
        BlocksTwo()(first.state, second.state, bytes, whole / 64);
        first.length += whole;
        second.length += whole;
        bytes += whole;
        size -= whole;
    }
    if (size != 0) {
        first.Update(bytes, size);
        second.Update(bytes, size);
    }
}

Sha256Digest Sha256::Final() {
    const uint64_t bits = length * 8;
    uint8_t tail[72] = {0x80};
    // Pad to 56 bytes past a block boundary, then the length in bits, big-endian.
    size_t pad = (filled < 56 ? 56 - filled : 120 - filled);
    for (int i = 0; i < 8; ++i)
        tail[pad + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(tail, pad + 8);
    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        digest.bytes[4 * i] = static_cast<uint8_t>(state[i] >> 24);
        digest.bytes[4 * i + 1] = static_cast<uint8_t>(state[i] >> 16);
        digest.bytes[4 * i + 2] = static_cast<uint8_t>(state[i] >> 8);
        digest.bytes[4 * i + 3] = static_cast<uint8_t>(state[i]);
    }
    Reset();
    return digest;
}

void Sha256Hex(const Sha256Digest& digest, char hex[65]) {
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) {
        hex[2 * i] = kDigits[digest.bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[digest.bytes[i] & 15];
    }
    hex[64] = '\0';
}
