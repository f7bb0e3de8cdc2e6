#include "support/FolderPickerDriver.h"

namespace testing_support {

namespace {

// The name box of the common file dialogs: the edit of combo box cmb13, or edit edt1.
BOOL CALLBACK FindNameBox(HWND child, LPARAM found) {
    wchar_t kind[8] = {};
    ::GetClassNameW(child, kind, 8);
    const bool named =
        ::GetDlgCtrlID(child) == 0x480 || ::GetDlgCtrlID(::GetParent(child)) == 0x47c;
    if (!named || !::IsWindowVisible(child) || ::lstrcmpiW(kind, L"Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

} // namespace

bool PickFolderInPicker(const RunningProgram& program, const wchar_t* caption,
                        const std::wstring& folder, DWORD limitMs) {
    const HWND picker = program.WaitForDialog(caption, limitMs);
    HWND box = nullptr;
    if (picker)
        ::EnumChildWindows(picker, FindNameBox, reinterpret_cast<LPARAM>(&box));
    if (!box)
        return false;
    ::SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    // Enter in the box: the default button, Open.
    ::PostMessageW(picker, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; ::IsWindow(picker) && waited < limitMs; waited += 50)
        ::Sleep(50);
    return !::IsWindow(picker);
}

} // namespace testing_support
