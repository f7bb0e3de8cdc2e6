#include "toolkit/SyncFile.h"

#include "toolkit/WriteFully.h"

bool SyncFile::Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) {
    // Closed first, so that the open's error is the last one.
    handle.Reset();
    handle.Reset(::CreateFileW(path, access, share, nullptr, disposition, flags, nullptr));
    return handle.IsSet();
}

bool SyncFile::OpenForReading(const wchar_t* path, DWORD flags) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, flags);
}

bool SyncFile::CreateNew(const wchar_t* path) {
    return Open(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}

bool SyncFile::OpenForWriting(const wchar_t* path) {
    return Open(path, GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool SyncFile::Size(uint64_t& size) const {
    LARGE_INTEGER measured;
    if (!::GetFileSizeEx(handle.Get(), &measured))
        return false;
    size = static_cast<uint64_t>(measured.QuadPart);
    return true;
}

bool SyncFile::Seek(uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(handle.Get(), at, nullptr, FILE_BEGIN) != 0;
}

bool SyncFile::ReadSome(void* data, uint32_t size, uint32_t& got) {
    DWORD read = 0;
    const BOOL ok = ::ReadFile(handle.Get(), data, size, &read, nullptr);
    got = read;
    return ok != 0;
}

bool SyncFile::ReadFully(void* data, uint32_t size) {
    BYTE* at = static_cast<BYTE*>(data);
    while (size != 0) {
        uint32_t got = 0;
        if (!ReadSome(at, size, got))
            return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        at += got;
        size -= got;
    }
    return true;
}

bool SyncFile::ReadAt(uint64_t offset, void* data, uint32_t size) {
    return Seek(offset) && ReadFully(data, size);
}

bool SyncFile::WriteFully(const void* data, size_t size) {
    return ::WriteFully(handle.Get(), data, size);
}

bool SyncFile::Flush() {
    return ::FlushFileBuffers(handle.Get()) != 0;
}
