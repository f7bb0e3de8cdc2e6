#pragma once

#include <windows.h>

#include <cstdint>

// The Explorer verbs "&Split" on every file, "&Join" (the default action) on .001 files and
// "&Check" on .001 files and on the checksum and recovery files that lie beside a set,
// kept in the user's own classes (HKEY_CURRENT_USER\Software\Classes), which Explorer merges
// into HKEY_CLASSES_ROOT and which need no rights. Free functions without state, used by the
// setup dialog.
namespace ShellIntegration {

enum class InstallStatus : int32_t {
    NotInstalled = 0, // the join command key can't be opened
    Installed = 1,    // both command values are the ones this program would write
    Corrupted = 2,    // the verbs are there but not (all) ours: another copy, or half removed
};

// Room of the command line buffer, terminator included, and of the module path within it.
constexpr DWORD kCommandLineCapacity = 1024;
constexpr DWORD kModulePathCapacity = kCommandLineCapacity - 16;

enum class Verb : int32_t { Split, Join, Check };

// Writes "<module path>" /s "%1" (split), /j (join) or /c (check) into a buffer of
// kCommandLineCapacity characters. FALSE when the module path can't be had within
// kModulePathCapacity characters; a path that is too long leaves ERROR_FILENAME_EXCED_RANGE.
BOOL BuildCommandLine(Verb verb, wchar_t* buffer);

// Only the two command values decide. When this program's own command line can't be built,
// verbs that exist can't be told to be ours and count as Corrupted.
InstallStatus QueryStatus();

// Writes both verbs; also repairs them. On failure the last-error value holds the status of
// the step that failed; the steps before it stay written. Without both command lines nothing
// is written at all.
BOOL Install();

// Removes what Install wrote and nothing else, and the same verbs registered for everybody
// (HKEY_LOCAL_MACHINE\Software\Classes) where this user may change them. On failure the
// last-error value holds the status of a removal of the user's verbs that failed (2 when a
// verb was already missing), or of the verbs for everybody. On success it is 0, or
// ERROR_ACCESS_DENIED when verbs for everybody were found that this user may not change: they
// are then left whole.
BOOL Uninstall();

} // namespace ShellIntegration
