#include "app/ByteSize.h"

#include <cmath>

const wchar_t* const kSizeUnitNames[kSizeUnitCount] = {L"Byte", L"KB", L"MB", L"GB"};

void FormatByteSize(uint64_t bytes, WideString& text) {
    int unit = kSizeUnitByte;
    uint64_t whole = bytes;
    while (unit < kSizeUnitCount - 1 && whole >= 1024) {
        whole /= 1024;
        ++unit;
    }
    if (unit == kSizeUnitByte) {
        text.Format(L"%llu %s", bytes, kSizeUnitNames[unit]);
        return;
    }
    double value = static_cast<double>(bytes) / std::ldexp(1.0, 10 * unit);
    if (value < 10.0)
        text.Format(L"%.2f %s", std::floor(value * 100.0) / 100.0, kSizeUnitNames[unit]);
    else if (value < 100.0)
        text.Format(L"%.1f %s", std::floor(value * 10.0) / 10.0, kSizeUnitNames[unit]);
    else
        text.Format(L"%llu %s", whole, kSizeUnitNames[unit]);
}
