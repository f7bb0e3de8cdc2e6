#include "ops/WholeCrcList.h"

#include "ops/TextLines.h"

#include <cstring>

namespace {

constexpr uint32_t kNameSeen = 1;
constexpr uint32_t kSizeSeen = 2;
constexpr uint32_t kCrcSeen = 4;
constexpr uint32_t kAllSeen = kNameSeen | kSizeSeen | kCrcSeen;

// The value after "key=" when the line starts so (in any case), else null.
const char* ValueOf(const char* line, size_t length, const char* key, size_t& valueLength) {
    const size_t keyLength = strlen(key);
    if (length <= keyLength || line[keyLength] != '=' || _strnicmp(line, key, keyLength) != 0)
        return nullptr;
    valueLength = length - keyLength - 1;
    return line + keyLength + 1;
}

} // namespace

bool WholeCrcList::Fail(ListProblem why, uint32_t line) {
    problem = why;
    problemLine = line;
    return false;
}

void WholeCrcList::Refuse(ListProblem why, uint32_t line) {
    Fail(why, line);
}

bool WholeCrcList::Parse(const char* text, size_t length, const wchar_t* wholeName) {
    seen = 0;
    size = 0;
    crc = 0;
    problem = ListProblem::None;
    problemLine = 0;
    if (memchr(text, '\0', length))
        return Fail(ListProblem::NulByte, 0);
    TextLines lines(text, length);
    const char* line = nullptr;
    size_t lineLength = 0;
    while (lines.Next(line, lineLength)) {
        if (!ParseLine(line, lineLength, wholeName, lines.Number()))
            return false;
    }
    if (seen == 0)
        return Fail(ListProblem::Nothing, 0);
    // Without all three it checks nothing for certain.
    if (seen != kAllSeen)
        return Fail(ListProblem::BadLine, 0);
    return true;
}

bool WholeCrcList::ParseLine(const char* line, size_t length, const wchar_t* wholeName,
                             uint32_t number) {
    if (length == 0)
        return true;
    size_t valueLength = 0;
    uint32_t kind = 0;
    const char* value = nullptr;
    if ((value = ValueOf(line, length, "filename", valueLength)) != nullptr)
        kind = kNameSeen;
    else if ((value = ValueOf(line, length, "size", valueLength)) != nullptr)
        kind = kSizeSeen;
    else if ((value = ValueOf(line, length, "crc32", valueLength)) != nullptr)
        kind = kCrcSeen;
    else
        return Fail(ListProblem::BadLine, number);
    if (seen & kind)
        return Fail(ListProblem::Twice, number);
    seen |= kind;

    if (kind == kNameSeen) {
        SetFileRole role;
        uint32_t part = 0;
        if (!RoleOfListedName(value, valueLength, wholeName, role, part))
            return Fail(ListProblem::BadLine, number);
        return role == SetFileRole::Whole || Fail(ListProblem::OutsideName, number);
    }
    if (kind == kSizeSeen) {
        // Up to 19 digits: every size a file can have, and no overflow.
        if (valueLength == 0 || valueLength > 19)
            return Fail(ListProblem::BadLine, number);
        for (size_t i = 0; i < valueLength; ++i) {
            if (value[i] < '0' || value[i] > '9')
                return Fail(ListProblem::BadLine, number);
            size = size * 10 + static_cast<uint64_t>(value[i] - '0');
        }
        return true;
    }
    if (valueLength != 8)
        return Fail(ListProblem::BadLine, number);
    for (size_t i = 0; i < valueLength; ++i) {
        const int digit = HexDigitValue(value[i]);
        if (digit < 0)
            return Fail(ListProblem::BadLine, number);
        crc = crc << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

void WholeCrcList::DescribeProblem(WideString& text) const {
    switch (problem) {
    case ListProblem::BadLine:
        if (problemLine != 0)
            text.Format(L"line %u is not a filename, size or crc32 line", problemLine);
        else
            text.Format(L"lacks a filename, size or crc32 line");
        break;
    default: {
        ChecksumList same;
        same.Refuse(problem, problemLine);
        same.DescribeProblem(text);
        break;
    }
    }
}
