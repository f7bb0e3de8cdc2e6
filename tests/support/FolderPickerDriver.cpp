#include "support/FolderPickerDriver.h"

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 50;
// The name box of the common file dialogs: a combo box whose edit takes the typing, or an edit.
constexpr int kNameCombo = 0x47c; // cmb13
constexpr int kNameEdit = 0x480;  // edt1

BOOL CALLBACK FindNameBox(HWND child, LPARAM found) {
    const int id = ::GetDlgCtrlID(child);
    wchar_t kind[32] = {};
    ::GetClassNameW(child, kind, 32);
    if (::IsWindowVisible(child) && ::lstrcmpiW(kind, L"Edit") == 0 &&
        (id == kNameEdit || ::GetDlgCtrlID(::GetParent(child)) == kNameCombo || id == kNameCombo)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool PickFolderInPicker(const RunningProgram& program, const wchar_t* caption,
                        const std::wstring& folder, DWORD limitMs) {
    const HWND picker = program.WaitForDialog(caption, limitMs);
    if (!picker)
        return false;
    HWND box = nullptr;
    for (DWORD waited = 0; !box && waited < limitMs; waited += kPollMs) {
        ::EnumChildWindows(picker, FindNameBox, reinterpret_cast<LPARAM>(&box));
        if (!box)
            ::Sleep(kPollMs);
    }
    if (!box)
        return false;
    ::SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    // Enter in the box: the dialog's default button, Open (Select Folder).
    ::PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(picker, IDOK)));
    for (DWORD waited = 0; waited < limitMs; waited += kPollMs) {
        if (!::IsWindow(picker) || !::IsWindowVisible(picker))
            return true;
        ::Sleep(kPollMs);
    }
    return false;
}

} // namespace testing_support
