#pragma once

#include "app/WideString.h"

#include <cstdint>

// What an operation is about to write, counted as the volume will take it, so that a split or
// join that cannot fit fails at once instead of minutes later; and how such sizes read.

// Bytes a file of size bytes takes on a volume that allocates in units of unit bytes (0: the
// bytes themselves).
uint64_t SpaceTaken(uint64_t size, uint32_t unit);

// What the parts of a split take: every part but the last has partSize bytes (not 0).
uint64_t SplitSpaceNeeded(uint64_t totalSize, uint64_t partSize, uint32_t unit);

// Both sizes, as FormatByteSize writes them, for a report that needed exceeds available; where
// they would read the same, both are given in bytes, so the text never seems to say that it fits.
void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText);
