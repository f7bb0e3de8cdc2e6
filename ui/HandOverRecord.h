#pragma once

#include "app/Application.h"
#include "app/WideString.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// What a later launch hands to the running window in WM_COPYDATA: its mode and its path. The
// bytes are a fixed header (tag, version, mode, the path's length in UTF-16 units) and the path
// without terminator. What arrives may come from any program of the desktop: Read takes it only
// when every field is in bounds and the size is exactly what the header says.
class HandOverRecord {
public:
    // Identifies the record in COPYDATASTRUCT::dwData and in its first four bytes.
    static constexpr uint32_t kTag = 0x4F484342; // "BCHO"
    static constexpr uint16_t kVersion = 1;
    static constexpr uint32_t kHeaderSize = 12;
    // The longest path Windows opens (the \\?\ form).
    static constexpr uint32_t kMostPathUnits = 32767;

    HandOverRecord() = default;
    HandOverRecord(const HandOverRecord&) = delete;
    HandOverRecord& operator=(const HandOverRecord&) = delete;

    // Makes the bytes for a split or join of path. False for another mode, an empty or overlong
    // path (ERROR_INVALID_PARAMETER), or without memory (ERROR_NOT_ENOUGH_MEMORY).
    bool Make(RunMode newMode, const WideString& newPath);
    // Takes a record as received. False, with nothing taken, for anything malformed.
    bool Read(const COPYDATASTRUCT& data);

    RunMode Mode() const { return mode; }
    const WideString& Path() const { return path; }
    // The message for WM_COPYDATA; its data stays this record's.
    COPYDATASTRUCT Message() const;

private:
    RunMode mode = RunMode::Setup;
    WideString path;
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t size = 0;
};
