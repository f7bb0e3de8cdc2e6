#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/ChecksumList.h"

#include <cstddef>
#include <cstdint>

// The checks other tools list a file by: cksfv's CRC32, md5sum's MD5, sha1sum's SHA-1.
enum class OtherKind : uint8_t { Crc32, Md5, Sha1 };

// The bytes of a check of the kind, as its list writes them (CRC32 high byte first).
uint32_t CheckBytes(OtherKind kind);

struct OtherCheck {
    uint8_t bytes[20];
};

bool SameCheck(OtherKind kind, const OtherCheck& a, const OtherCheck& b);

// One line of another tool's list: part number (from 1), or 0 for the whole file.
struct OtherEntry {
    uint32_t part;
    OtherCheck check;
};

// A list another tool left beside the parts, for the whole file named wholeName: an .sfv of
// cksfv's ("<name> <8 hex digits>" per line, ';' for comments, blank lines) or an md5sum or
// sha1sum list ("<hex>  <name>" or "<hex> *<name>", '#' for comments, '\' for escaped names).
// Whatever is in the file is taken as hostile: a list that is not exactly that, or that names any
// file but the whole file and its parts, is refused as a whole.
class OtherList {
public:
    bool Parse(OtherKind kind, const char* text, size_t length, const wchar_t* wholeName);
    void Refuse(ListProblem why, uint32_t line = 0);

    OtherKind Kind() const { return kind; }
    ListProblem Problem() const { return problem; }
    uint32_t ProblemLine() const { return problemLine; }
    // The part entries, by rising part number.
    const DynArray<OtherEntry>& Parts() const { return parts; }
    bool HasWhole() const { return hasWhole; }
    const OtherCheck& Whole() const { return whole; }
    // The check it gives the part (from 1), or null.
    const OtherCheck* ForPart(uint32_t number) const;
    // A few words on the problem, for the status bar.
    void DescribeProblem(WideString& text) const;

private:
    bool ParseSfvLine(const char* line, size_t length, const wchar_t* wholeName, uint32_t number);
    bool ParseSumLine(const char* line, size_t length, const wchar_t* wholeName, uint32_t number);
    bool Take(const char* hex, const char* name, size_t nameLength, const wchar_t* wholeName,
              uint32_t number);
    bool Fail(ListProblem why, uint32_t line);

    OtherKind kind = OtherKind::Crc32;
    DynArray<OtherEntry> parts;
    OtherCheck whole{};
    bool hasWhole = false;
    ListProblem problem = ListProblem::None;
    uint32_t problemLine = 0;
};
