#include "recovery/Galois16.h"

#include "toolkit/CpuFeatures.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kPolynomial = 0x1100B;

struct Tables {
    // exp[i] = 2^i, doubled in length so that a sum of two logarithms needs no reduction.
    uint16_t exp[2 * Galois16::kOrder];
    // log[x] for x != 0; log[0] is never read.
    uint16_t log[65536];

    Tables() {
        uint32_t x = 1;
        for (uint32_t i = 0; i < Galois16::kOrder; ++i) {
            exp[i] = static_cast<uint16_t>(x);
            exp[i + Galois16::kOrder] = static_cast<uint16_t>(x);
            log[x] = static_cast<uint16_t>(i);
            x <<= 1;
            if (x & 0x10000)
                x ^= kPolynomial;
        }
        log[0] = 0;
    }
};

// Made at the first use; the compiler guards the construction against a race.
const Tables& Get() {
    static const Tables tables;
    return tables;
}

// Until the first use picks, none.
int gEngine = -1;

#if defined(__i386__) || defined(__x86_64__)
// factor * word, 16 words at a time: the product is the XOR of the products of the word's four
// nibbles, and each nibble's low and high product bytes come from a 16-byte table through one
// shuffle. tables[2k] and tables[2k + 1] are the low and high bytes for nibble k (from the low).
__attribute__((target("ssse3"))) void
MultiplyAddSsse3(const uint8_t (*tables)[16], const uint8_t* source, uint8_t* target, size_t size) {
    __m128i low[4], high[4];
    for (int k = 0; k < 4; ++k) {
        low[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables[2 * k]));
        high[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables[2 * k + 1]));
    }
    const __m128i nibble = _mm_set1_epi8(0x0F);
    // Even bytes (the words' low bytes) to the front, odd ones behind.
    const __m128i split = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    for (size_t i = 0; i + 32 <= size; i += 32) {
        const __m128i a =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i)), split);
        const __m128i b = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 16)), split);
        const __m128i lo = _mm_unpacklo_epi64(a, b);
        const __m128i hi = _mm_unpackhi_epi64(a, b);
        const __m128i n[4] = {
            _mm_and_si128(lo, nibble), _mm_and_si128(_mm_srli_epi16(lo, 4), nibble),
            _mm_and_si128(hi, nibble), _mm_and_si128(_mm_srli_epi16(hi, 4), nibble)};
        __m128i outLow = _mm_setzero_si128(), outHigh = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
            outLow = _mm_xor_si128(outLow, _mm_shuffle_epi8(low[k], n[k]));
            outHigh = _mm_xor_si128(outHigh, _mm_shuffle_epi8(high[k], n[k]));
        }
        __m128i* out = reinterpret_cast<__m128i*>(target + i);
        _mm_storeu_si128(out,
                         _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(outLow, outHigh)));
        _mm_storeu_si128(
            out + 1, _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(outLow, outHigh)));
    }
}

// 64 bytes of words as two vectors, the words' low bytes in one and their high bytes in the
// other; the shuffles work within each 16-byte lane, so the words come back (AddWords) in memory
// order lane by lane.
__attribute__((target("avx2"))) inline void SplitWords(const uint8_t* source, __m256i& low,
                                                       __m256i& high) {
    const __m256i split = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0,
                                           2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m256i a =
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source)), split);
    const __m256i b = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 32)), split);
    low = _mm256_unpacklo_epi64(a, b);
    high = _mm256_unpackhi_epi64(a, b);
}

// target ^= the 32 words whose bytes SplitWords took apart.
__attribute__((target("avx2"))) inline void AddWords(uint8_t* target, __m256i low, __m256i high) {
    __m256i* out = reinterpret_cast<__m256i*>(target);
    _mm256_storeu_si256(out,
                        _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(low, high)));
    _mm256_storeu_si256(
        out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(low, high)));
}

