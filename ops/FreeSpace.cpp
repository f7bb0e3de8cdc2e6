#include "ops/FreeSpace.h"

#include "ui/PartSizeInput.h"

#include <cmath>

namespace {

constexpr int kUnitByte = 0;

} // namespace

uint64_t SpaceTaken(uint64_t size, uint32_t unit) {
    if (unit == 0)
        return size;
    uint64_t rest = size % unit;
    return rest == 0 ? size : size + (unit - rest);
}

uint64_t SplitSpaceNeeded(uint64_t totalSize, uint64_t partSize, uint32_t unit) {
    uint64_t fullParts = totalSize / partSize;
    return fullParts * SpaceTaken(partSize, unit) + SpaceTaken(totalSize % partSize, unit);
}

void FormatByteSize(uint64_t bytes, WideString& text) {
    int unit = kUnitByte;
    uint64_t whole = bytes;
    while (unit < kPartSizeUnitCount - 1 && whole >= 1024) {
        whole /= 1024;
        ++unit;
    }
    if (unit == kUnitByte) {
        text.Format(L"%llu %s", bytes, kPartSizeUnitNames[unit]);
        return;
    }
    double value = static_cast<double>(bytes) / std::ldexp(1.0, 10 * unit);
    if (value < 10.0)
        text.Format(L"%.2f %s", std::floor(value * 100.0) / 100.0, kPartSizeUnitNames[unit]);
    else if (value < 100.0)
        text.Format(L"%.1f %s", std::floor(value * 10.0) / 10.0, kPartSizeUnitNames[unit]);
    else
        text.Format(L"%llu %s", whole, kPartSizeUnitNames[unit]);
}

void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText) {
    FormatByteSize(needed, neededText);
    FormatByteSize(available, availableText);
    if (::lstrcmpW(neededText.Text(), availableText.Text()) != 0)
        return;
    neededText.Format(L"%llu %s", needed, kPartSizeUnitNames[kUnitByte]);
    availableText.Format(L"%llu %s", available, kPartSizeUnitNames[kUnitByte]);
}
