#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

// Rebuilt parts are written under temporary names beside their places, "<place>.rebuilding"
// (numbered when taken), and take those places all together once every one is proven. A file at
// a place is kept aside under the first free name "<place>.damaged", ".damaged2", ...; nothing is
// ever renamed over another file. Should a rename fail, those done are undone, so that every part
// keeps its own name.
class PartSwap {
public:
    PartSwap() = default;
    ~PartSwap() { RemoveTemporaries(); }
    PartSwap(const PartSwap&) = delete;
    PartSwap& operator=(const PartSwap&) = delete;

    // Room for `count` parts, none of them begun; temporaries of an earlier round are removed.
    // False when the memory is not there.
    bool Begin(int32_t count);
    // Creates part k's temporary file for `place`, open in `file`. False with the last error.
    bool CreateTemporary(int32_t k, const WideString& place, SyncFile& file);
    // Every part begun takes its place. False with the last error: FailedAt() is the part whose
    // rename failed, FailedStep() the message for it ("... %s ..." for its name), and every
    // part is as before.
    bool Swap();
    int32_t FailedAt() const { return failedAt; }
    const wchar_t* FailedStep() const { return failedStep; }
    // Deletes the temporary files still there: after a swap, none are.
    void RemoveTemporaries();

private:
    struct Part {
        WideString place;
        WideString temporary;
        WideString aside;
    };

    // Renames `from` to the first free name `from` + suffix, suffix2, ...
    static bool MoveToFreeName(const WideString& from, const wchar_t* suffix, WideString& to);
    // Puts part k back as it was before the swap.
    void Undo(int32_t k);

    DynArray<Part> parts;
    int32_t failedAt = -1;
    const wchar_t* failedStep = nullptr;
};
