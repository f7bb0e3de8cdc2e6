#pragma once

#include <cstddef>
#include <cstdint>

struct Sha256Digest {
    uint8_t bytes[32];
};

inline bool operator==(const Sha256Digest& a, const Sha256Digest& b) {
    for (int i = 0; i < 32; ++i) {
        if (a.bytes[i] != b.bytes[i])
            return false;
    }
    return true;
}
inline bool operator!=(const Sha256Digest& a, const Sha256Digest& b) {
    return !(a == b);
}

// SHA-256 (FIPS 180-4) of a stream fed in pieces. The block function is picked once per process:
// the processor's SHA extensions when it has them, else plain code.
class Sha256 {
public:
    enum class Engine : int32_t { Portable = 0, ShaExtensions = 1 };

    Sha256() { Reset(); }

    void Reset();
    void Update(const void* data, size_t size);
    // Feeds the same data to two streams, in about the time of one when both stand at the same
    // place in their 64-byte blocks.
    static void UpdateBoth(Sha256& first, Sha256& second, const void* data, size_t size);
    // The digest of everything fed since the last reset; the object starts over afterwards.
    Sha256Digest Final();

    // Whether this processor has the SHA extensions (and SSE4.1 with them).
    static bool HasShaExtensions();
    static Engine CurrentEngine();
    // Benchmarks and tests pick a path; an engine the processor lacks is not taken (false).
    static bool UseEngine(Engine engine);

private:
    uint32_t state[8];
    uint8_t block[64];
    uint64_t length;
    uint32_t filled;
};

// The 64 lowercase hex digits of a digest, plus a NUL.
void Sha256Hex(const Sha256Digest& digest, char hex[65]);
