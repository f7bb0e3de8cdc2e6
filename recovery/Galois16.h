#pragma once

#include <cstddef>
#include <cstdint>

// Arithmetic in GF(2^16) as recovery files use it: the field made by the polynomial 0x1100B,
// whose element 2 generates every non-zero element. Addition is XOR; multiplication goes through
// logarithm tables that are made once per process.
class Galois16 {
public:
    static constexpr uint32_t kOrder = 65535; // non-zero elements; 2^kOrder = 1

    static uint16_t Multiply(uint16_t a, uint16_t b);
    // The b with a * b = 1; a is not 0.
    static uint16_t Inverse(uint16_t a);
    // 2 to the power exponent (taken modulo kOrder).
    static uint16_t PowerOfTwo(uint32_t exponent);

    // The exponent after previous whose power of two has the full order kOrder, so that its
    // powers never repeat early: one that is no multiple of 3, 5, 17 or 257 (the factors of
    // kOrder). Input slice i gets constant 2^n with n the i-th such exponent from 1 on (start
    // with previous 0); there are 32768 of them.
    static uint32_t NextFullOrderExponent(uint32_t previous);

    // target ^= factor * source, word by word, over size bytes taken as 16-bit little-endian
    // words (size even). Worth it for long runs: it makes tables for the factor first.
    static void MultiplyAdd(uint16_t factor, const uint8_t* source, uint8_t* target, size_t size);

    // How MultiplyAdd works: through 256-entry tables, or 32 or 64 bytes at a time through the
    // processor's byte shuffle (SSSE3, AVX2) or its bit-matrix multiply (GFNI), picked at the
    // first use from what the processor and the system have.
    enum class Engine { Portable, Ssse3, Avx2, Gfni };
    static Engine CurrentEngine();
    // For tests and benchmarks; false when the processor lacks it.
    static bool UseEngine(Engine engine);
    // data = factor * data, word by word, as MultiplyAdd takes them.
    static void MultiplyInPlace(uint16_t factor, uint8_t* data, size_t size);
};
