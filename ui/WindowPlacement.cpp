#include "ui/WindowPlacement.h"

#include "app/ProgramInfo.h"
#include "toolkit/RegKey.h"

namespace {

const wchar_t kWindowPosValue[] = L"WindowPos";
constexpr DWORD kPlacementSize = 44;
static_assert(sizeof(WINDOWPLACEMENT) == kPlacementSize, "the stored record is 44 bytes");

} // namespace

bool SaveWindowPos(HWND window) {
    RegKey key;
    if (!key.Create(kSettingsKeyPath, HKEY_CURRENT_USER, KEY_WRITE))
        return false;
    WINDOWPLACEMENT placement{};
    placement.length = kPlacementSize;
    ::GetWindowPlacement(window, &placement);
    key.SetBinary(kWindowPosValue, &placement, kPlacementSize);
    return true;
}

bool RestoreWindowPos(HWND window) {
    RegKey key;
    if (!key.Open(kSettingsKeyPath, HKEY_CURRENT_USER, KEY_READ))
        return false;
    WINDOWPLACEMENT placement{};
    DWORD size = kPlacementSize;
    if (!key.QueryValue(kWindowPosValue, &placement, &size) || size != kPlacementSize)
        return false;
    key.Close();
    // Only the position and size apply: the window is shown later, normally, by start-up.
    placement.length = kPlacementSize;
    placement.showCmd = SW_HIDE;
    ::SetWindowPlacement(window, &placement);
    return true;
}
