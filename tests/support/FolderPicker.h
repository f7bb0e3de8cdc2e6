#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Answers the system's folder picker, a window of another process, as a person would: the
// folder's path typed into its name box and the dialog's OK pressed; or Cancel. False where the
// picker had no name box.
bool ChooseInFolderPicker(HWND picker, const std::wstring& folder);
void CancelFolderPicker(HWND picker);

} // namespace testing_support
