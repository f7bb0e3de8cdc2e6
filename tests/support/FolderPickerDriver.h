#pragma once

#include "support/RunningProgram.h"

#include <windows.h>

#include <string>

namespace testing_support {

// Drives the system's folder picker that a program under test shows, from outside, as a person
// would: types the folder's path into the picker's name box and presses Enter. True once the
// picker with this caption showed up within limitMs and went away with the folder typed.
bool PickFolderInPicker(const RunningProgram& program, const wchar_t* caption,
                        const std::wstring& folder, DWORD limitMs = 20000);

} // namespace testing_support
