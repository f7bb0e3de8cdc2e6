#include "app/WideString.h"

#include <cstdio>
#include <cstring>

namespace {

wchar_t* HeapBlock(uint32_t bytes) {
    void* block = ::HeapAlloc(::GetProcessHeap(), 0, bytes);
    if (!block)
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return static_cast<wchar_t*>(block);
}

} // namespace

uint32_t WideString::BytesFor(uint32_t units) {
    uint64_t needed = 2 * static_cast<uint64_t>(units) + 2;
    uint64_t bytes = (needed & ~static_cast<uint64_t>(15)) + 16;
    return bytes > 0xFFFFFFF0u ? 0 : static_cast<uint32_t>(bytes);
}

WideString::WideString(const WideString& other) {
    if (!other.buffer)
        return;
    if (!Allocate(other.capacity))
        return;
    length = other.length;
    // Content and terminator; the length never exceeds what the capacity holds.
    memcpy(buffer, other.buffer, (static_cast<size_t>(other.length) + 1) * sizeof(wchar_t));
}

WideString& WideString::operator=(const WideString& other) {
    if (this != &other)
        Assign(other.buffer, other.length);
    return *this;
}

WideString::~WideString() {
    Free();
}

bool WideString::Allocate(uint32_t bytes) {
    buffer = bytes ? HeapBlock(bytes) : nullptr;
    if (!buffer) {
        if (!bytes)
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        length = 0;
        capacity = 0;
        return false;
    }
    capacity = bytes;
    // A fresh buffer reads as "" until someone writes into it.
    buffer[0] = 0;
    return true;
}

void WideString::Free() {
    if (buffer)
        ::HeapFree(::GetProcessHeap(), 0, buffer);
    buffer = nullptr;
    length = 0;
    capacity = 0;
}

void WideString::Assign(const wchar_t* text, uint32_t n) {
    uint32_t bytes = BytesFor(n);
    if (!bytes || bytes > capacity) {
        Free();
        if (!Allocate(bytes))
            return;
    }
    length = n;
    uint32_t i = 0;
    if (text) {
        for (; i < n && text[i]; ++i)
            buffer[i] = text[i];
    }
    buffer[i] = 0;
}

wchar_t* WideString::Reserve(uint32_t units) {
    uint32_t bytes = BytesFor(units);
    if (bytes && bytes <= capacity)
        return buffer;
    Free();
    Allocate(bytes);
    return buffer;
}

wchar_t* WideString::ReserveKeep(uint32_t units) {
    uint32_t bytes = BytesFor(units);
    if (bytes && bytes <= capacity)
        return buffer;
    wchar_t* grown = bytes ? HeapBlock(bytes) : nullptr;
    if (!grown) {
        if (!bytes)
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        Free();
        return nullptr;
    }
    if (buffer)
        memcpy(grown, buffer, (static_cast<size_t>(length) + 1) * sizeof(wchar_t));
    else
        grown[0] = 0;
    uint32_t kept = length;
    Free();
    buffer = grown;
    capacity = bytes;
    length = kept;
    return buffer;
}

void WideString::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void WideString::AppendFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

// msvcrt's own functions, not the C99 ones: they give "%s" its wide meaning. The count comes
// first so that the text is written once into a buffer of exactly sufficient size.
void WideString::FormatV(const wchar_t* format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    int units = _vscwprintf(format, counting);
    va_end(counting);
    if (units < 0)
        return;
    if (!Reserve(static_cast<uint32_t>(units)))
        return;
    int written = _vsnwprintf(buffer, capacity / sizeof(wchar_t), format, args);
    length = written < 0 ? 0 : static_cast<uint32_t>(written);
    buffer[length] = 0;
}

void WideString::AppendFormatV(const wchar_t* format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    int units = _vscwprintf(format, counting);
    va_end(counting);
    if (units < 0)
        return;
    uint64_t total = static_cast<uint64_t>(length) + static_cast<uint64_t>(units);
    if (total > 0xFFFFFFFFu) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    if (!ReserveKeep(static_cast<uint32_t>(total)))
        return;
    int written = _vsnwprintf(buffer + length, capacity / sizeof(wchar_t) - length, format, args);
    if (written > 0)
        length += static_cast<uint32_t>(written);
    buffer[length] = 0;
}

bool WideString::CutAfterLastBackslash() {
    for (uint32_t i = length; i-- > 1;) {
        if (buffer[i] == L'\\') {
            buffer[i + 1] = 0;
            length = i + 1;
            return true;
        }
    }
    return false;
}
