#pragma once

#include "app/WideString.h"
#include "ops/ChecksumList.h"

#include <cstddef>
#include <cstdint>

// The file that file managers leave beside the parts of a split: the whole file's name, size and
// CRC32 on the lines "filename=<name>", "size=<decimal>" and "crc32=<8 hex digits>", each once,
// in any order. Taken as hostile: anything else, or another file's name, refuses it as a whole.
class WholeCrcList {
public:
    bool Parse(const char* text, size_t length, const wchar_t* wholeName);
    void Refuse(ListProblem why, uint32_t line = 0);

    ListProblem Problem() const { return problem; }
    uint64_t Size() const { return size; }
    uint32_t Crc() const { return crc; }
    void DescribeProblem(WideString& text) const;

private:
    bool ParseLine(const char* line, size_t length, const wchar_t* wholeName, uint32_t number);
    bool Fail(ListProblem why, uint32_t line);

    uint64_t size = 0;
    uint32_t crc = 0;
    uint32_t seen = 0; // one bit per line kind
    ListProblem problem = ListProblem::None;
    uint32_t problemLine = 0;
};
