#pragma once

#include "toolkit/Handle.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A file read and written with blocking calls: the small files beside the parts and the reads
// that check or rebuild parts (the data of a split or a join moves through io/AsyncFile). Each
// call is false, with the reason in the last error, when it fails.
class SyncFile {
public:
    SyncFile() = default;
    SyncFile(const SyncFile&) = delete;
    SyncFile& operator=(const SyncFile&) = delete;
    // Moves hand the file over, so that files can live in arrays.
    SyncFile(SyncFile&&) noexcept = default;
    SyncFile& operator=(SyncFile&&) noexcept = default;

    // An existing file, for reading while others read it too; flags such as
    // FILE_FLAG_SEQUENTIAL_SCAN.
    bool OpenForReading(const wchar_t* path, DWORD flags = FILE_ATTRIBUTE_NORMAL);
    // A new file, for writing, shared with nobody: a name that is taken fails with
    // ERROR_FILE_EXISTS, so nothing is ever overwritten.
    bool CreateNew(const wchar_t* path);
    // An existing file, for writing, shared with nobody.
    bool OpenForWriting(const wchar_t* path);

    bool IsOpen() const { return handle.IsSet(); }
    HANDLE Get() const { return handle.Get(); }
    bool Close() { return handle.Close(); }

    bool Size(uint64_t& size) const;
    bool Seek(uint64_t offset);
    // What is left of size bytes from the current position in one call: got is 0 only at the end.
    bool ReadSome(void* data, uint32_t size, uint32_t& got);
    // Exactly size bytes from the current position; a file that ends before is ERROR_HANDLE_EOF.
    bool ReadFully(void* data, uint32_t size);
    // Exactly size bytes at offset, as ReadFully; the position moves past them.
    bool ReadAt(uint64_t offset, void* data, uint32_t size);
    bool WriteFully(const void* data, size_t size);
    // Puts what was written on the disk.
    bool Flush();

private:
    bool Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

    FileHandle handle;
};
