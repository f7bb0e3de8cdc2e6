#include "recovery/Crc32.h"

#include "toolkit/CpuFeatures.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Eight tables, so that eight bytes go through at a time: table k gives the effect of a byte
// followed by k zero bytes.
struct CrcTables {
    uint32_t t[8][256];

    constexpr CrcTables() : t{} {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n) {
            for (int k = 1; k < 8; ++k)
                t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
        }
    }
};

constexpr CrcTables kTables;

uint32_t UpdateWithTables(uint32_t c, const uint8_t* in, size_t size) {
    for (; size >= 8; size -= 8, in += 8) {
        const uint32_t low =
            c ^ (static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                 (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24));
        c = kTables.t[7][low & 0xFF] ^ kTables.t[6][(low >> 8) & 0xFF] ^
            kTables.t[5][(low >> 16) & 0xFF] ^ kTables.t[4][low >> 24] ^ kTables.t[3][in[4]] ^
            kTables.t[2][in[5]] ^ kTables.t[1][in[6]] ^ kTables.t[0][in[7]];
    }
    for (; size != 0; --size, ++in)
        c = kTables.t[0][(c ^ *in) & 0xFF] ^ (c >> 8);
    return c;
}

// Until the first use picks, none.
int gEngine = -1;

#if defined(__i386__) || defined(__x86_64__)
// The polynomial with its x^32 term, bits in the usual order (0xEDB88320 is it reflected).
constexpr uint64_t kPolynomial = 0x104C11DB7;

constexpr uint64_t Reflect33(uint64_t v) {
    uint64_t r = 0;
    for (int i = 0; i < 33; ++i)
        r |= ((v >> i) & 1) << (32 - i);
    return r;
}

// x^n mod P, reflected as the multiplications below take it: folding a value n bits further
// along the stream multiplies it by this.
constexpr uint64_t FoldConstant(int n) {
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t{1} << 32))
            r ^= kPolynomial;
    }
    return Reflect33(r);
}

// floor(x^64 / P), reflected: the Barrett reduction's estimate of the quotient.
constexpr uint64_t BarrettQuotient() {
    uint64_t q = 0;
    uint64_t rest = 0; // the remainder so far, below x^32
    for (int i = 64; i >= 0; --i) {
        rest = (rest << 1) | (i == 64 ? 1 : 0);
        if (rest & (uint64_t{1} << 32)) {
            rest ^= kPolynomial;
            q |= uint64_t{1} << i;
        }
    }
    return Reflect33(q);
}

// Multiplies both halves of x by their constants (low by low, high by high) and adds them: x
// moved as far along the stream as the constants say.
__attribute__((target("sse2,pclmul"))) inline __m128i Fold(__m128i x, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00),
                         _mm_clmulepi64_si128(x, constants, 0x11));
}

__attribute__((target("sse2"))) inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The checksum state after size bytes (a multiple of 16, at least 64): four 16-byte lanes fold
// 64 bytes at a time, then into one, then down to 32 bits.
__attribute__((target("sse2,pclmul"))) uint32_t UpdateWithPclmul(uint32_t c, const uint8_t* in,
                                                                 size_t size) {
    const __m128i by512 = _mm_set_epi64x(static_cast<long long>(FoldConstant(512 - 32)),
                                         static_cast<long long>(FoldConstant(512 + 32)));
    const __m128i by128 = _mm_set_epi64x(static_cast<long long>(FoldConstant(128 - 32)),
                                         static_cast<long long>(FoldConstant(128 + 32)));
    const __m128i by64 = _mm_set_epi64x(0, static_cast<long long>(FoldConstant(64)));
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(BarrettQuotient()),
                                           static_cast<long long>(Reflect33(kPolynomial)));
    const __m128i low32 = _mm_setr_epi32(-1, 0, 0, 0);

    __m128i x0 = _mm_xor_si128(Load(in), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = Load(in + 16), x2 = Load(in + 32), x3 = Load(in + 48);
    in += 64;
    size -= 64;
    for (; size >= 64; size -= 64, in += 64) {
        x0 = _mm_xor_si128(Fold(x0, by512), Load(in));
        x1 = _mm_xor_si128(Fold(x1, by512), Load(in + 16));
        x2 = _mm_xor_si128(Fold(x2, by512), Load(in + 32));
        x3 = _mm_xor_si128(Fold(x3, by512), Load(in + 48));
    }
    __m128i x = _mm_xor_si128(Fold(x0, by128), x1);
    x = _mm_xor_si128(Fold(x, by128), x2);
    x = _mm_xor_si128(Fold(x, by128), x3);
    for (; size >= 16; size -= 16, in += 16)
        x = _mm_xor_si128(Fold(x, by128), Load(in));
    // 128 bits to 96, then to 64, each fold adding the 32 zero bits a CRC appends.
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, by128, 0x10));
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, low32), by64, 0x00));
    // 64 bits to the 32 of the remainder.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x, t), 4)));
}
#endif

Crc32::Engine Picked() {
    if (gEngine < 0)
        gEngine = static_cast<int>(CpuFeatures::HasPclmul() ? Crc32::Engine::Pclmul
                                                            : Crc32::Engine::Portable);
    return static_cast<Crc32::Engine>(gEngine);
}

} // namespace

Crc32::Engine Crc32::CurrentEngine() {
    return Picked();
}

bool Crc32::UseEngine(Engine engine) {
    if (engine == Engine::Pclmul && !CpuFeatures::HasPclmul())
        return false;
    gEngine = static_cast<int>(engine);
    return true;
}

void Crc32::Update(const void* data, size_t size) {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    uint32_t c = inverted;
#if defined(__i386__) || defined(__x86_64__)
    if (size >= 64 && Picked() == Engine::Pclmul) {
        const size_t whole = size & ~size_t{15};
        c = UpdateWithPclmul(c, in, whole);
        in += whole;
        size -= whole;
    }
#endif
    inverted = UpdateWithTables(c, in, size);
}
