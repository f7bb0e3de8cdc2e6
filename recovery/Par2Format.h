#pragma once

#include <cstdint>

// What the packets of a PAR 2.0 recovery set look like, for the creator and the reader. Every
// packet starts with a 64-byte header: the magic, its length (8 bytes, little-endian, header
// included), the MD5 of everything from the set ID on, the set ID and the type.
namespace par2 {

constexpr uint32_t kHeaderBytes = 64;
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

} // namespace par2
