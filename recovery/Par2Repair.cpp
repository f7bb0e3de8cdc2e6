#include "recovery/Par2Repair.h"

#include "recovery/Galois16.h"
#include "toolkit/BringInPages.h"

#include <cstring>
#include <new>

namespace {

// Work with single words, such as the weights', counts as this many bytes of the multiply-add of
// whole runs, which tables make much faster per word.
constexpr uint64_t kWordBytes = 32;
// The piece a block is read in when the blocks are only counted.
constexpr uint32_t kCountPiece = 1024 * 1024;

// An even length of a run of words: what is left of it, but no more than the budget allows.
uint32_t Run(uint32_t left, uint64_t budget) {
    const uint64_t most = budget < 2 ? 2 : budget & ~uint64_t{1};
    return left < most ? left : static_cast<uint32_t>(most);
}

} // namespace

Par2Repair::~Par2Repair() {
    Clear();
}

void Par2Repair::Clear() {
    rowMemory.Release();
    rows = nullptr;
    set = nullptr;
    sliceSize = 0;
    missing.Clear();
    slot.Clear();
    received.Clear();
    logs.Clear();
    picked.Clear();
    matrix.Clear();
    rowOf.Clear();
    used.Clear();
    scratch.Clear();
    rowHashes.Clear();
    planned = false;
    counting = false;
    intact = 0;
    solved = false;
    moreNeeded = 0;
    taken = 0;
    nextBlock = 0;
    reduced = -1;
    reading = false;
    readOffset = 0;
    bytesRead = 0;
    solving = false;
    filled = 0;
    column = 0;
    pivot = -1;
    solveRow = -1;
    solveOffset = 0;
}

bool Par2Repair::Fail(DWORD error) {
    ::SetLastError(error);
    return false;
}

// The weight of the slice in the row's recovery block: its constant to the block's exponent.
uint16_t Par2Repair::Factor(int32_t slice, int32_t row) const {
    const uint64_t exponent = set->RecoveryExponent(picked[row]);
    return Galois16::PowerOfTwo(static_cast<uint32_t>(logs[slice] * exponent % Galois16::kOrder));
}

// Weighs the next block as a candidate: its row of weights for the missing slices, reduced by the
// rows taken before, one at a time. Blocks go in rising order of exponent, each taken unless it
// depends on those before (then the system would have no single solution). The rows taken are
// kept reduced to an echelon form in matrix, the pivot column of each in rowOf. Returns the work
// done, in bytes.
uint64_t Par2Repair::PickStep() {
    const int32_t m = missing.Count();
    uint16_t* candidate = matrix.Items() + static_cast<size_t>(m) * m;
    if (reduced < 0) {
        const uint64_t exponent = set->RecoveryExponent(nextBlock);
        for (int32_t j = 0; j < m; ++j)
            candidate[j] = Galois16::PowerOfTwo(
                static_cast<uint32_t>(logs[missing[j]] * exponent % Galois16::kOrder));
        reduced = 0;
        return m * kWordBytes;
    }
    if (reduced < taken) {
        const uint16_t* by = matrix.Items() + static_cast<size_t>(reduced) * m;
        const uint16_t factor = candidate[rowOf[reduced]];
        for (int32_t j = 0; factor != 0 && j < m; ++j)
            candidate[j] ^= Galois16::Multiply(factor, by[j]);
        ++reduced;
        return m * kWordBytes;
    }
    reduced = -1;
    int32_t first = 0;
    while (first < m && candidate[first] == 0)
        ++first;
    if (first < m) {
        const uint16_t inverse = Galois16::Inverse(candidate[first]);
        uint16_t* to = matrix.Items() + static_cast<size_t>(taken) * m;
        for (int32_t j = 0; j < m; ++j)
            to[j] = Galois16::Multiply(candidate[j], inverse);
        rowOf[taken] = first;
        picked[taken] = nextBlock;
        reading = true;
        readOffset = 0;
    }
    ++nextBlock;
    return m * kWordBytes;
}

