#include "recovery/Sha1.h"

#include <cstring>

namespace {

constexpr uint32_t kInitialState[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadBig(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

} // namespace

void Sha1::Reset() {
    memcpy(state, kInitialState, sizeof(state));
    length = 0;
    filled = 0;
}

void Sha1::Blocks(const uint8_t* data, size_t count) {
    for (size_t n = 0; n < count; ++n, data += 64) {
        uint32_t w[80];
        for (int t = 0; t < 16; ++t)
            w[t] = LoadBig(data + 4 * t);
        for (int t = 16; t < 80; ++t)
            w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 80; ++t) {
            uint32_t f;
            uint32_t k;
            if (t < 20) {
                f = d ^ (b & (c ^ d));
                k = 0x5a827999;
            } else if (t < 40) {
                f = b ^ c ^ d;
                k = 0x6ed9eba1;
            } else if (t < 60) {
                f = (b & c) | (d & (b | c));
                k = 0x8f1bbcdc;
            } else {
                f = b ^ c ^ d;
                k = 0xca62c1d6;
            }
            const uint32_t next = RotateLeft(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = RotateLeft(b, 30);
            b = a;
            a = next;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

void Sha1::Update(const void* data, size_t size) {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    length += size;
    if (filled != 0) {
        const size_t take = size < 64 - filled ? size : 64 - filled;
        memcpy(block + filled, in, take);
        filled += static_cast<uint32_t>(take);
        in += take;
        size -= take;
        if (filled < 64)
            return;
        Blocks(block, 1);
        filled = 0;
    }
    Blocks(in, size / 64);
    in += size - size % 64;
    memcpy(block, in, size % 64);
    filled = static_cast<uint32_t>(size % 64);
}

Sha1Digest Sha1::Finish() {
    const uint64_t bits = length * 8;
    // A one bit, zeros up to 56 bytes into a block, then the length in bits, high byte first.
    uint8_t tail[72] = {0x80};
    const uint32_t pad = filled < 56 ? 56 - filled : 120 - filled;
    for (int i = 0; i < 8; ++i)
        tail[pad + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(tail, pad + 8);
    Sha1Digest digest;
    for (int i = 0; i < 5; ++i) {
        digest.bytes[4 * i] = static_cast<uint8_t>(state[i] >> 24);
        digest.bytes[4 * i + 1] = static_cast<uint8_t>(state[i] >> 16);
        digest.bytes[4 * i + 2] = static_cast<uint8_t>(state[i] >> 8);
        digest.bytes[4 * i + 3] = static_cast<uint8_t>(state[i]);
    }
    Reset();
    return digest;
}
