#include "ops/Galois16.h"

#include <cstring>

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

} // namespace

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
