#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"
#include "recovery/Par2Set.h"
#include "toolkit/PageMemory.h"

#include <cstdint>

// Rebuilds missing slices of a recovery set from its recovery blocks.
//
// Each recovery block is a sum over every slice of the set times a power of the slice's
// constant. ReadBlocks reads as many blocks as there are missing slices; the slices that are there
// then come through AddSlice, which takes their share out of those sums, leaving a system of
// equations in the missing slices alone, which Solve solves in place. ReadBlocks and Solve go in
// calls of bounded work, however large the set, so that a window can stay responsive between
// them. Memory: one slice per missing slice, and 2 bytes per pair of missing slices for the
// weights.
class Par2Repair {
public:
    Par2Repair() = default;
    ~Par2Repair();
    Par2Repair(const Par2Repair&) = delete;
    Par2Repair& operator=(const Par2Repair&) = delete;

    // missing: set-wide slice numbers, each once. False with ERROR_INVALID_PARAMETER when the list
    // is not, ERROR_NOT_ENOUGH_MEMORY when missing.Count() slices can't be had. Reads nothing. The
    // set must outlive the repair. A set with fewer blocks than missing slices takes no memory
    // for them: its ReadBlocks only counts the intact blocks, and fails for want of them.
    bool Plan(const Par2Set& set, const DynArray<int32_t>& missing);
    // Picks recovery blocks and reads them, one per missing slice, at most about `bytes` of
    // reading and arithmetic a call; done turns true once all are in. A block that turns out
    // damaged or unreadable is left out and another taken. False with ERROR_INVALID_DATA and
    // MoreNeeded() > 0 when the intact blocks are too few.
    bool ReadBlocks(uint32_t bytes, bool& done);
    // Before ReadBlocks: the blocks' hashes are begun but not finished, so that their bytes can
    // be hashed elsewhere, on other threads; a damaged block is then taken all the same, and must
    // be found out there before Solve. False with ERROR_NOT_ENOUGH_MEMORY.
    bool LeaveBlockHashes();
    bool BlockHashesLeft() const { return rowHashes.Count() != 0; }
    // Once the blocks are in, so left: row's packet hash up to its bytes, and what it must come
    // to with them.
    const Md5& BlockHashBegun(int32_t row) const { return rowHashes[row]; }
    const Md5Digest& BlockHashWanted(int32_t row) const;
    // Planned with fewer distinct blocks than missing slices: ReadBlocks only counts the intact
    // ones, and fails.
    bool OnlyCounting() const { return counting; }
    // How many more intact blocks it would take, once ReadBlocks failed for want of them.
    int32_t MoreNeeded() const { return moreNeeded; }
    // Every slice that is not missing, each byte once, whole or in pieces in any order, once the
    // blocks are read; length + offset <= SliceSize. Bytes past the end of a file's last slice
    // count as zeros.
    bool AddSlice(int32_t slice, uint32_t offset, const void* data, uint32_t length);
    // AddSlice in two steps, so that threads can share out the arithmetic: TakeSlice checks and
    // counts the bytes, on one thread; AddSliceRows then takes their share out of the sums from
    // firstRow up to endRow (of 0 to Rows()), where threads at once keep to rows of their own.
    bool TakeSlice(int32_t slice, uint32_t offset, uint32_t length);
    void AddSliceRows(int32_t slice, uint32_t offset, const void* data, uint32_t length,
                      int32_t firstRow, int32_t endRow);
    int32_t Rows() const { return missing.Count(); }
    // Once every present slice is in, at most about `bytes` of arithmetic a call; done turns true
    // once solved. False with ERROR_INVALID_FUNCTION when a present slice is not complete.
    bool Solve(uint32_t bytes, bool& done);
    // How far the ReadBlocks or the Solve under way has come, 0 to 1; 0 between them.
    float Progress() const;
    // The rows' memory, fresh once planned (whole pages), for the caller to bring its pages in
    // ahead of the blocks read into it; valid until the next Plan.
    uint8_t* RowMemory() const { return rows; }
    size_t RowBytes() const { return rows ? static_cast<size_t>(missing.Count()) * sliceSize : 0; }
    // SliceSize rebuilt bytes of missing[index], after Solve; valid until the next Plan.
    const uint8_t* RebuiltSlice(int32_t index) const;

private:
    void Clear();
    bool Fail(DWORD error);
    uint16_t Factor(int32_t slice, int32_t row) const;
    uint64_t PickStep();
    bool StartSolve();
    bool CountBlocks(uint32_t bytes);
    bool SolveStep(uint32_t most, uint64_t& spent);
    void AddWords(int32_t slice, uint32_t offset, const uint8_t* data, uint32_t length,
                  int32_t firstRow, int32_t endRow);

    const Par2Set* set = nullptr;
    uint32_t sliceSize = 0;
    DynArray<int32_t> missing;
    DynArray<int32_t> slot;      // per slice of the set: its index in missing, or -1
    DynArray<uint32_t> received; // per slice: bytes taken so far
    DynArray<uint16_t> logs;     // per slice: the logarithm of its constant
    DynArray<int32_t> picked;    // per row: the recovery block it started from
    DynArray<uint16_t> matrix;   // rows by missing slices, and a row for a candidate block
    DynArray<int32_t> rowOf;     // per row, while picking: its pivot; per missing slice, while
                                 // solving: the row that holds it once solved
    DynArray<bool> used;         // per row: a pivot already
    PageMemory rowMemory;        // one slice per missing slice
    uint8_t* rows = nullptr;     // where rowMemory starts
    bool planned = false;
    bool counting = false;        // too few blocks: they are only counted
    int32_t intact = 0;           // blocks counted intact, of distinct exponents
    uint32_t countedExponent = 0; // the last of them
    DynArray<uint8_t> scratch;    // what a counted block is read into
    DynArray<Md5> rowHashes;      // per row, where the blocks' hashes are left to the caller
    bool solved = false;
    int32_t moreNeeded = 0;

    // Where ReadBlocks stands: rows read, the next block to weigh, how many rows the candidate is
    // reduced by (-1: none weighed), the row being read and how far.
    int32_t taken = 0;
    int32_t nextBlock = 0;
    int32_t reduced = -1;
    bool reading = false;
    uint32_t readOffset = 0;
    uint64_t bytesRead = 0; // blocks left out included
    Md5 blockHash;

    // Where Solve stands: rows of weights made, the column, its pivot row (-1: not found yet),
    // the row taking the pivot's share out (-1: the pivot row being scaled) and how far.
    bool solving = false;
    int32_t filled = 0;
    int32_t column = 0;
    int32_t pivot = -1;
    int32_t solveRow = -1;
    uint32_t solveOffset = 0;
};
