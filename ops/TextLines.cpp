#include "ops/TextLines.h"

#include <windows.h>

#include <cstring>

TextLines::TextLines(const char* bytes, size_t size) : text(bytes), length(size) {
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        at = 3;
}

bool TextLines::Next(const char*& line, size_t& lineLength) {
    if (at >= length)
        return false;
    const char* end = static_cast<const char*>(memchr(text + at, '\n', length - at));
    const size_t taken = end ? static_cast<size_t>(end - (text + at)) : length - at;
    line = text + at;
    lineLength = taken;
    if (lineLength != 0 && line[lineLength - 1] == '\r')
        --lineLength;
    at += taken + 1;
    ++number;
    return true;
}

bool RoleOfListedName(const char* name, size_t length, const wchar_t* wholeName, SetFileRole& role,
                      uint32_t& partNumber) {
    role = SetFileRole::Foreign;
    partNumber = 0;
    // Longer than any name a folder can hold: nothing of this set.
    if (length == 0 || length > kListedNameBytes)
        return true;
    wchar_t wide[kListedNameBytes + 1];
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name,
                                                 static_cast<int>(length), wide, kListedNameBytes);
    if (wideLength <= 0)
        return false;
    wide[wideLength] = L'\0';
    // A NUL inside would cut the name short into another one.
    if (wcslen(wide) != static_cast<size_t>(wideLength))
        return true;
    role = RoleOfSetFile(wide, wholeName, partNumber);
    return true;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool UnescapeSumName(const char* name, size_t length, char* out, size_t& outLength) {
    outLength = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = name[i];
        if (c == '\\') {
            if (++i == length)
                return false;
            c = name[i] == '\\' ? '\\' : name[i] == 'n' ? '\n' : name[i] == 'r' ? '\r' : '\0';
            if (c == '\0')
                return false;
        }
        out[outLength++] = c;
    }
    return true;
}
