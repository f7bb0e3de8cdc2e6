#include "support/FolderPicker.h"

namespace testing_support {
namespace {

BOOL CALLBACK FindNameBox(HWND child, LPARAM found) {
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    if (::lstrcmpiW(className, L"Edit") != 0 || !::IsWindowVisible(child))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

} // namespace

bool ChooseInFolderPicker(HWND picker, const std::wstring& folder) {
    HWND nameBox = nullptr;
    ::EnumChildWindows(picker, FindNameBox, reinterpret_cast<LPARAM>(&nameBox));
    if (nameBox == nullptr)
        return false;
    ::SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    ::PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(picker, IDOK)));
    return true;
}

void CancelFolderPicker(HWND picker) {
    ::PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(picker, IDCANCEL)));
}

} // namespace testing_support
