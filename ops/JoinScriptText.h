#pragma once

#include "app/DynArray.h"
#include "recovery/Sha256.h"

#include <cstdint>

// The two texts a split leaves for receivers who have no Brindlecot: "<whole>.join.cmd", a
// script for cmd.exe that joins the parts with copy /b, and "<whole>.join.txt", the same in
// words with the commands for Windows, Linux and macOS. Both are UTF-8 with CRLF line ends.
// wholeName is the whole file's name without folder; whole is its SHA-256 when the split writes
// a checksum list, else null. Each is false, with the last error set, when memory runs out or
// the name can't be converted.
bool BuildJoinScript(const wchar_t* wholeName, uint32_t partCount, const Sha256Digest* whole,
                     DynArray<char>& text);
bool BuildJoinInstructions(const wchar_t* wholeName, uint32_t partCount, const Sha256Digest* whole,
                           DynArray<char>& text);
