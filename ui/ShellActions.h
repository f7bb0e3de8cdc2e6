#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

// Hands a finished result to Explorer. The two selection entry points are looked up at run
// time; without them the program still runs and the selection services fail.
using ParseDisplayNameProc = HRESULT(WINAPI*)(PCWSTR name, IBindCtx* bindContext,
                                              PIDLIST_ABSOLUTE* item, SFGAOF asked,
                                              SFGAOF* attributes);
using OpenFolderAndSelectItemsProc = HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE folder, UINT count,
                                                      PCUITEMID_CHILD_ARRAY items, DWORD flags);

// Null until InitShellEntryPoints has found them (tests may point them at recorders).
extern ParseDisplayNameProc gParseDisplayName;
extern OpenFolderAndSelectItemsProc gOpenFolderAndSelectItems;

void InitShellEntryPoints();
// Opens the file with its associated program.
BOOL OpenWithShell(const wchar_t* path);
// Shows the file's folder with the file selected.
BOOL SelectInExplorer(const wchar_t* path);
// Shows the folder of the first path with all the files selected; they lie in that folder.
BOOL SelectFilesInExplorer(const wchar_t* const* paths, int32_t count);
