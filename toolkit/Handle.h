#pragma once

#include <windows.h>

// Owners of kernel handles: one small non-copyable owner per kind of "absent" value. Borrowed
// handles stay plain HANDLEs; only these objects close anything.
template <class Traits> class HandleOwner {
public:
    HandleOwner() = default;
    explicit HandleOwner(HANDLE owned) : handle(owned) {}
    ~HandleOwner() { Close(); }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    // Moves hand the handle over, so that owners can live in arrays.
    HandleOwner(HandleOwner&& other) noexcept : handle(other.Release()) {}
    HandleOwner& operator=(HandleOwner&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    HANDLE Get() const { return handle; }
    bool IsSet() const { return handle != Traits::Empty(); }

    // Takes ownership of a new handle, closing the one held before.
    void Reset(HANDLE owned = Traits::Empty()) {
        Close();
        handle = owned;
    }
    // Gives up ownership without closing.
    HANDLE Release() {
        HANDLE released = handle;
        handle = Traits::Empty();
        return released;
    }
    // Returns the result of the close, true when nothing was held.
    bool Close() {
        if (!IsSet())
            return true;
        bool ok = Traits::Close(handle);
        handle = Traits::Empty();
        return ok;
    }

private:
    HANDLE handle = Traits::Empty();
};

struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Close(HANDLE handle) { return ::CloseHandle(handle) != 0; }
};

struct FileHandleTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return ::CloseHandle(handle) != 0; }
};

struct FindHandleTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return ::FindClose(handle) != 0; }
};

// Threads, events, completion ports: absent is null.
using KernelHandle = HandleOwner<KernelHandleTraits>;
// Files: absent is INVALID_HANDLE_VALUE.
using FileHandle = HandleOwner<FileHandleTraits>;
// FindFirstFileW searches.
using FindHandle = HandleOwner<FindHandleTraits>;
