#pragma once

// What this processor offers the vector code paths, asked of it once per process. Elsewhere than
// on x86 every answer is no.
class CpuFeatures {
public:
    static bool HasSsse3();
    static bool HasSse41();
    // AVX2, and a system that saves the YMM registers across switches.
    static bool HasAvx2();
    // The SHA extensions.
    static bool HasSha();
    // Carry-less multiplication (PCLMULQDQ).
    static bool HasPclmul();
    // The Galois field instructions, in their 256-bit form (with AVX2).
    static bool HasGfniAvx2();
};
