#pragma once

#include "ops/SetFileNames.h"

#include <cstddef>
#include <cstdint>

// The lines of a text file that another tool wrote beside the parts: after a UTF-8 byte-order
// mark if there is one, each ended by LF or CR LF (the CR is not part of the line), the last one
// maybe by the end of the text. Never reads outside the text it is given.
class TextLines {
public:
    TextLines(const char* bytes, size_t size);

    // The next line and its number (from 1); false after the last.
    bool Next(const char*& line, size_t& lineLength);
    uint32_t Number() const { return number; }

private:
    const char* text;
    size_t length;
    size_t at = 0;
    uint32_t number = 0;
};

// The longest name a list may carry, in UTF-8 bytes: 255 UTF-16 units of up to 3 bytes each.
constexpr size_t kListedNameBytes = 765;

// What a name that a list gives in UTF-8 is to the whole file named wholeName: the file itself,
// one of its parts (partNumber from 1) or anything else. False when the bytes are not UTF-8.
bool RoleOfListedName(const char* name, size_t length, const wchar_t* wholeName, SetFileRole& role,
                      uint32_t& partNumber);

// The value of one hex digit, or -1.
int HexDigitValue(char c);

// sha256sum, sha1sum and md5sum start a line with a backslash when they escaped the name: "\\"
// for a backslash, "\n" for a line feed, "\r" for a carriage return. Anything else after a
// backslash is refused (false). out takes at most length bytes.
bool UnescapeSumName(const char* name, size_t length, char* out, size_t& outLength);
