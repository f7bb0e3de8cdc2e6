#include "toolkit/CpuFeatures.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

struct Features {
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;
    bool sha = false;
    bool pclmul = false;
    bool gfniAvx2 = false;
};

Features Detect() {
    Features found;
#if defined(__i386__) || defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return found;
    constexpr unsigned kPclmul = 1u << 1, kSsse3 = 1u << 9, kSse41 = 1u << 19, kOsXsave = 1u << 27,
                       kAvx = 1u << 28;
    found.pclmul = (c & kPclmul) != 0;
    found.ssse3 = (c & kSsse3) != 0;
    found.sse41 = (c & kSse41) != 0;
    bool ymmSaved = false;
    if ((c & (kOsXsave | kAvx)) == (kOsXsave | kAvx)) {
        unsigned xcr0 = 0, xcr0High = 0;
        __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
        ymmSaved = (xcr0 & 6) == 6;
    }
    if (__get_cpuid_max(0, nullptr) < 7)
        return found;
    __cpuid_count(7, 0, a, b, c, d);
    constexpr unsigned kAvx2 = 1u << 5, kSha = 1u << 29, kGfni = 1u << 8;
    found.avx2 = ymmSaved && (b & kAvx2) != 0;
    found.sha = (b & kSha) != 0;
    found.gfniAvx2 = found.avx2 && (c & kGfni) != 0;
#endif
    return found;
}

const Features& Detected() {
    static const Features features = Detect();
    return features;
}

} // namespace

bool CpuFeatures::HasSsse3() {
    return Detected().ssse3;
}

bool CpuFeatures::HasSse41() {
    return Detected().sse41;
}

bool CpuFeatures::HasAvx2() {
    return Detected().avx2;
}

bool CpuFeatures::HasSha() {
    return Detected().sha;
}

bool CpuFeatures::HasPclmul() {
    return Detected().pclmul;
}

bool CpuFeatures::HasGfniAvx2() {
    return Detected().gfniAvx2;
}
