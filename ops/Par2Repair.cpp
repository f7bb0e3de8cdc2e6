#include "ops/Par2Repair.h"

#include "ops/Galois16.h"

#include <cstring>
#include <new>

Par2Repair::~Par2Repair() {
    Clear();
}

void Par2Repair::Clear() {
    delete[] rows;
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
    planned = false;
    solved = false;
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

// Takes blocks in rising order of exponent, each unless its row of weights for the missing
// slices depends on those taken before (then the system would have no single solution), until
// there is one per missing slice. The rows taken are kept reduced to an echelon form in matrix,
// the pivot column of each in rowOf. Returns how many it took.
int32_t Par2Repair::PickBlocks(const DynArray<bool>& bad) {
    const int32_t m = missing.Count();
    uint16_t* candidate = matrix.Items() + static_cast<size_t>(m) * m;
    picked.Clear();
    for (int32_t block = 0; block < set->RecoveryBlockCount() && picked.Count() < m; ++block) {
        if (bad[block])
            continue;
        const uint64_t exponent = set->RecoveryExponent(block);
        for (int32_t j = 0; j < m; ++j)
            candidate[j] = Galois16::PowerOfTwo(
                static_cast<uint32_t>(logs[missing[j]] * exponent % Galois16::kOrder));
        const int32_t taken = picked.Count();
        for (int32_t r = 0; r < taken; ++r) {
            const uint16_t* row = matrix.Items() + static_cast<size_t>(r) * m;
            const uint16_t factor = candidate[rowOf[r]];
            for (int32_t j = 0; factor != 0 && j < m; ++j)
                candidate[j] ^= Galois16::Multiply(factor, row[j]);
        }
        int32_t pivot = 0;
        while (pivot < m && candidate[pivot] == 0)
            ++pivot;
        if (pivot == m)
            continue;
        const uint16_t inverse = Galois16::Inverse(candidate[pivot]);
        uint16_t* row = matrix.Items() + static_cast<size_t>(taken) * m;
        for (int32_t j = 0; j < m; ++j)
            row[j] = Galois16::Multiply(candidate[j], inverse);
        rowOf[taken] = pivot;
        picked.Append(block); // reserved
    }
    return picked.Count();
}

bool Par2Repair::Plan(const Par2Set& source, const DynArray<int32_t>& list, int32_t& moreNeeded) {
    Clear();
    moreNeeded = 0;
    set = &source;
    sliceSize = source.SliceSize();
    const int32_t total = source.TotalSlices();
    const int32_t m = list.Count();
    if (!slot.ResizeUp(total) || !received.ResizeUp(total) || !logs.ResizeUp(total) ||
        !missing.Reserve(m))
        return false;
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
    if (m == 0) {
        planned = true;
        return true;
    }
    const int32_t blockCount = source.RecoveryBlockCount();
    if (blockCount < m) {
        moreNeeded = m - blockCount;
        return Fail(ERROR_INVALID_DATA);
    }
    const uint64_t bytes = static_cast<uint64_t>(m) * sliceSize;
    if (bytes <= SIZE_MAX)
        rows = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
    DynArray<bool> bad;
    if (!rows || static_cast<uint64_t>(m + 1) * m > 0x7FFFFFFF || !matrix.ResizeUp((m + 1) * m) ||
        !picked.Reserve(m) || !rowOf.ResizeUp(m) || !bad.ResizeUp(blockCount))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    for (bool& b : bad)
        b = false;
    // A block that no longer matches its checksum is left out, and the choice made again.
    for (bool allRead = false; !allRead;) {
        const int32_t rank = PickBlocks(bad);
        if (rank < m) {
            moreNeeded = m - rank;
            return Fail(ERROR_INVALID_DATA);
        }
        allRead = true;
        for (int32_t r = 0; r < m; ++r) {
            if (!source.ReadRecoveryBlock(picked[r], rows + static_cast<size_t>(r) * sliceSize)) {
                bad[picked[r]] = true;
                allRead = false;
            }
        }
    }
    planned = true;
    return true;
}

void Par2Repair::AddWords(int32_t slice, uint32_t offset, const uint8_t* data, uint32_t length) {
    if (length == 0)
        return;
    for (int32_t r = 0; r < missing.Count(); ++r)
        Galois16::MultiplyAdd(Factor(slice, r), data,
                              rows + static_cast<size_t>(r) * sliceSize + offset, length);
}

bool Par2Repair::AddSlice(int32_t slice, uint32_t offset, const void* data, uint32_t length) {
    if (!planned || solved)
        return Fail(ERROR_INVALID_FUNCTION);
    if (slice < 0 || slice >= slot.Count() || slot[slice] >= 0 || offset > sliceSize ||
        length > sliceSize - offset || length > sliceSize - received[slice])
        return Fail(ERROR_INVALID_PARAMETER);
    received[slice] += length;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    // The sums are of 16-bit words: a byte alone is a word with a zero for its other half.
    if (offset % 2 != 0 && length > 0) {
        const uint8_t pair[2] = {0, in[0]};
        AddWords(slice, offset - 1, pair, 2);
        ++offset;
        ++in;
        --length;
    }
    const uint32_t even = length & ~1u;
    AddWords(slice, offset, in, even);
    if (length % 2 != 0) {
        const uint8_t pair[2] = {in[even], 0};
        AddWords(slice, offset + even, pair, 2);
    }
    return true;
}

bool Par2Repair::Solve() {
    if (!planned || solved)
        return Fail(ERROR_INVALID_FUNCTION);
    for (int32_t file = 0; file < set->FileCount(); ++file) {
        for (int32_t s = 0; s < set->SliceCount(file); ++s) {
            const int32_t slice = set->FirstSlice(file) + s;
            const uint64_t rest = set->FileSize(file) - static_cast<uint64_t>(s) * sliceSize;
            if (slot[slice] < 0 && received[slice] < (rest < sliceSize ? rest : sliceSize))
                return Fail(ERROR_INVALID_FUNCTION);
        }
    }
    // Gauss-Jordan over the weights, each step done to the sums as well: in the end the row
    // with the pivot of column j holds missing slice j.
    const int32_t m = missing.Count();
    DynArray<bool> used;
    if (m > 0 && !used.ResizeUp(m))
        return false;
    for (int32_t r = 0; r < m; ++r) {
        used[r] = false;
        for (int32_t j = 0; j < m; ++j)
            matrix[r * m + j] = Factor(missing[j], r);
    }
    for (int32_t j = 0; j < m; ++j) {
        int32_t pivot = 0;
        while (pivot < m && (used[pivot] || matrix[pivot * m + j] == 0))
            ++pivot;
        if (pivot == m)
            return Fail(ERROR_INVALID_DATA); // Plan picked independent rows: not reached
        used[pivot] = true;
        rowOf[j] = pivot;
        uint16_t* top = matrix.Items() + pivot * m;
        uint8_t* topData = rows + static_cast<size_t>(pivot) * sliceSize;
        const uint16_t inverse = Galois16::Inverse(top[j]);
        for (int32_t k = j; k < m; ++k)
            top[k] = Galois16::Multiply(top[k], inverse);
        Galois16::MultiplyInPlace(inverse, topData, sliceSize);
        for (int32_t r = 0; r < m; ++r) {
            uint16_t* row = matrix.Items() + r * m;
            const uint16_t factor = row[j];
            if (r == pivot || factor == 0)
                continue;
            for (int32_t k = j; k < m; ++k)
                row[k] ^= Galois16::Multiply(factor, top[k]);
            Galois16::MultiplyAdd(factor, topData, rows + static_cast<size_t>(r) * sliceSize,
                                  sliceSize);
        }
    }
    solved = true;
    return true;
}

const uint8_t* Par2Repair::RebuiltSlice(int32_t index) const {
    if (!solved || index < 0 || index >= missing.Count())
        return nullptr;
    return rows + static_cast<size_t>(rowOf[index]) * sliceSize;
}
