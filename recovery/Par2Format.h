#pragma once

#include "recovery/Md5.h"

#include <cstdint>
#include <cstring>

// What the packets of a PAR 2.0 recovery set look like, for the creator and the reader. Every
// packet starts with a 64-byte header: the magic, its length (8 bytes, little-endian, header
// included), the MD5 of everything from the set ID on, the set ID and the type.
namespace par2 {

constexpr uint32_t kHeaderBytes = 64;
// As many input slices as there are slice constants of the field.
constexpr int32_t kMaxSlices = 32768;
constexpr uint8_t kMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
constexpr uint8_t kMainType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                   'M', 'a', 'i', 'n', 0,   0,   0,   0};
constexpr uint8_t kFileDescType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                       'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr uint8_t kSliceChecksumType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                            'I', 'F', 'S', 'C', 0,   0,   0,   0};
constexpr uint8_t kRecoveryType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                       'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr uint8_t kCreatorType[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                      'C', 'r', 'e', 'a', 't', 'o', 'r', 0};

// A little-endian number of `bytes` bytes (at most 8), as every field of the format is written.
inline uint64_t GetLittle(const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

inline void PutLittle(uint8_t* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// An MD5 digest or a 16-byte ID as it stands in a packet.
inline Md5Digest DigestAt(const uint8_t* at) {
    Md5Digest digest;
    memcpy(digest.bytes, at, 16);
    return digest;
}

} // namespace par2
