#pragma once

#include <cstddef>
#include <cstdint>

// Hands data to visit in pieces small enough to stay in the first-level cache, so that several
// checksums of the same bytes (a slice's MD5 and CRC32, its file's MD5) read memory once between
// them: visit(piece, size) runs all of them on one piece before the next.
template <class Visit> void InCachePieces(const uint8_t* data, size_t size, Visit visit) {
    constexpr size_t kPieceBytes = 8 * 1024;
    while (size != 0) {
        const size_t n = size < kPieceBytes ? size : kPieceBytes;
        visit(data, n);
        data += n;
        size -= n;
    }
}
