#pragma once

#include "recovery/Md5.h"

#include <cstdint>
#include <cstring>

// What the packets of a PAR 2.0 recovery set look like, for the creator and the reader: where
// each field stands and how long it is, and the one way its numbers are written.
namespace par2 {

// A field of a packet, from the start of its header or of its body. A field that repeats (the
// main packet's IDs, the slice checksums) is given by its first copy; the others follow it.
struct Field {
    uint32_t at;
    uint32_t bytes;

    constexpr uint32_t End() const { return at + bytes; }
    // Copy n of a field that repeats (n below the format's bounds).
    constexpr Field Nth(uint32_t n) const { return {at + n * bytes, bytes}; }
    // Where n copies of a field that repeats end.
    constexpr uint64_t EndOf(uint64_t n) const { return at + n * bytes; }
};

// Every packet starts with a header: the magic, the packet's length (header included), the MD5 of
// everything from the set ID on, the set ID and the type.
struct Header {
    static constexpr Field kMagic = {0, 8};
    static constexpr Field kLength = {kMagic.End(), 8};
    static constexpr Field kHash = {kLength.End(), 16};
    static constexpr Field kSetId = {kHash.End(), 16};
    static constexpr Field kType = {kSetId.End(), 16};
    static constexpr uint32_t kHashedFrom = kSetId.at;
};
constexpr uint32_t kHeaderBytes = Header::kType.End();
static_assert(kHeaderBytes == 64, "a packet header is 64 bytes");

// Names and texts are padded with zeros to whole 4-byte words: every packet's length is a
// multiple of 4.
constexpr uint32_t kPacketAlign = 4;
constexpr uint64_t Padded(uint64_t bytes) {
    return (bytes + kPacketAlign - 1) / kPacketAlign * kPacketAlign;
}

// The set: its slice size and the IDs of the files it can rebuild, in the order of the IDs. The
// set ID is the MD5 of this body.
struct MainBody {
    static constexpr Field kSliceSize = {0, 8};
    static constexpr Field kFileCount = {kSliceSize.End(), 4};
    static constexpr Field kFileId = {kFileCount.End(), 16};
    static constexpr uint64_t Bytes(uint64_t ids) { return kFileId.EndOf(ids); }
};

// A file: its ID, the MD5 of its bytes and of its first 16 KiB, its size and its name (UTF-8).
struct DescriptionBody {
    static constexpr Field kFileId = {0, 16};
    static constexpr Field kFileHash = {kFileId.End(), 16};
    static constexpr Field kHeadHash = {kFileHash.End(), 16};
    static constexpr Field kFileSize = {kHeadHash.End(), 8};
    static constexpr uint32_t kNameAt = kFileSize.End();
    static constexpr uint64_t Bytes(uint64_t nameBytes) { return kNameAt + Padded(nameBytes); }
};

// The checksums of a file's slices, each zero-padded to the slice size: an entry a slice, which
// holds the slice's MD5 and CRC32.
struct ChecksumsBody {
    static constexpr Field kFileId = {0, 16};
    static constexpr Field kSliceHash = {0, 16}; // within an entry
    static constexpr Field kSliceCrc = {kSliceHash.End(), 4};
    static constexpr Field kEntry = {kFileId.End(), kSliceCrc.End()};
    static constexpr uint64_t Bytes(uint64_t slices) { return kEntry.EndOf(slices); }
};

// A recovery block: the exponent that made it, then its slice-size bytes.
struct RecoveryBody {
    static constexpr Field kExponent = {0, 4};
    static constexpr uint32_t kDataAt = kExponent.End();
    static constexpr uint64_t Bytes(uint64_t sliceSize) { return kDataAt + sliceSize; }
};

// The program that made the set, as text.
struct CreatorBody {
    static constexpr uint32_t kTextAt = 0;
    static constexpr uint64_t Bytes(uint64_t textBytes) { return kTextAt + Padded(textBytes); }
};

// As many input slices as there are slice constants of the field.
constexpr int32_t kMaxSlices = 32768;
constexpr uint8_t kMagic[Header::kMagic.bytes] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
constexpr uint8_t kMainType[Header::kType.bytes] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                                    'M', 'a', 'i', 'n', 0,   0,   0,   0};
constexpr uint8_t kFileDescType[Header::kType.bytes] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                                        'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr uint8_t kSliceChecksumType[Header::kType.bytes] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                                             'I', 'F', 'S', 'C', 0,   0,   0,   0};
constexpr uint8_t kRecoveryType[Header::kType.bytes] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                                        'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr uint8_t kCreatorType[Header::kType.bytes] = {'P', 'A', 'R', ' ', '2', '.', '0', 0,
                                                       'C', 'r', 'e', 'a', 't', 'o', 'r', 0};

// A little-endian number of `bytes` bytes (at most 8), as every number of the format is written.
inline uint64_t GetLe(const uint8_t* at, uint32_t bytes) {
    uint64_t value = 0;
    for (uint32_t i = bytes; i-- > 0;)
        value = (value << 8) | at[i];
    return value;
}

inline void PutLe(uint8_t* at, uint64_t value, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The number in a field of the header or body at base.
inline uint64_t Get(const uint8_t* base, Field field) {
    return GetLe(base + field.at, field.bytes);
}

inline void Put(uint8_t* base, Field field, uint64_t value) {
    PutLe(base + field.at, value, field.bytes);
}

// An MD5 digest or an ID, 16 bytes, in a field.
inline Md5Digest GetDigest(const uint8_t* base, Field field) {
    Md5Digest digest;
    memcpy(digest.bytes, base + field.at, sizeof digest.bytes);
    return digest;
}

// Bytes as they stand in a field, such as a digest, the magic or a type.
inline void PutBytes(uint8_t* base, Field field, const uint8_t* bytes) {
    memcpy(base + field.at, bytes, field.bytes);
}

inline bool Holds(const uint8_t* base, Field field, const uint8_t* bytes) {
    return memcmp(base + field.at, bytes, field.bytes) == 0;
}

} // namespace par2
