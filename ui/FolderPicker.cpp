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

bool Fail(HRESULT result) {
    ::SetLastError(ErrorOf(result));
    return false;
}

} // namespace

bool PickFolder(HWND owner, const wchar_t* title, const wchar_t* start, WideString& folder) {
    ComPointer<IFileOpenDialog> dialog;
    HRESULT result = ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IFileOpenDialog, dialog.Receive());
    if (FAILED(result))
        return Fail(result);
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options)))
        options = 0;
    // Only a folder of the file system can take files; a library or a phone cannot.
    result = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM |
                                FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR);
    if (FAILED(result))
        return Fail(result);
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
        return Fail(result);
    ComPointer<IShellItem> chosen;
    result = dialog->GetResult(reinterpret_cast<IShellItem**>(chosen.Receive()));
    if (FAILED(result))
        return Fail(result);
    wchar_t* chosenPath = nullptr;
    result = chosen->GetDisplayName(SIGDN_FILESYSPATH, &chosenPath);
    if (FAILED(result))
        return Fail(result);
    folder.Assign(chosenPath, static_cast<uint32_t>(::lstrlenW(chosenPath)));
    const bool taken = folder.Length() != 0;
    ::CoTaskMemFree(chosenPath);
    // Assign left the last error when it could not take the path.
    return taken;
}
