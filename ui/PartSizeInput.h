#pragma once

#include "app/ByteSize.h"
#include "app/MediaSizes.h"

#include <cstdint>

// The part size as the main window shows it: a number and a unit of kSizeUnitNames, or a number
// of parts, the unit box's last entry.
constexpr int kPartsUnitIndex = kSizeUnitCount;
constexpr wchar_t kPartsUnitName[] = L"parts";

// Bytes of number x unit. 0 (no part size) when the text is empty or not all digits, when no
// unit is selected (index out of range), or when the bytes do not fit in 64 bits: a wrapped
// product would be some unrelated size that the split would then cut at.
uint64_t PartSizeFromInput(const wchar_t* digits, int unitIndex);

struct PartSizeShown {
    uint64_t number;
    int unitIndex;
};
// The largest unit (up to GB) that divides the size exactly; MB for no part size (0), with the
// number 0 meaning "leave the edit empty".
PartSizeShown PartSizeForDisplay(uint64_t bytes);

// The number of parts of "n parts": 0 when the text is empty, not all digits, or beyond 32 bits.
uint32_t PartCountFromInput(const wchar_t* digits);

// The unit box's index of the first media size.
constexpr int kFirstMediaIndex = kPartsUnitIndex + 1;
