#include "recovery/Sha256Blocks.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

} // namespace

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* data, size_t count) {
    for (; count != 0; --count, data += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = (static_cast<uint32_t>(data[4 * t]) << 24) |
                   (static_cast<uint32_t>(data[4 * t + 1]) << 16) |
                   (static_cast<uint32_t>(data[4 * t + 2]) << 8) | data[4 * t + 3];
        for (int t = 16; t < 64; ++t) {
            uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                          kSha256RoundConstants[t] + w[t];
            uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

void Sha256BlocksTwoPortable(uint32_t first[8], uint32_t second[8], const uint8_t* data,
                             size_t count) {
    Sha256BlocksPortable(first, data, count);
    Sha256BlocksPortable(second, data, count);
}

#if defined(__i386__) || defined(__x86_64__)

namespace {

// The state as the SHA extensions keep it: two vectors, ABEF and CDGH.
struct ShaState {
    __m128i abef;
    __m128i cdgh;
};

__attribute__((target("sha,sse4.1"))) inline ShaState LoadState(const uint32_t state[8]) {
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    return ShaState{_mm_alignr_epi8(cdab, efgh, 8), _mm_blend_epi16(efgh, cdab, 0xF0)};
}

__attribute__((target("sha,sse4.1"))) inline void StoreState(const ShaState& sha,
                                                             uint32_t state[8]) {
    __m128i feba = _mm_shuffle_epi32(sha.abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(sha.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

// The next four schedule words with their round constants: the first four from the block, the
// others from the four before.
__attribute__((target("sha,sse4.1"))) inline __m128i ScheduleWords(__m128i w[4], int i,
                                                                   const uint8_t* data) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i words;
    if (i < 4) {
        words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
                                 byteSwap);
    } else {
        words = _mm_sha256msg1_epu32(w[i & 3], w[(i + 1) & 3]);
        words = _mm_add_epi32(words, _mm_alignr_epi8(w[(i + 3) & 3], w[(i + 2) & 3], 4));
        words = _mm_sha256msg2_epu32(words, w[(i + 3) & 3]);
    }
    w[i & 3] = words;
    return _mm_add_epi32(
        words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kSha256RoundConstants[4 * i])));
}

// Four rounds.
__attribute__((target("sha,sse4.1"))) inline void Rounds(ShaState& sha, __m128i k) {
    sha.cdgh = _mm_sha256rnds2_epu32(sha.cdgh, sha.abef, k);
    sha.abef = _mm_sha256rnds2_epu32(sha.abef, sha.cdgh, _mm_shuffle_epi32(k, 0x0E));
}

} // namespace

__attribute__((target("sha,sse4.1"))) void Sha256BlocksTwoShaExtensions(uint32_t first[8],
                                                                        uint32_t second[8],
                                                                        const uint8_t* data,
                                                                        size_t count) {
    ShaState one = LoadState(first);
    ShaState two = LoadState(second);
    for (; count != 0; --count, data += 64) {
        const ShaState oneSaved = one;
        const ShaState twoSaved = two;
        __m128i w[4];
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            const __m128i k = ScheduleWords(w, i, data);
            Rounds(one, k);
            Rounds(two, k);
        }
        one.abef = _mm_add_epi32(one.abef, oneSaved.abef);
        one.cdgh = _mm_add_epi32(one.cdgh, oneSaved.cdgh);
        two.abef = _mm_add_epi32(two.abef, twoSaved.abef);
        two.cdgh = _mm_add_epi32(two.cdgh, twoSaved.cdgh);
    }
    StoreState(one, first);
    StoreState(two, second);
}

// Only the functions for the SHA extensions are built for them, so the rest of the program still
// runs on any x86 processor.
__attribute__((target("sha,sse4.1"))) void
Sha256BlocksShaExtensions(uint32_t state[8], const uint8_t* data, size_t count) {
    ShaState sha = LoadState(state);
    for (; count != 0; --count, data += 64) {
        const ShaState saved = sha;
        __m128i w[4];
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i)
            Rounds(sha, ScheduleWords(w, i, data));
        sha.abef = _mm_add_epi32(sha.abef, saved.abef);
        sha.cdgh = _mm_add_epi32(sha.cdgh, saved.cdgh);
    }
    StoreState(sha, state);
}

#else

void Sha256BlocksShaExtensions(uint32_t state[8], const uint8_t* data, size_t count) {
    Sha256BlocksPortable(state, data, count);
}

void Sha256BlocksTwoShaExtensions(uint32_t first[8], uint32_t second[8], const uint8_t* data,
                                  size_t count) {
    Sha256BlocksTwoPortable(first, second, data, count);
}

#endif
