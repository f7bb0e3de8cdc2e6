#include "ops/OtherList.h"

#include "ops/TextLines.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

uint32_t CheckBytes(OtherKind kind) {
    return kind == OtherKind::Crc32 ? 4 : kind == OtherKind::Md5 ? 16 : 20;
}

bool SameCheck(OtherKind kind, const OtherCheck& a, const OtherCheck& b) {
    return memcmp(a.bytes, b.bytes, CheckBytes(kind)) == 0;
}

bool OtherList::Fail(ListProblem why, uint32_t line) {
    parts.Clear();
    hasWhole = false;
    problem = why;
    problemLine = line;
    return false;
}

void OtherList::Refuse(ListProblem why, uint32_t line) {
    Fail(why, line);
}

bool OtherList::Parse(OtherKind listKind, const char* text, size_t length,
                      const wchar_t* wholeName) {
    kind = listKind;
    parts.Clear();
    hasWhole = false;
    problem = ListProblem::None;
    problemLine = 0;
    if (memchr(text, '\0', length))
        return Fail(ListProblem::NulByte, 0);
    TextLines lines(text, length);
    const char* line = nullptr;
    size_t lineLength = 0;
    while (lines.Next(line, lineLength)) {
        const bool taken = kind == OtherKind::Crc32
                               ? ParseSfvLine(line, lineLength, wholeName, lines.Number())
                               : ParseSumLine(line, lineLength, wholeName, lines.Number());
        if (!taken)
            return false;
    }
    if (parts.Count() == 0 && !hasWhole)
        return Fail(ListProblem::Nothing, 0);
    std::sort(parts.begin(), parts.end(),
              [](const OtherEntry& a, const OtherEntry& b) { return a.part < b.part; });
    for (int32_t i = 1; i < parts.Count(); ++i) {
        if (parts[i].part == parts[i - 1].part)
            return Fail(ListProblem::Twice, 0);
    }
    return true;
}

bool OtherList::ParseSfvLine(const char* line, size_t length, const wchar_t* wholeName,
                             uint32_t number) {
    size_t used = length;
    while (used != 0 && IsBlank(line[used - 1]))
        --used;
    if (used == 0 || line[0] == ';')
        return true; // a blank line or a comment, as every SFV reader takes them
    // The check is the last word, the name all before the blanks in front of it.
    constexpr size_t kHex = 8;
    if (used < kHex + 2 || !IsBlank(line[used - kHex - 1]))
        return Fail(ListProblem::BadLine, number);
    size_t nameLength = used - kHex - 1;
    while (nameLength != 0 && IsBlank(line[nameLength - 1]))
        --nameLength;
    if (nameLength == 0)
        return Fail(ListProblem::BadLine, number);
    return Take(line + used - kHex, line, nameLength, wholeName, number);
}

bool OtherList::ParseSumLine(const char* line, size_t length, const wchar_t* wholeName,
                             uint32_t number) {
    if (length != 0 && line[0] == '#')
        return true; // a comment, as GNU md5sum and sha1sum allow
    const bool escaped = length != 0 && line[0] == '\\';
    if (escaped) {
        ++line;
        --length;
    }
    const size_t hex = 2 * CheckBytes(kind);
    if (length < hex + 3 || line[hex] != ' ' || (line[hex + 1] != ' ' && line[hex + 1] != '*'))
        return Fail(ListProblem::BadLine, number);
    const char* name = line + hex + 2;
    const size_t nameLength = length - hex - 2;
    if (!escaped)
        return Take(line, name, nameLength, wholeName, number);
    if (nameLength > kListedNameBytes)
        return Fail(ListProblem::OutsideName, number);
    char plain[kListedNameBytes];
    size_t plainLength = 0;
    if (!UnescapeSumName(name, nameLength, plain, plainLength))
        return Fail(ListProblem::BadLine, number);
    return Take(line, plain, plainLength, wholeName, number);
}

bool OtherList::Take(const char* hex, const char* name, size_t nameLength, const wchar_t* wholeName,
                     uint32_t number) {
    OtherEntry entry{0, {}};
    for (uint32_t i = 0; i < CheckBytes(kind); ++i) {
        const int high = HexDigitValue(hex[2 * i]);
        const int low = HexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return Fail(ListProblem::BadLine, number);
        entry.check.bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    SetFileRole role;
    if (!RoleOfListedName(name, nameLength, wholeName, role, entry.part))
        return Fail(ListProblem::BadLine, number);
    switch (role) {
    case SetFileRole::Foreign:
        return Fail(ListProblem::OutsideName, number);
    case SetFileRole::Whole:
        if (hasWhole)
            return Fail(ListProblem::Twice, number);
        hasWhole = true;
        whole = entry.check;
        return true;
    case SetFileRole::Part:
        break;
    }
    if (!parts.Append(entry))
        return Fail(ListProblem::TooLarge, number);
    return true;
}

const OtherCheck* OtherList::ForPart(uint32_t number) const {
    const OtherEntry* found =
        std::lower_bound(parts.begin(), parts.end(), number,
                         [](const OtherEntry& entry, uint32_t n) { return entry.part < n; });
    return found != parts.end() && found->part == number ? &found->check : nullptr;
}

void OtherList::DescribeProblem(WideString& text) const {
    static const wchar_t* const kLines[] = {L"an SFV", L"an MD5", L"a SHA-1"};
    switch (problem) {
    case ListProblem::BadLine:
        text.Format(L"line %u is not %s line", problemLine, kLines[static_cast<int>(kind)]);
        break;
    default: {
        // The other problems read as the SHA-256 list's do.
        ChecksumList same;
        same.Refuse(problem, problemLine);
        same.DescribeProblem(text);
        break;
    }
    }
}
