#pragma once

#include "app/WideString.h"

#include <cstdint>

// What the operations ask of the volume that holds a path. Every fact comes from that volume's
// own root (GetVolumePathNameW): under a folder where another volume is mounted, the drive
// letter's root would answer for the wrong volume.

// The root of the volume that holds the path ("C:\", "\\?\C:\", a mount folder, a share root),
// with its closing backslash. False, with the reason in the last error, when there is none.
bool VolumeRootOf(const wchar_t* path, WideString& root);

// Bytes per sector of the volume that holds the path. 0, with the reason in the last error,
// when it can't be asked.
uint32_t QuerySectorSize(const wchar_t* path);

struct VolumeRoom {
    // Bytes this user may still write there (quotas included).
    uint64_t available = 0;
    // Bytes per cluster: every file takes whole clusters. 0 when the volume would not say.
    uint32_t allocationUnit = 0;

    // The cluster size, or the given unit where the volume would not say.
    uint32_t UnitOr(uint32_t fallback) const {
        return allocationUnit != 0 ? allocationUnit : fallback;
    }
};

// Asks the volume that holds the folder of filePath. False, with the reason in the last error,
// when it can't tell.
bool QueryVolumeRoom(const wchar_t* filePath, VolumeRoom& room);

// The largest file a file system of this name ("FAT32", "NTFS", as GetVolumeInformationW gives
// it) holds: 4,294,967,295 bytes on FAT and FAT32, whose sizes are 32 bits; no limit otherwise.
uint64_t LargestFileFor(const wchar_t* fileSystem);

// The file system of the volume that holds the path, and the largest file it holds. Where the
// volume would not say, no limit and an empty name.
uint64_t LargestFileOn(const wchar_t* path, WideString& fileSystem);
