#pragma once

#include "app/WideString.h"

#include <cstdint>

// What the operations ask of the volume that holds a path, and what they are about to write
// counted as the volume will take it, so that a split or join that cannot fit fails at once
// instead of minutes later. Every fact comes from that volume's own root (GetVolumePathNameW):
// under a folder where another volume is mounted, the drive letter's root would answer for the
// wrong volume.

// The root of the volume that holds the path ("C:\", "\\?\C:\", a mount folder, a share root),
// with its closing backslash. False, with the reason in the last error, when there is none.
bool VolumeRootOf(const wchar_t* path, WideString& root);

// Both paths lie on one volume, as far as their roots tell; false where a root can't be had.
bool OnOneVolume(const wchar_t* path, const wchar_t* otherPath);

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

// Bytes a file of size bytes takes on a volume that allocates in units of unit bytes (0: the
// bytes themselves).
uint64_t SpaceTaken(uint64_t size, uint32_t unit);

// What the parts of a split take: every part but the last has partSize bytes (not 0).
uint64_t SplitSpaceNeeded(uint64_t totalSize, uint64_t partSize, uint32_t unit);

// Both sizes, as FormatByteSize writes them, for a report that needed exceeds available; where
// they would read the same, both are given in bytes, so the text never seems to say that it fits.
void FormatShortfall(uint64_t needed, uint64_t available, WideString& neededText,
                     WideString& availableText);

// The error that keeps a file from being made beside path, in its folder, where that folder takes
// no files at all (a disc, a read-only share, a locked stick: ERROR_ACCESS_DENIED,
// ERROR_WRITE_PROTECT and the like); 0 where a file could be made, or the failure says nothing of
// the folder. Tried with probeName, a name of the caller's own, made and removed at once; one
// there already says nothing either.
DWORD FolderRefusal(const wchar_t* probeName);
