#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "recovery/Sha256.h"

#include <cstddef>
#include <cstdint>

// One line of a checksum list: part number (from 1), or 0 for the whole file.
struct ChecksumEntry {
    uint32_t part;
    Sha256Digest digest;
};

// Why a list beside the parts is not trusted.
enum class ListProblem : int32_t {
    None = 0,
    Unreadable,  // the file can't be read
    TooLarge,    // larger than any list of this set can be
    NulByte,     // binary, not text
    BadLine,     // not "<64 hex digits>  <name>" (nor " *<name>"), or not UTF-8
    OutsideName, // a folder, or a file that is not the whole file nor one of its parts
    Twice,       // a file named a second time
    Nothing,     // no file named at all
};

// The SHA-256 list that a split leaves beside its parts, in the format of GNU sha256sum: per line
// 64 hex digits, two blanks (or a blank and '*'), the file name without folder. Whatever is in
// the file is taken as hostile: a list that is not exactly that is refused as a whole.
class ChecksumList {
public:
    // Takes the text of a list for the whole file named wholeName (no folder). False, with
    // Problem() and ProblemLine() set, when the list is refused.
    bool Parse(const char* text, size_t length, const wchar_t* wholeName);
    // For a list that could not even be read.
    void Refuse(ListProblem why, uint32_t line = 0);

    ListProblem Problem() const { return problem; }
    uint32_t ProblemLine() const { return problemLine; }
    // The part entries, by rising part number.
    const DynArray<ChecksumEntry>& Parts() const { return parts; }
    // Whether the list has a line for part `number` (from 1); a binary search.
    bool Names(uint32_t number) const;
    bool HasWhole() const { return hasWhole; }
    // The list of a split that never finished: the whole file's line still has no digest.
    bool SplitUnfinished() const;
    const Sha256Digest& Whole() const { return whole; }
    // A few words on the problem, for the status bar.
    void DescribeProblem(WideString& text) const;

private:
    bool ParseLine(const char* line, size_t length, const wchar_t* wholeName, uint32_t number);
    bool Fail(ListProblem why, uint32_t line);

    DynArray<ChecksumEntry> parts;
    Sha256Digest whole{};
    bool hasWhole = false;
    ListProblem problem = ListProblem::None;
    uint32_t problemLine = 0;
};

// The digest a split's list gives the whole file until the split is complete. No data has it:
// finding a preimage of the zero digest is beyond reach.
constexpr Sha256Digest kUnfinishedSplit = {};

// The most bytes of a list a join reads; a larger file is refused unread. Fixed, and generous:
// a limit worked out from the parts found would refuse the list of a set that lost some, which is
// exactly when the list is needed to tell.
constexpr uint64_t kChecksumListLimit = 64ull * 1024 * 1024;

// The bytes of the list a split into partCount parts writes for a whole file whose name takes
// nameBytes in UTF-8: a line per part and one for the whole file.
uint64_t ChecksumListSize(uint32_t partCount, uint64_t nameBytes);

// Appends "<hex>  <name>\n" with the name in UTF-8. False when memory runs out or the name can't
// be converted (last error set).
bool AppendChecksumLine(DynArray<char>& text, const Sha256Digest& digest, const wchar_t* name);
