#include "ui/ShellActions.h"

#include "app/DynArray.h"
#include "app/WideString.h"

#include <shellapi.h>

ParseDisplayNameProc gParseDisplayName = nullptr;
OpenFolderAndSelectItemsProc gOpenFolderAndSelectItems = nullptr;

namespace {

constexpr SFGAOF kFileSystemItem = SFGAO_FILESYSTEM;

// The shell's allocator for the item lists, released when the service ends.
class ShellAllocator {
public:
    ShellAllocator() {
        if (FAILED(::SHGetMalloc(&malloc)))
            malloc = nullptr;
    }
    ~ShellAllocator() {
        if (malloc)
            malloc->Release();
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;

    bool IsReady() const { return malloc != nullptr; }
    void Free(void* block) const {
        if (block)
            malloc->Free(block);
    }

private:
    IMalloc* malloc = nullptr;
};

// GetProcAddress gives a generic pointer; the entry points have these exact signatures.
template <class Proc> Proc EntryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

PIDLIST_ABSOLUTE ParseItem(const wchar_t* path) {
    PIDLIST_ABSOLUTE item = nullptr;
    SFGAOF attributes = 0;
    if (FAILED(gParseDisplayName(path, nullptr, &item, kFileSystemItem, &attributes)))
        return nullptr;
    return item;
}

} // namespace

void InitShellEntryPoints() {
    HMODULE shell = ::GetModuleHandleW(L"shell32");
    if (!shell)
        return;
    gParseDisplayName = EntryPoint<ParseDisplayNameProc>(shell, "SHParseDisplayName");
    gOpenFolderAndSelectItems =
        EntryPoint<OpenFolderAndSelectItemsProc>(shell, "SHOpenFolderAndSelectItems");
}

BOOL OpenWithShell(const wchar_t* path) {
    HINSTANCE result = ::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

BOOL SelectInExplorer(const wchar_t* path) {
    if (!gParseDisplayName || !gOpenFolderAndSelectItems)
        return FALSE;
    ShellAllocator allocator;
    if (!allocator.IsReady())
        return FALSE;
    PIDLIST_ABSOLUTE item = ParseItem(path);
    if (!item)
        return FALSE;
    // With no items given, the list names the item itself: its folder opens with it selected.
    BOOL shown = SUCCEEDED(gOpenFolderAndSelectItems(item, 0, nullptr, 0));
    allocator.Free(item);
    return shown;
}

BOOL SelectFilesInExplorer(const wchar_t* const* paths, int32_t count) {
    if (count <= 0 || !gParseDisplayName || !gOpenFolderAndSelectItems)
        return FALSE;
    DynArray<PIDLIST_ABSOLUTE> items;
    if (!items.ResizeUp(count))
        return FALSE;
    for (PIDLIST_ABSOLUTE& item : items)
        item = nullptr;
    ShellAllocator allocator;
    if (!allocator.IsReady())
        return FALSE;

    WideString folderPath;
    folderPath.Assign(paths[0], static_cast<uint32_t>(::lstrlenW(paths[0])));
    folderPath.CutAfterLastBackslash();

    BOOL shown = FALSE;
    PIDLIST_ABSOLUTE folder = ParseItem(folderPath.Text());
    if (folder) {
        bool parsed = true;
        for (int32_t i = 0; i < count && parsed; ++i) {
            items[i] = ParseItem(paths[i]);
            parsed = items[i] != nullptr;
        }
        if (parsed) {
            shown = SUCCEEDED(
                gOpenFolderAndSelectItems(folder, static_cast<UINT>(count),
                                          const_cast<PCUITEMID_CHILD_ARRAY>(
                                              static_cast<const ITEMIDLIST* const*>(items.Items())),
                                          0));
        }
    }
    allocator.Free(folder);
    for (PIDLIST_ABSOLUTE& item : items) {
        allocator.Free(item);
        item = nullptr;
    }
    return shown;
}
