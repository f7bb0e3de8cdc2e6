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

// Bytes per sector of the drive that holds the path: its drive letter's root, or the share root
// of a path that starts with two backslashes. 0, with the reason in the last error, when it
// can't be asked.
uint32_t QuerySectorSize(const wchar_t* path);

bool PartPath(const wchar_t* wholePath, uint32_t number, WideString& partPath);

struct PartExtent {
    uint64_t offset;
    uint64_t size;
};

// partSize must not be 0.
uint64_t SplitPartCount(uint64_t totalSize, uint64_t partSize);
// Part number counts from 1. Every part but the last has partSize bytes; the last the rest.
PartExtent SplitPart(uint64_t number, uint64_t totalSize, uint64_t partSize);

// The whole file of a part: the path without its last extension, whatever the extension is.
bool JoinOutputPath(const wchar_t* partPath, WideString& wholePath);

// Called once per part found, in number order; returning false (with the last error set) stops
// the search.
using PartVisitor = bool (*)(void* context, const WideString& partPath, uint64_t offset,
                             uint64_t size);

struct FoundParts {
    uint32_t count = 0;
    uint64_t totalSize = 0;
    // Every part starts on a sector boundary, so the whole file can be written unbuffered.
    bool aligned = true;
};

// Looks up W.001, W.002, ... up to the first number that does not exist. False when the visitor
// refused a part or a path could not be formed; found then covers the parts before it.
bool FindParts(const wchar_t* wholePath, uint32_t sectorSize, PartVisitor visit, void* context,
               FoundParts& found);