bool Par2Repair::Plan(const Par2Set& source, const DynArray<int32_t>& list) {
    Clear();
    set = &source;
    sliceSize = source.SliceSize();
    const int32_t total = source.TotalSlices();
    const int32_t m = list.Count();
    if (!slot.ResizeUp(total) || !received.ResizeUp(total) || !logs.ResizeUp(total) ||
        !missing.Reserve(m))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    uint32_t exponent = 0;
    for (int32_t i = 0; i < total; ++i) {
        slot[i] = -1;
        received[i] = 0;
        exponent = Galois16::NextFullOrderExponent(exponent);
        logs[i] = static_cast<uint16_t>(exponent);
    }
    for (int32_t k = 0; k < m; ++k) {
        const int32_t slice = list[k];
        if (slice < 0 || slice >= total || slot[slice] >= 0)
            return Fail(ERROR_INVALID_PARAMETER);
        slot[slice] = k;
        missing.Append(slice);
    }
    // Fewer blocks than missing slices can rebuild nothing: ReadBlocks then only counts the
    // intact ones, through a small buffer, to tell exactly how many more it would take, and the
    // memory of the rows is never asked for.
    int32_t distinct = 0;
    for (int32_t b = 0; b < source.RecoveryBlockCount(); ++b)
        distinct += b == 0 || source.RecoveryExponent(b) != source.RecoveryExponent(b - 1);
    if (distinct < m) {
        const uint32_t piece = sliceSize < kCountPiece ? sliceSize : kCountPiece;
        if (!scratch.ResizeUp(static_cast<int32_t>(piece)))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        counting = true;
        planned = true;
        return true;
    }
    if (m > 0) {
        const uint64_t bytes = static_cast<uint64_t>(m) * sliceSize;
        if (bytes <= SIZE_MAX && rowMemory.Allocate(static_cast<size_t>(bytes)))
            rows = rowMemory.Get();
        if (!rows || static_cast<uint64_t>(m + 1) * m > 0x7FFFFFFF ||
            !matrix.ResizeUp((m + 1) * m) || !picked.ResizeUp(m) || !rowOf.ResizeUp(m) ||
            !used.ResizeUp(m))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    planned = true;
    return true;
}

// Reads the blocks through, one of each exponent that is intact, to count them.
bool Par2Repair::CountBlocks(uint32_t bytes) {
    const int32_t count = set->RecoveryBlockCount();
    for (uint64_t spent = 0; spent < bytes;) {
        if (!reading) {
            // Copies of a block already found intact add nothing.
            while (nextBlock < count && intact > 0 &&
                   set->RecoveryExponent(nextBlock) == countedExponent)
                ++nextBlock;
            if (nextBlock == count) {
                moreNeeded = missing.Count() - intact;
                return Fail(ERROR_INVALID_DATA);
            }
            reading = true;
            readOffset = 0;
        }
        const uint64_t budget = bytes - spent;
        uint32_t n = sliceSize - readOffset;
        n = n < static_cast<uint32_t>(scratch.Count()) ? n : static_cast<uint32_t>(scratch.Count());
        n = n < budget ? n : static_cast<uint32_t>(budget);
        spent += n;
        bytesRead += n;
        if (!set->ReadRecoveryPiece(nextBlock, readOffset, scratch.Items(), n, blockHash, true)) {
            reading = false;
            ++nextBlock;
            continue;
        }
        readOffset += n;
        if (readOffset == sliceSize) {
            reading = false;
            countedExponent = set->RecoveryExponent(nextBlock);
            ++intact;
            ++nextBlock;
        }
    }
    return true;
}

bool Par2Repair::ReadBlocks(uint32_t bytes, bool& done) {
    done = false;
    if (!planned || solving)
        return Fail(ERROR_INVALID_FUNCTION);
    if (counting)
        return CountBlocks(bytes);
    const int32_t m = missing.Count();
    for (uint64_t spent = 0; spent < bytes;) {
        if (taken == m) {
            done = true;
            return true;
        }
        if (!reading) {
            // Every block is either read or shown to add nothing to those read: so when they
            // run out, the count of those still needed is exact.
            if (reduced < 0 && nextBlock == set->RecoveryBlockCount()) {
                moreNeeded = m - taken;
                return Fail(ERROR_INVALID_DATA);
            }
            spent += PickStep();
            continue;
        }
        const uint64_t budget = bytes - spent;
        const uint32_t n = sliceSize - readOffset < budget ? sliceSize - readOffset
                                                           : static_cast<uint32_t>(budget);
        uint8_t* data = rows + static_cast<size_t>(taken) * sliceSize + readOffset;
        // Fresh memory: brought in ahead of the read.
        BringInPages(data, n);
        spent += n;
        bytesRead += n;
        const bool leave = BlockHashesLeft();
        if (!set->ReadRecoveryPiece(picked[taken], readOffset, data, n,
                                    leave ? rowHashes[taken] : blockHash, !leave)) {
            reading = false; // left out: the blocks after it are weighed for its row
            continue;
        }
        readOffset += n;
        if (readOffset == sliceSize) {
            reading = false;
            ++taken;
        }
    }
    done = taken == m;
    return true;
}

void Par2Repair::AddWords(int32_t slice, uint32_t offset, const uint8_t* data, uint32_t length,
                          int32_t firstRow, int32_t endRow) {
    if (length == 0)
        return;
    for (int32_t r = firstRow; r < endRow; ++r)
        Galois16::MultiplyAdd(Factor(slice, r), data,
                              rows + static_cast<size_t>(r) * sliceSize + offset, length);
}

bool Par2Repair::AddSlice(int32_t slice, uint32_t offset, const void* data, uint32_t length) {
    if (!TakeSlice(slice, offset, length))
        return false;
    AddSliceRows(slice, offset, data, length, 0, missing.Count());
    return true;
}

bool Par2Repair::TakeSlice(int32_t slice, uint32_t offset, uint32_t length) {
    if (!planned || taken < missing.Count() || solving)
        return Fail(ERROR_INVALID_FUNCTION);
    if (slice < 0 || slice >= slot.Count() || slot[slice] >= 0 || offset > sliceSize ||
        length > sliceSize - offset || length > sliceSize - received[slice])
        return Fail(ERROR_INVALID_PARAMETER);
    received[slice] += length;
    return true;
}

void Par2Repair::AddSliceRows(int32_t slice, uint32_t offset, const void* data, uint32_t length,
                              int32_t firstRow, int32_t endRow) {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    // The sums are of 16-bit words: a byte alone is a word with a zero for its other half.
    if (offset % 2 != 0 && length > 0) {
        const uint8_t pair[2] = {0, in[0]};
        AddWords(slice, offset - 1, pair, 2, firstRow, endRow);
        ++offset;
        ++in;
        --length;
    }
    const uint32_t even = length & ~1u;
    AddWords(slice, offset, in, even, firstRow, endRow);
    if (length % 2 != 0) {
        const uint8_t pair[2] = {in[even], 0};
        AddWords(slice, offset + even, pair, 2, firstRow, endRow);
    }
}

bool Par2Repair::StartSolve() {
    for (int32_t file = 0; file < set->FileCount(); ++file) {
        for (int32_t s = 0; s < set->SliceCount(file); ++s) {
            const int32_t slice = set->FirstSlice(file) + s;
            const uint64_t rest = set->FileSize(file) - static_cast<uint64_t>(s) * sliceSize;
            if (slot[slice] < 0 && received[slice] < (rest < sliceSize ? rest : sliceSize))
                return Fail(ERROR_INVALID_FUNCTION);
        }
    }
    solving = true;
    return true;
}

// Gauss-Jordan over the weights, each step done to the sums as well: in the end the row with the
// pivot of column j holds missing slice j. The sums go in runs of at most `most` bytes; spent
// grows by the work done.
bool Par2Repair::SolveStep(uint32_t most, uint64_t& spent) {
    const int32_t m = missing.Count();
    if (filled < m) {
        for (int32_t j = 0; j < m; ++j)
            matrix[filled * m + j] = Factor(missing[j], filled);
        used[filled++] = false;
        spent += m * kWordBytes;
        return true;
    }
    if (pivot < 0) {
        pivot = 0;
        while (pivot < m && (used[pivot] || matrix[pivot * m + column] == 0))
            ++pivot;
        if (pivot == m)
            return Fail(ERROR_INVALID_DATA); // ReadBlocks took independent rows: not reached
        used[pivot] = true;
        rowOf[column] = pivot;
        solveRow = -1;
        solveOffset = 0;
        spent += m * kWordBytes;
        return true;
    }
    uint16_t* top = matrix.Items() + pivot * m;
    const uint8_t* topData = rows + static_cast<size_t>(pivot) * sliceSize;
    const uint32_t n = Run(sliceSize - solveOffset, most);
    if (solveRow < 0) {
        // The pivot row is scaled whole before it takes its share out of any other.
        const uint16_t inverse = Galois16::Inverse(top[column]);
        Galois16::MultiplyInPlace(inverse,
                                  rows + static_cast<size_t>(pivot) * sliceSize + solveOffset, n);
        solveOffset += n;
        spent += n;
        if (solveOffset == sliceSize) {
            for (int32_t k = column; k < m; ++k)
                top[k] = Galois16::Multiply(top[k], inverse);
            solveRow = 0;
            solveOffset = 0;
            spent += m * kWordBytes;
        }
        return true;
    }
    uint16_t* weights = matrix.Items() + solveRow * m;
    const uint16_t factor = weights[column];
    if (solveRow == pivot || factor == 0) {
        if (++solveRow == m && ++column < m)
            pivot = -1;
        spent += kWordBytes;
        return true;
    }
    Galois16::MultiplyAdd(factor, topData + solveOffset,
                          rows + static_cast<size_t>(solveRow) * sliceSize + solveOffset, n);
    solveOffset += n;
    spent += n;
    if (solveOffset < sliceSize)
        return true;
    for (int32_t k = column; k < m; ++k)
        weights[k] ^= Galois16::Multiply(factor, top[k]);
    solveOffset = 0;
    if (++solveRow == m && ++column < m)
        pivot = -1;
    spent += m * kWordBytes;
    return true;
}

bool Par2Repair::Solve(uint32_t bytes, bool& done) {
    done = false;
    if (!planned || taken < missing.Count() || solved)
        return Fail(ERROR_INVALID_FUNCTION);
    if (!solving && !StartSolve())
        return false;
    for (uint64_t spent = 0; spent < bytes && column < missing.Count();) {
        if (!SolveStep(static_cast<uint32_t>(bytes - spent), spent))
            return false;
    }
    solved = done = column == missing.Count();
    return true;
}

float Par2Repair::Progress() const {
    const int32_t m = missing.Count();
    if (m == 0 || solved)
        return 1.0f;
    const double slice = sliceSize;
    if (!solving && taken == m)
        return 0.0f;
    // Never back, when a block read is left out: at most 1 while others are read in its place.
    if (!solving)
        return static_cast<float>(bytesRead < m * slice ? bytesRead / (m * slice) : 1.0);
    // Per column: the pivot row scaled, then the others.
    const double inColumn =
        pivot < 0 ? 0.0 : (solveRow < 0 ? 0.0 : 1.0 + solveRow) + solveOffset / slice;
    return static_cast<float>((column * (m + 1.0) + inColumn) / (m * (m + 1.0)));
}

bool Par2Repair::LeaveBlockHashes() {
    if (!planned || counting || taken != 0 || reading)
        return Fail(ERROR_INVALID_FUNCTION);
    if (!rowHashes.ResizeUp(missing.Count()))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    for (Md5& hash : rowHashes)
        new (&hash) Md5();
    return true;
}

const Md5Digest& Par2Repair::BlockHashWanted(int32_t row) const {
    return set->RecoveryHash(picked[row]);
}

const uint8_t* Par2Repair::RebuiltSlice(int32_t index) const {
    if (!solved || index < 0 || index >= missing.Count())
        return nullptr;
    return rows + static_cast<size_t>(rowOf[index]) * sliceSize;
}
