#pragma once

#include "app/DynArray.h"
#include "ops/CheckPieces.h"
#include "recovery/Par2Set.h"

#include <cstdint>

// The check of a set's parts from the bytes a join moves, with no read of its own: each part's
// bytes come in order, every slice is hashed as it fills (the last as if zeros filled it up)
// and held against the set. One slice that disagrees, or a part that runs past its size, breaks
// the stream for good: the parts are then read on their own.
class StreamCheck {
public:
    explicit StreamCheck(const Par2Set& recoverySet) : set(recoverySet) {}
    StreamCheck(const StreamCheck&) = delete;
    StreamCheck& operator=(const StreamCheck&) = delete;

    // Begins with the files of the set that are parts; false when they hold no slice.
    bool Begin(const DynArray<int32_t>& parts);
    // The next bytes of file `index` of the set; byCrc: its slices are held against their CRC32
    // (the checksum list vouches for the part), else against their MD5. False once broken.
    bool Chunk(int32_t index, bool byCrc, const void* data, uint32_t length);
    // After a part's last bytes, the zeros that fill its last slice are hashed a piece at a
    // time: while Padding() is true, Pad() goes on with them before anything else.
    bool Padding() const { return pad != 0; }
    bool Pad();
    bool Broken() const { return broken; }
    // Every slice of every part came through and matched.
    bool Whole() const { return !broken && slicesMatched == slices; }

private:
    bool EndSlice();
    bool Break();

    const Par2Set& set;
    CheckPieces::Hashes hashes;
    int32_t file = -1; // of the set: the part coming in
    bool fileByCrc = false;
    uint64_t offset = 0; // within the part
    int32_t slices = 0;  // of the parts
    int32_t slicesMatched = 0;
    uint64_t pad = 0; // zeros still to hash into the slice
    bool broken = false;
};
