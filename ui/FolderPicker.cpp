#include "ui/FolderPicker.h"

#include "toolkit/ComPointer.h"

#include <shobjidl.h>

namespace {

// A COM failure as a system error code, for the last error.
DWORD ErrorOf(HRESULT result) {
    if (HRESULT_FACILITY(result) == FACILITY_WIN32)
        return HRESULT_CODE(result);
    return result == E_OUTOFMEMORY ? ERROR_NOT_ENOUGH_MEMORY : static_cast<DWORD>(result);
}

HRESULT Pick(HWND owner, const wchar_t* title, const wchar_t* start, WideString& folder) {
    ComPointer<IFileOpenDialog> dialog;
    HRESULT result = ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IFileOpenDialog, dialog.Receive());
    if (FAILED(result))
        return result;
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options)))
        options = 0;
    // Only a folder of the file system can take files; a library or a phone cannot.
    result = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM |
                                FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR);
    if (FAILED(result))
        return result;
    if (title != nullptr)
        dialog->SetTitle(title);
    if (start != nullptr && *start != 0) {
        // A start folder that is gone now simply leaves the system's choice.
        ComPointer<IShellItem> startItem;
        if (SUCCEEDED(
                ::SHCreateItemFromParsingName(start, nullptr, IID_IShellItem, startItem.Receive())))
            dialog->SetFolder(startItem.Get());
    }
    result = dialog->Show(owner);
    if (FAILED(result))
        return result;
    ComPointer<IShellItem> chosen;
    result = dialog->GetResult(reinterpret_cast<IShellItem**>(chosen.Receive()));
    if (FAILED(result))
        return result;
    wchar_t* chosenPath = nullptr;
    result = chosen->GetDisplayName(SIGDN_FILESYSPATH, &chosenPath);
    if (FAILED(result))
        return result;
    folder.Assign(chosenPath, static_cast<uint32_t>(::lstrlenW(chosenPath)));
    ::CoTaskMemFree(chosenPath);
    return folder.Length() != 0 ? S_OK : E_OUTOFMEMORY;
}

} // namespace

bool PickFolder(HWND owner, const wchar_t* title, const wchar_t* start, WideString& folder) {
    // The last error is set once the dialog is gone: its release may change it.
    const HRESULT result = Pick(owner, title, start, folder);
    if (SUCCEEDED(result))
        return true;
    ::SetLastError(ErrorOf(result));
    return false;
}
