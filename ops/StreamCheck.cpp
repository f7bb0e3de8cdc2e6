#include "ops/StreamCheck.h"

namespace {

// The zeros that fill a part's last slice for its hash, at most this many at a time.
constexpr uint32_t kPadBytes = 4 * 1024 * 1024;

} // namespace

bool StreamCheck::Begin(const DynArray<int32_t>& parts) {
    slices = 0;
    for (int32_t index : parts)
        slices += set.SliceCount(index);
    file = -1;
    offset = 0;
    slicesMatched = 0;
    pad = 0;
    broken = false;
    hashes.slice.Reset();
    return slices != 0;
}

bool StreamCheck::Chunk(int32_t index, bool byCrc, const void* data, uint32_t length) {
    if (broken || length == 0)
        return !broken;
    if (index != file) {
        file = index;
        fileByCrc = byCrc;
        offset = 0;
        hashes.slice.Reset();
        hashes.sliceCrc.Reset();
    }
    const uint64_t fileSize = set.FileSize(index);
    const uint32_t sliceSize = set.SliceSize();
    // More bytes than the set gives the part, or a slice still open: it changed since.
    if (length > fileSize - offset || pad != 0)
        return Break();
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const uint32_t room = sliceSize - static_cast<uint32_t>(offset % sliceSize);
        const uint32_t n = length < room ? length : room;
        CheckPieces::HashSlice(hashes, fileByCrc, bytes, n);
        bytes += n;
        length -= n;
        offset += n;
        const uint32_t filled = static_cast<uint32_t>(offset % sliceSize);
        if (filled == 0 && !EndSlice())
            return false;
        if (filled != 0 && offset == fileSize) {
            pad = sliceSize - filled;
            return Pad();
        }
    }
    return true;
}

bool StreamCheck::Pad() {
    const uint32_t n = static_cast<uint32_t>(pad < kPadBytes ? pad : kPadBytes);
    CheckPieces::HashZeros(hashes, fileByCrc, n);
    pad -= n;
    return pad != 0 || EndSlice();
}

bool StreamCheck::EndSlice() {
    const int32_t s = set.FirstSlice(file) + static_cast<int32_t>((offset - 1) / set.SliceSize());
    const bool agrees = fileByCrc ? hashes.sliceCrc.Value() == set.SliceCrc(s)
                                  : hashes.slice.Finish() == set.SliceHash(s);
    hashes.sliceCrc.Reset();
    if (!agrees)
        return Break();
    ++slicesMatched;
    return true;
}

bool StreamCheck::Break() {
    broken = true;
    pad = 0;
    return false;
}
