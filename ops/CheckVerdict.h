#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/OperationOutcome.h"

#include <cstdint>
#include <cwchar>

// What a check found of a set, part by part, and what it means: the one line at the top of the
// report, and the report as text for the clipboard and the console.
class CheckVerdict {
public:
    enum class State : uint8_t { Good, Damaged, Missing, WrongSize, NotVouched };

    struct Row {
        State state;
        uint64_t size; // as found; 0 when missing
    };

    // Rows for parts 1 to partCount, each missing until told otherwise.
    bool Reset(uint32_t partCount);
    uint32_t PartCount() const { return static_cast<uint32_t>(rows.Count()); }
    const Row& RowOf(uint32_t number) const { return rows[static_cast<int32_t>(number) - 1]; }
    void Set(uint32_t number, State state, uint64_t size);
    // Part `number`'s slices first to last (from 0) disagree with the recovery set; rising, one
    // run at a time, the parts in rising order.
    bool AddBadSlices(uint32_t number, int32_t first, int32_t last);
    // What vouched for the parts, e.g. "SHA-256" or "SHA-256, PAR2".
    void SetVouchers(const wchar_t* names) {
        vouchers.Assign(names, static_cast<uint32_t>(wcslen(names)));
    }
    // The recovery data beside the parts: none, or the blocks a rebuild needs of those it has,
    // and how many more it would take when they are too few.
    void SetRecovery(int32_t needed, int32_t available, int32_t more);
    // A line for the whole file disagrees with what the parts make together.
    void SetWholeDamaged() { wholeDamaged = true; }

    // "All 12 parts are good (SHA-256)", "Part 7 is damaged and part 9 missing; the recovery data
    // can rebuild both (2 of 3 blocks needed)", ...
    void Summary(WideString& text) const;
    // The summary, then a line per part: name, size and state, separated by tabs; each line
    // ends in lineEnd.
    void Report(const wchar_t* wholeName, WideString& text, const wchar_t* lineEnd = L"\r\n") const;
    // The state of a part in words, with its bad slices where known ("damaged (slices 3-5)").
    void StateText(uint32_t number, WideString& text) const;
    // As a join would end: Done when every part is good, Incomplete when one is missing (or of
    // the wrong size), Damaged when one is damaged.
    OperationOutcome Outcome() const;
    bool Repairable() const { return hasRecovery && more == 0 && needed > 0; }

private:
    struct SliceRun {
        uint32_t number;
        int32_t first;
        int32_t last;
    };
    int32_t Count(State state) const;
    uint32_t First(State state) const;
    void AppendProblem(WideString& text, State state, const wchar_t* one, const wchar_t* many,
                       bool& first) const;

    DynArray<Row> rows;
    DynArray<SliceRun> badSlices;
    WideString vouchers;
    bool wholeDamaged = false;
    bool hasRecovery = false;
    int32_t needed = 0;
    int32_t available = 0;
    int32_t more = 0;
};
