#pragma once

#include <windows.h>

#include <cstddef>

// Writes every byte to a file opened for synchronous writing, in as many calls as it takes; false
// with the last error set.
bool WriteFully(HANDLE file, const void* data, size_t size);
