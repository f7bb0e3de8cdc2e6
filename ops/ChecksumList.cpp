#include "ops/ChecksumList.h"

#include "ops/PartNaming.h"
#include "ops/TextLines.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

constexpr size_t kHexDigits = 64;

bool SameName(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return ::CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

} // namespace

bool ChecksumList::Fail(ListProblem why, uint32_t line) {
    problem = why;
    problemLine = line;
    return false;
}

void ChecksumList::Refuse(ListProblem why, uint32_t line) {
    parts.Clear();
    hasWhole = false;
    Fail(why, line);
}

bool ChecksumList::Parse(const char* text, size_t length, const wchar_t* wholeName) {
    parts.Clear();
    hasWhole = false;
    problem = ListProblem::None;
    problemLine = 0;
    if (memchr(text, '\0', length))
        return Fail(ListProblem::NulByte, 0);

    uint32_t number = 0;
    size_t at = 0;
    // The byte-order mark that Windows editors put before UTF-8 text.
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        at = 3;
    while (at < length) {
        const char* end = static_cast<const char*>(memchr(text + at, '\n', length - at));
        size_t lineLength = end ? static_cast<size_t>(end - (text + at)) : length - at;
        ++number;
        // A list written on Windows ends its lines with CR LF; GNU sha256sum reads those too.
        size_t used = lineLength;
        if (used != 0 && text[at + used - 1] == '\r')
            --used;
        if (!ParseLine(text + at, used, wholeName, number)) {
            parts.Clear();
            hasWhole = false;
            return false;
        }
        at += lineLength + 1;
    }
    if (parts.Count() == 0 && !hasWhole)
        return Fail(ListProblem::Nothing, 0);

    ChecksumEntry* first = parts.begin();
    std::sort(first, parts.end(),
              [](const ChecksumEntry& a, const ChecksumEntry& b) { return a.part < b.part; });
    for (int32_t i = 1; i < parts.Count(); ++i) {
        if (parts[i].part == parts[i - 1].part) {
            parts.Clear();
            hasWhole = false;
            return Fail(ListProblem::Twice, 0);
        }
    }
    return true;
}

bool ChecksumList::SplitUnfinished() const {
    return problem == ListProblem::None && hasWhole && whole == kUnfinishedSplit;
}

bool ChecksumList::ParseLine(const char* line, size_t length, const wchar_t* wholeName,
                             uint32_t number) {
    if (length != 0 && line[0] == '#')
        return true; // a comment, as GNU sha256sum allows
    bool escaped = length != 0 && line[0] == '\\';
    if (escaped) {
        ++line;
        --length;
    }
    if (length < kHexDigits + 3 || line[kHexDigits] != ' ' ||
        (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*'))
        return Fail(ListProblem::BadLine, number);
    ChecksumEntry entry{0, {}};
    for (size_t i = 0; i < kHexDigits; i += 2) {
        int high = HexDigitValue(line[i]);
        int low = HexDigitValue(line[i + 1]);
        if (high < 0 || low < 0)
            return Fail(ListProblem::BadLine, number);
        entry.digest.bytes[i / 2] = static_cast<uint8_t>(high << 4 | low);
    }

    const char* name = line + kHexDigits + 2;
    size_t nameLength = length - kHexDigits - 2;
    if (nameLength > kListedNameBytes)
        return Fail(ListProblem::OutsideName, number);
    char plain[kListedNameBytes];
    size_t plainLength = nameLength;
    if (escaped) {
        if (!UnescapeSumName(name, nameLength, plain, plainLength))
            return Fail(ListProblem::BadLine, number);
    } else {
        memcpy(plain, name, nameLength);
    }
    wchar_t wide[kListedNameBytes + 1];
    int wideLength = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, plain,
                                           static_cast<int>(plainLength), wide, kListedNameBytes);
    if (wideLength <= 0)
        return Fail(ListProblem::BadLine, number);
    wide[wideLength] = L'\0';
    for (int i = 0; i < wideLength; ++i) {
        // Folders, drives and control characters: never a file beside the parts.
        if (wide[i] < 0x20 || wide[i] == L'\\' || wide[i] == L'/' || wide[i] == L':')
            return Fail(ListProblem::OutsideName, number);
    }

    if (SameName(wide, wideLength, wholeName, -1)) {
        if (hasWhole)
            return Fail(ListProblem::Twice, number);
        hasWhole = true;
        whole = entry.digest;
        return true;
    }
    entry.part = PartNumberOf(wide, wholeName);
    if (entry.part == 0)
        return Fail(ListProblem::OutsideName, number);
    if (!parts.Append(entry))
        return Fail(ListProblem::TooLarge, number);
    return true;
}

void ChecksumList::DescribeProblem(WideString& text) const {
    switch (problem) {
    case ListProblem::None:
        text.Format(L"");
        break;
    case ListProblem::Unreadable:
        text.Format(L"cannot be read");
        break;
    case ListProblem::TooLarge:
        text.Format(L"too large");
        break;
    case ListProblem::NulByte:
        text.Format(L"not a text file");
        break;
    case ListProblem::BadLine:
        text.Format(L"line %u is not a SHA-256 line", problemLine);
        break;
    case ListProblem::OutsideName:
        text.Format(L"line %u names a file outside this set", problemLine);
        break;
    case ListProblem::Twice:
        if (problemLine != 0)
            text.Format(L"line %u names a file twice", problemLine);
        else
            text.Format(L"a part is named twice");
        break;
    case ListProblem::Nothing:
        text.Format(L"names no file");
        break;
    }
}

uint64_t ChecksumListSize(uint32_t partCount, uint64_t nameBytes) {
    const uint64_t line = kHexDigits + 2 + nameBytes + 1;
    // Each part's line adds a dot and its number, of three digits at least.
    uint64_t size = (static_cast<uint64_t>(partCount) + 1) * line;
    uint64_t digits = 3;
    for (uint64_t first = 1, next = 1000; first <= partCount; first = next, next *= 10, ++digits) {
        const uint64_t last = partCount < next - 1 ? partCount : next - 1;
        size += (last - first + 1) * (1 + digits);
    }
    return size;
}

bool AppendChecksumLine(DynArray<char>& text, const Sha256Digest& digest, const wchar_t* name) {
    int nameBytes = ::WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (nameBytes <= 0)
        return false;
    // The terminator's byte becomes the line feed.
    const int32_t at = text.Count();
    const int32_t needed = at + static_cast<int32_t>(kHexDigits) + 2 + nameBytes;
    if (!text.ResizeUp(needed))
        return false;
    char hex[65];
    Sha256Hex(digest, hex);
    char* out = text.Items() + at;
    memcpy(out, hex, kHexDigits);
    out[kHexDigits] = ' ';
    out[kHexDigits + 1] = ' ';
    ::WideCharToMultiByte(CP_UTF8, 0, name, -1, out + kHexDigits + 2, nameBytes, nullptr, nullptr);
    out[kHexDigits + 2 + nameBytes - 1] = '\n';
    return true;
}

bool ChecksumList::Names(uint32_t number) const {
    const ChecksumEntry* found =
        std::lower_bound(parts.begin(), parts.end(), number,
                         [](const ChecksumEntry& entry, uint32_t n) { return entry.part < n; });
    return found != parts.end() && found->part == number;
}
