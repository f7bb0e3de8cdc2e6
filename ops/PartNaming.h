#pragma once

#include "app/WideString.h"

#include <cstdint>

// Part i (from 1) of the whole file W is "W.%03u": W.001, W.002, ..., W.1000. A part holds a
// raw consecutive slice of W, nothing else; part i + 1 begins where part i ends.
//
// The functions that produce a string return false only when its buffer could not be had
// (last error ERROR_NOT_ENOUGH_MEMORY).

// The text after the last backslash; empty when there is none after the first character.
bool FileNameOf(const wchar_t* path, WideString& name);

// The path made absolute (GetFullPathNameW): "C:trip.avi" names a file in drive C:'s current
// folder, and a part's name must be formed from the whole path. False with the last error.
bool FullPathOf(const wchar_t* path, WideString& fullPath);

bool PartPath(const wchar_t* wholePath, uint32_t number, WideString& partPath);

// The path of a file of this name (no folder) in the given folder, made absolute; the folder
// must be one. False with the last error when it is not there, or ERROR_DIRECTORY when it is a
// file.
bool PathInFolder(const wchar_t* folder, const wchar_t* name, WideString& path);

// The number of a part name of the whole file ("<whole>.%03u", no folder), compared without
// regard to case; 0 when the name is not one.
uint32_t PartNumberOf(const wchar_t* name, const wchar_t* wholeName);

struct PartExtent {
    uint64_t offset;
    uint64_t size;
};

// partSize must not be 0.
uint64_t SplitPartCount(uint64_t totalSize, uint64_t partSize);
// The size of each part but the last when totalSize is cut into exactly count parts: rounded up to
// whole sectors where that still leaves the last part some bytes, so that the source is read
// unbuffered; 0 when no size makes count parts with none empty and none larger than the first.
uint64_t PartSizeForCount(uint64_t totalSize, uint32_t count, uint32_t sectorSize);
// Part number counts from 1. Every part but the last has partSize bytes; the last the rest.
PartExtent SplitPart(uint64_t number, uint64_t totalSize, uint64_t partSize);

// The whole file of a part: the path without its last extension, whatever the extension is.
bool JoinOutputPath(const wchar_t* partPath, WideString& wholePath);

// Where a join writes the whole file until it is complete: "W.partial", which says what it is
// and which no program takes for W.
bool UnfinishedPath(const wchar_t* wholePath, WideString& path);

// Called once per part found, in number order; returning false (with the last error set) stops
// the search.
using PartVisitor = bool (*)(void* context, const WideString& partPath, uint64_t offset,
                             uint64_t size);

struct FoundParts {
    uint32_t count = 0;
    uint64_t totalSize = 0;
    // Every part starts on a sector boundary, so the whole file can be written unbuffered.
    bool aligned = true;
    // The number of a part whose size could not be told; 0 when none.
    uint32_t unmeasured = 0;

    // The parts of a search that went on from where these end.
    void Add(const FoundParts& next) {
        count += next.count;
        totalSize += next.totalSize;
        aligned = aligned && next.aligned;
        unmeasured = next.unmeasured;
    }
};

// Looks up W.001, W.002, ... (from part `first` on, up to `last` at most) up to the first number
// that does not exist; a folder of a part's name is not a part. Each part's place in the whole
// file counts from `offset`, where the parts before `first` end. False when the visitor refused
// a part, a part could not be measured or a path could not be formed; found then covers the
// parts before it.
bool FindParts(const wchar_t* wholePath, uint32_t sectorSize, PartVisitor visit, void* context,
               FoundParts& found, uint32_t first = 1, uint64_t offset = 0,
               uint32_t last = UINT32_MAX);

// The size of the data a part file holds. A link (a reparse point) is measured through a handle
// to what it leads to: its own size says nothing of that. False with the last error when the
// file can't be measured; ERROR_FILE_NOT_FOUND for a folder, which is no part.
bool MeasurePart(const wchar_t* partPath, DWORD attributes, DWORD sizeHigh, DWORD sizeLow,
                 uint64_t& size);

// Whatever lies beside the whole file under part names: the lowest number of any entry, folders
// included, and the highest number of a file. 0 where there is none.
struct PartNames {
    uint32_t lowest = 0;
    uint32_t highestFile = 0;
};

// Reads the folder of the whole file once. False with the last error when it can't be read.
bool ScanPartNames(const wchar_t* wholePath, PartNames& names);
