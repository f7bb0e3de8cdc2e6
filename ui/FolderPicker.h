#pragma once

#include "app/WideString.h"

#include <windows.h>

// The system's folder picker (the common item dialog, picking folders), modal to `owner`, with
// `title` in its caption, opened in `start` where that is a folder (else where the system
// likes). True with the chosen folder's path; false with ERROR_CANCELLED when the user closed it,
// or with the error that kept it from opening. COM must be initialized on the calling thread.
bool PickFolder(HWND owner, const wchar_t* title, const wchar_t* start, WideString& folder);
