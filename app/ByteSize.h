#pragma once

#include "app/WideString.h"

#include <cstdint>

// Byte sizes as the program writes them, in the units of the part-size panel: Byte, KB, MB, GB,
// each the previous times 1024. The one place both the window and the operations take them from.
constexpr int kSizeUnitCount = 4;
constexpr int kSizeUnitByte = 0;
constexpr int kSizeUnitMB = 2;
// In the order of the panel's combo box; the index is the power of 1024.
extern const wchar_t* const kSizeUnitNames[kSizeUnitCount];

// At least three significant figures: "512 Byte", "1.95 MB", "19.5 GB". Truncated, never
// rounded up, so a size never reads larger than it is.
void FormatByteSize(uint64_t bytes, WideString& text);
