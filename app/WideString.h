#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

// A growable, NUL-terminated UTF-16 string on the process heap. Formatting follows the Microsoft
// runtime's wide rules: "%s" takes a wide string, "%u" 32 bits, "%llu" 64 bits.
//
// When a buffer can't be had the string is left empty (no buffer, length and capacity 0, last
// error ERROR_NOT_ENOUGH_MEMORY); readers still get "" from Text(), and the next call tries again.
class WideString {
public:
    WideString() = default;
    // Takes the source's capacity, so a copy has the same room to grow.
    WideString(const WideString& other);
    WideString& operator=(const WideString& other);
    ~WideString();

    // The content, or "" when there is no buffer.
    const wchar_t* Text() const { return buffer ? buffer : L""; }
    // The buffer itself; null when there is none.
    wchar_t* Buffer() const { return buffer; }
    uint32_t Length() const { return length; }
    // In bytes, not characters.
    uint32_t Capacity() const { return capacity; }

    // The buffer size in bytes that gives room for units characters and the terminator; 0 when
    // no buffer could be that large.
    static uint32_t BytesFor(uint32_t units);

    // The first n units of text (fewer when text holds a 0 unit earlier); a null text stores "".
    void Assign(const wchar_t* text, uint32_t n);
    // Room for units characters; the content is dropped when the buffer has to be replaced.
    wchar_t* Reserve(uint32_t units);
    // Room for units characters, keeping the content.
    wchar_t* ReserveKeep(uint32_t units);

    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);
    void AppendFormatV(const wchar_t* format, va_list args);

    // Keeps the content up to and including its last backslash; the first unit is never taken
    // for it. False, with the content unchanged, when there is none.
    bool CutAfterLastBackslash();

private:
    bool Allocate(uint32_t bytes);
    void Free();

    uint32_t length = 0;
    uint32_t capacity = 0;
    wchar_t* buffer = nullptr;
};
