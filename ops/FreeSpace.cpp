#include "ops/FreeSpace.h"

#include "app/ByteSize.h"

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

void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText) {
    FormatByteSize(needed, neededText);
    FormatByteSize(available, availableText);
    if (::lstrcmpW(neededText.Text(), availableText.Text()) != 0)
        return;
    neededText.Format(L"%llu %s", needed, kSizeUnitNames[kSizeUnitByte]);
    availableText.Format(L"%llu %s", available, kSizeUnitNames[kSizeUnitByte]);
}
