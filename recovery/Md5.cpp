#include "recovery/Md5.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

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
    uint32_t word;
    memcpy(&word, p, 4); // every Windows processor is little-endian
    return word;
}

// The rounds' functions, in the forms with the shortest chains: the steps follow each other
// closely, so each one's latency is the whole cost. The second round's is written out in Step.
struct RoundF {
    static uint32_t Mix(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
};
struct RoundH {
    static uint32_t Mix(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
};
struct RoundI {
    static uint32_t Mix(uint32_t b, uint32_t c, uint32_t d) { return c ^ (b | ~d); }
};

// Step i of the 64: its round, the word it takes and its rotation follow from i.
template <int kStep>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, const uint32_t* x) {
    constexpr int kRound = kStep / 16;
    constexpr int kWord = kRound == 0   ? kStep
                          : kRound == 1 ? (5 * kStep + 1) % 16
                          : kRound == 2 ? (3 * kStep + 5) % 16
                                        : (7 * kStep) % 16;
    constexpr int kShifts[4][4] = {
        {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    // What does not wait for the step before goes first.
    uint32_t sum = a + x[kWord] + kSine[kStep];
    if constexpr (kRound == 0) {
        sum += RoundF::Mix(b, c, d);
    } else if constexpr (kRound == 1) {
        // The two halves share no bit, so adding them is the same as or-ing them, and the half
        // without b goes in before b is known.
        sum += ~d & c;
        sum += d & b;
    } else if constexpr (kRound == 2) {
        sum += RoundH::Mix(b, c, d);
    } else {
        sum += RoundI::Mix(b, c, d);
    }
    a = b + RotateLeft(sum, kShifts[kRound][kStep % 4]);
}

// Four steps from step k on, the registers turning by one each time.
template <int kStep>
inline void FourSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x) {
    Step<kStep>(a, b, c, d, x);
    Step<kStep + 1>(d, a, b, c, x);
    Step<kStep + 2>(c, d, a, b, x);
    Step<kStep + 3>(b, c, d, a, x);
}

template <int... kFirsts>
inline void AllSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x,
                     std::integer_sequence<int, kFirsts...>) {
    (FourSteps<kFirsts * 4>(a, b, c, d, x), ...);
}

// A 32-bit processor's few registers hold one chain, not two: there the two go one after the
// other, which is faster than both side by side with their registers spilled to memory at every
// step.
constexpr bool kTwoChainsAtOnce = sizeof(void*) == 8;

// The same four steps of two streams, each on its own words: two chains for the processor to
// run at once, where one alone leaves most of its units waiting.
template <int kStep>
inline void FourStepsTwo(uint32_t (&s)[8], const uint32_t* x, const uint32_t* y) {
    Step<kStep>(s[0], s[1], s[2], s[3], x);
    Step<kStep>(s[4], s[5], s[6], s[7], y);
    Step<kStep + 1>(s[3], s[0], s[1], s[2], x);
    Step<kStep + 1>(s[7], s[4], s[5], s[6], y);
    Step<kStep + 2>(s[2], s[3], s[0], s[1], x);
    Step<kStep + 2>(s[6], s[7], s[4], s[5], y);
    Step<kStep + 3>(s[1], s[2], s[3], s[0], x);
    Step<kStep + 3>(s[5], s[6], s[7], s[4], y);
}

template <int... kFirsts>
inline void AllStepsTwo(uint32_t (&s)[8], const uint32_t* x, const uint32_t* y,
                        std::integer_sequence<int, kFirsts...>) {
    (FourStepsTwo<kFirsts * 4>(s, x, y), ...);
}

// count blocks of each stream, the first's from firstData and the second's from secondData.
void BlocksTwo(uint32_t first[4], const uint8_t* firstData, uint32_t second[4],
               const uint8_t* secondData, size_t count) {
    uint32_t s[8] = {first[0],  first[1],  first[2],  first[3],
                     second[0], second[1], second[2], second[3]};
    for (size_t n = 0; n < count; ++n, firstData += 64, secondData += 64) {
        uint32_t x[16], y[16];
        for (int i = 0; i < 16; ++i) {
            x[i] = LoadLittle(firstData + 4 * i);
            y[i] = LoadLittle(secondData + 4 * i);
        }
        uint32_t before[8];
        memcpy(before, s, sizeof(s));
        AllStepsTwo(s, x, y, std::make_integer_sequence<int, 16>());
        for (int i = 0; i < 8; ++i)
            s[i] += before[i];
    }
    memcpy(first, s, 4 * sizeof(uint32_t));
    memcpy(second, s + 4, 4 * sizeof(uint32_t));
}

} // namespace

void Md5::Reset() {
    memcpy(state, kInitialState, sizeof(state));
    length = 0;
    filled = 0;
}

void Md5::Blocks(const uint8_t* data, size_t count) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (size_t n = 0; n < count; ++n, data += 64) {
        uint32_t words[16];
        for (int i = 0; i < 16; ++i)
            words[i] = LoadLittle(data + 4 * i);
        const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
        AllSteps(a, b, c, d, words, std::make_integer_sequence<int, 16>());
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
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

void Md5::UpdateBoth(Md5& first, Md5& second, const void* data, size_t size) {
    if constexpr (!kTwoChainsAtOnce) {
        first.Update(data, size);
        second.Update(data, size);
        return;
    }
    const auto* in = static_cast<const uint8_t*>(data);
    // Each completes the block it has begun on its own; from there on both take whole blocks side
    // by side, each from its own place in the data when they stood at different places in theirs.
    const size_t firstHead = first.filled == 0 ? 0 : std::min<size_t>(64 - first.filled, size);
    const size_t secondHead = second.filled == 0 ? 0 : std::min<size_t>(64 - second.filled, size);
    first.Update(in, firstHead);
    second.Update(in, secondHead);
    const size_t firstLeft = size - firstHead;
    const size_t secondLeft = size - secondHead;
    const size_t together = std::min(firstLeft, secondLeft) / 64;
    if (together != 0) {
        BlocksTwo(first.state, in + firstHead, second.state, in + secondHead, together);
        first.length += together * 64;
        second.length += together * 64;
    }
    first.Update(in + firstHead + together * 64, firstLeft - together * 64);
    second.Update(in + secondHead + together * 64, secondLeft - together * 64);
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
