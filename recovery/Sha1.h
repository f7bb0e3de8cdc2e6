#pragma once

#include <cstddef>
#include <cstdint>

struct Sha1Digest {
    uint8_t bytes[20];
};

// SHA-1 (FIPS 180-4) of a stream fed in pieces. Only to read the lists sha1sum writes: it is
// broken against anyone who means harm, which SHA-256 is there for.
class Sha1 {
public:
    Sha1() { Reset(); }

    void Reset();
    void Update(const void* data, size_t size);
    // The digest of everything fed since the last reset; the object starts over afterwards.
    Sha1Digest Finish();

private:
    void Blocks(const uint8_t* data, size_t count);

    uint32_t state[5];
    uint8_t block[64];
    uint64_t length;
    uint32_t filled;
};
