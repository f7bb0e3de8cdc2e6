#pragma once

#include "app/ByteSize.h"

#include <cstdint>

// Sizes for the media people carry parts on: the window offers them after "parts" in its unit
// box, the console program takes their names after --preset.
struct MediaSize {
    const wchar_t* name;
    uint64_t number;
    int unitIndex;
};
constexpr int kMediaSizeCount = 6;
extern const MediaSize kMediaSizes[kMediaSizeCount];

// The bytes of a media size: its number times its unit.
constexpr uint64_t MediaSizeBytes(const MediaSize& media) {
    return media.number << (10 * media.unitIndex);
}

// The media size of this name, letter case and blanks aside ("cd 700 mb", "CD700MB"); null when
// none has it.
const MediaSize* FindMediaSize(const wchar_t* name);