// The same 64 bytes at a time.
__attribute__((target("avx2"))) void
MultiplyAddAvx2(const uint8_t (*tables)[16], const uint8_t* source, uint8_t* target, size_t size) {
    __m256i low[4], high[4];
    for (int k = 0; k < 4; ++k) {
        low[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables[2 * k])));
        high[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables[2 * k + 1])));
    }
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    for (size_t i = 0; i + 64 <= size; i += 64) {
        __m256i lo, hi;
        SplitWords(source + i, lo, hi);
        const __m256i n[4] = {
            _mm256_and_si256(lo, nibble), _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble),
            _mm256_and_si256(hi, nibble), _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble)};
        __m256i outLow = _mm256_setzero_si256(), outHigh = _mm256_setzero_si256();
        for (int k = 0; k < 4; ++k) {
            outLow = _mm256_xor_si256(outLow, _mm256_shuffle_epi8(low[k], n[k]));
            outHigh = _mm256_xor_si256(outHigh, _mm256_shuffle_epi8(high[k], n[k]));
        }
        AddWords(target + i, outLow, outHigh);
    }
}

// Multiplying by a constant is linear over the bits, a 16 x 16 bit matrix: its four 8 x 8 corners
// take a word's low or high byte to the product's low or high byte. GF2P8AFFINEQB multiplies each
// byte by such a corner, so the product's bytes are two corners' results added. matrices[2 * from
// + to] is the corner from the low (0) or high (1) byte to the low or high one.
__attribute__((target("gfni,avx2"))) void
MultiplyAddGfni(const uint64_t* matrices, const uint8_t* source, uint8_t* target, size_t size) {
    const __m256i lowToLow = _mm256_set1_epi64x(static_cast<long long>(matrices[0]));
    const __m256i lowToHigh = _mm256_set1_epi64x(static_cast<long long>(matrices[1]));
    const __m256i highToLow = _mm256_set1_epi64x(static_cast<long long>(matrices[2]));
    const __m256i highToHigh = _mm256_set1_epi64x(static_cast<long long>(matrices[3]));
    for (size_t i = 0; i + 64 <= size; i += 64) {
        __m256i lo, hi;
        SplitWords(source + i, lo, hi);
        const __m256i outLow = _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(lo, lowToLow, 0),
                                                _mm256_gf2p8affine_epi64_epi8(hi, highToLow, 0));
        const __m256i outHigh = _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(lo, lowToHigh, 0),
                                                 _mm256_gf2p8affine_epi64_epi8(hi, highToHigh, 0));
        AddWords(target + i, outLow, outHigh);
    }
}

// The corners of factor's matrix as MultiplyAddGfni takes them. In GF2P8AFFINEQB's matrix, byte
// 7 - i is the row of output bit i: the input bits whose images have bit i set.
void GfniMatrices(uint16_t factor, uint64_t* matrices) {
    uint16_t images[16];
    for (int j = 0; j < 16; ++j)
        images[j] = Galois16::Multiply(factor, static_cast<uint16_t>(1u << j));
    for (int from = 0; from < 2; ++from) {
        for (int to = 0; to < 2; ++to) {
            uint64_t matrix = 0;
            for (int i = 0; i < 8; ++i) {
                uint64_t row = 0;
                for (int j = 0; j < 8; ++j)
                    row |= static_cast<uint64_t>((images[8 * from + j] >> (8 * to + i)) & 1) << j;
                matrix |= row << (8 * (7 - i));
            }
            matrices[2 * from + to] = matrix;
        }
    }
}
#endif

Galois16::Engine Picked() {
    if (gEngine < 0)
        gEngine = static_cast<int>(CpuFeatures::HasGfniAvx2() ? Galois16::Engine::Gfni
                                   : CpuFeatures::HasAvx2()   ? Galois16::Engine::Avx2
                                   : CpuFeatures::HasSsse3()  ? Galois16::Engine::Ssse3
                                                              : Galois16::Engine::Portable);
    return static_cast<Galois16::Engine>(gEngine);
}

} // namespace

Galois16::Engine Galois16::CurrentEngine() {
    return Picked();
}

