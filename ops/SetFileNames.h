#pragma once

#include <cstdint>

// What a join may do with a file that a recovery set names. The names come from a file anyone
// may have put beside the parts: only a plain name that is this whole file's part name, or the
// whole file's own name, is ever opened.
enum class SetFileRole : uint8_t {
    Part,    // one of the whole file's parts: checked, and rebuilt where it must be
    Whole,   // the whole file itself: the joined result is checked against it
    Foreign, // anything else: never opened, its slices taken as unknown
};

// A name that opens a file in the parts' folder and nothing else: no folder, drive, stream,
// device name (CON, NUL, COM1, LPT1.txt ...), wildcard or control character, no "." or "..",
// no trailing dot or blank, at most 255 units.
bool IsPlainFileName(const wchar_t* name);

// The role of the set's file name for the whole file named wholeName (no folder); partNumber is
// the part's number, or 0.
SetFileRole RoleOfSetFile(const wchar_t* name, const wchar_t* wholeName, uint32_t& partNumber);
