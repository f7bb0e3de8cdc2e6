#pragma once

#include <cstddef>
#include <cstdint>

struct Md5Digest {
    uint8_t bytes[16];
};

inline bool operator==(const Md5Digest& a, const Md5Digest& b) {
    for (int i = 0; i < 16; ++i) {
        if (a.bytes[i] != b.bytes[i])
            return false;
    }
    return true;
}
inline bool operator!=(const Md5Digest& a, const Md5Digest& b) {
    return !(a == b);
}

// MD5 (RFC 1321) of a stream fed in pieces. Recovery files name and check everything by it; it
// is no protection against anyone who means harm, which SHA-256 is there for.
class Md5 {
public:
    Md5() { Reset(); }

    void Reset();
    void Update(const void* data, size_t size);
    // Feeds the same data to two streams, such as a file's and its slice's, in one pass: the two
    // chains of steps run side by side, in not much more time than one alone.
    static void UpdateBoth(Md5& first, Md5& second, const void* data, size_t size);
    // The digest of everything fed since the last reset; the object starts over afterwards.
    Md5Digest Finish();

private:
    void Blocks(const uint8_t* data, size_t count);

    uint32_t state[4];
    uint8_t block[64];
    uint64_t length;
    uint32_t filled;
};