bool Galois16::UseEngine(Engine engine) {
    if ((engine == Engine::Ssse3 && !CpuFeatures::HasSsse3()) ||
        (engine == Engine::Avx2 && !CpuFeatures::HasAvx2()) ||
        (engine == Engine::Gfni && !CpuFeatures::HasGfniAvx2()))
        return false;
    gEngine = static_cast<int>(engine);
    return true;
}

uint16_t Galois16::Multiply(uint16_t a, uint16_t b) {
    if (a == 0 || b == 0)
        return 0;
    const Tables& t = Get();
    return t.exp[t.log[a] + t.log[b]];
}

uint16_t Galois16::Inverse(uint16_t a) {
    const Tables& t = Get();
    return t.exp[kOrder - t.log[a]];
}

uint16_t Galois16::PowerOfTwo(uint32_t exponent) {
    return Get().exp[exponent % kOrder];
}

uint32_t Galois16::NextFullOrderExponent(uint32_t previous) {
    uint32_t n = previous + 1;
    while (n % 3 == 0 || n % 5 == 0 || n % 17 == 0 || n % 257 == 0)
        ++n;
    return n;
}

void Galois16::MultiplyAdd(uint16_t factor, const uint8_t* source, uint8_t* target, size_t size) {
    if (factor == 0)
        return;
#if defined(__i386__) || defined(__x86_64__)
    const Engine engine = Picked();
    if (size >= 64 && engine == Engine::Gfni) {
        uint64_t matrices[4];
        GfniMatrices(factor, matrices);
        const size_t whole = size & ~size_t{63};
        MultiplyAddGfni(matrices, source, target, whole);
        source += whole;
        target += whole;
        size -= whole;
        if (size == 0)
            return;
    } else if (size >= 64 && engine != Engine::Portable) {
        uint8_t tables[8][16];
        for (uint32_t k = 0; k < 4; ++k) {
            for (uint32_t v = 0; v < 16; ++v) {
                const uint16_t product = Multiply(factor, static_cast<uint16_t>(v << (4 * k)));
                tables[2 * k][v] = static_cast<uint8_t>(product);
                tables[2 * k + 1][v] = static_cast<uint8_t>(product >> 8);
            }
        }
        const size_t whole = size & (engine == Engine::Avx2 ? ~size_t{63} : ~size_t{31});
        if (engine == Engine::Avx2)
            MultiplyAddAvx2(tables, source, target, whole);
        else
            MultiplyAddSsse3(tables, source, target, whole);
        source += whole;
        target += whole;
        size -= whole;
        if (size == 0)
            return;
    }
#endif
    // factor * word = low[word & 0xFF] ^ high[word >> 8], the product being linear over XOR.
    uint16_t low[256];
    uint16_t high[256];
    for (uint32_t b = 0; b < 256; ++b) {
        low[b] = Multiply(factor, static_cast<uint16_t>(b));
        high[b] = Multiply(factor, static_cast<uint16_t>(b << 8));
    }
    // Two words at a time through 32-bit loads; the bytes stay in memory order, which on this
    // little-endian processor is the order of the words.
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        uint32_t in, out;
        memcpy(&in, source + i, 4);
        memcpy(&out, target + i, 4);
        out ^= static_cast<uint32_t>(low[in & 0xFF] ^ high[(in >> 8) & 0xFF]) |
               (static_cast<uint32_t>(low[(in >> 16) & 0xFF] ^ high[in >> 24]) << 16);
        memcpy(target + i, &out, 4);
    }
    for (; i + 2 <= size; i += 2) {
        const uint16_t word = static_cast<uint16_t>(source[i] | (source[i + 1] << 8));
        const uint16_t product = low[word & 0xFF] ^ high[word >> 8];
        target[i] ^= static_cast<uint8_t>(product);
        target[i + 1] ^= static_cast<uint8_t>(product >> 8);
    }
}

void Galois16::MultiplyInPlace(uint16_t factor, uint8_t* data, size_t size) {
    // data ^ (factor ^ 1) * data = factor * data. MultiplyAdd reads each word before it writes
    // it, so source and target may be the same.
    if (factor == 0)
        memset(data, 0, size);
    else
        MultiplyAdd(factor ^ 1, data, data, size);
}
