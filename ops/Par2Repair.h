#pragma once

#include "app/DynArray.h"
#include "ops/Par2Set.h"

#include <cstdint>

// Rebuilds missing slices of a recovery set from its recovery blocks.
//
// Each recovery block is a sum over every slice of the set times a power of the slice's
// constant. Plan reads as many blocks as there are missing slices; the slices that are there then
// come through AddSlice, which takes their share out of those sums, leaving a system of equations
// in the missing slices alone, which Solve solves in place. Memory: one slice per missing slice,
// and 2 bytes per pair of missing slices for the weights.
class Par2Repair {
public:
    Par2Repair() = default;
    ~Par2Repair();
    Par2Repair(const Par2Repair&) = delete;
    Par2Repair& operator=(const Par2Repair&) = delete;

    // missing: set-wide slice numbers, each once. False with ERROR_INVALID_DATA and moreNeeded
    // > 0 when the set's intact recovery blocks are too few (moreNeeded: how many more it would
    // take), ERROR_NOT_ENOUGH_MEMORY when missing.Count() slices can't be had. Reads the blocks
    // it picks from the volumes, so it may take a while for big ones. The set must outlive the
    // repair.
    bool Plan(const Par2Set& set, const DynArray<int32_t>& missing, int32_t& moreNeeded);
    // Every slice that is not missing, each byte once, whole or in pieces in any order; length
    // + offset <= SliceSize. Bytes past the end of a file's last slice count as zeros.
    bool AddSlice(int32_t slice, uint32_t offset, const void* data, uint32_t length);
    // Once every present slice is in: false with ERROR_INVALID_FUNCTION when one is not complete.
    bool Solve();
    // SliceSize rebuilt bytes of missing[index], after Solve; valid until the next Plan.
    const uint8_t* RebuiltSlice(int32_t index) const;

private:
    void Clear();
    bool Fail(DWORD error);
    uint16_t Factor(int32_t slice, int32_t row) const;
    int32_t PickBlocks(const DynArray<bool>& bad);
    void AddWords(int32_t slice, uint32_t offset, const uint8_t* data, uint32_t length);

    const Par2Set* set = nullptr;
    uint32_t sliceSize = 0;
    DynArray<int32_t> missing;
    DynArray<int32_t> slot;      // per slice of the set: its index in missing, or -1
    DynArray<uint32_t> received; // per slice: bytes taken so far
    DynArray<uint16_t> logs;     // per slice: the logarithm of its constant
    DynArray<int32_t> picked;    // per row: the recovery block it started from
    DynArray<uint16_t> matrix;   // rows by missing slices
    DynArray<int32_t> rowOf;     // per missing slice: the row that holds it once solved
    uint8_t* rows = nullptr;     // one slice per missing slice
    bool planned = false;
    bool solved = false;
};
