#include "recovery/Md5.h"

#include <cstring>

namespace {

constexpr uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// The rotation of each step, by round and step within four.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// floor(abs(sin(i + 1)) * 2^32), the additive constant of step i.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLittle(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

void Md5::Reset() {
    memcpy(state, kInitialState, sizeof(state));
    length = 0;
    filled = 0;
}

void Md5::Blocks(const uint8_t* data, size_t count) {
    for (size_t b = 0; b < count; ++b, data += 64) {
        uint32_t words[16];
        for (int i = 0; i < 16; ++i)
            words[i] = LoadLittle(data + 4 * i);
        uint32_t a = state[0], bb = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            switch (i / 16) {
            case 0:
                f = (bb & c) | (~bb & d);
                g = i;
                break;
            case 1:
                f = (d & bb) | (~d & c);
                g = (5 * i + 1) % 16;
                break;
            case 2:
                f = bb ^ c ^ d;
                g = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (bb | ~d);
                g = (7 * i) % 16;
                break;
            }
            const uint32_t next = d;
            d = c;
            c = bb;
            bb += RotateLeft(a + f + kSine[i] + words[g], kShift[i / 16][i % 4]);
            a = next;
        }
        state[0] += a;
        state[1] += bb;
        state[2] += c;
        state[3] += d;
    }
}

void Md5::Update(const void* data, size_t size) {
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

Md5Digest Md5::Finish() {
    const uint64_t bits = length * 8;
    // A one bit, zeros up to 56 bytes into a block, then the length in bits.
    uint8_t tail[72] = {0x80};
    const uint32_t pad = filled < 56 ? 56 - filled : 120 - filled;
    for (int i = 0; i < 8; ++i)
        tail[pad + i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(tail, pad + 8);
    Md5Digest digest;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            digest.bytes[4 * i + j] = static_cast<uint8_t>(state[i] >> (8 * j));
    }
    Reset();
    return digest;
}
