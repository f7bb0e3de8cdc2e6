#include "toolkit/WriteFully.h"

bool WriteFully(HANDLE file, const void* data, size_t size) {
    const BYTE* at = static_cast<const BYTE*>(data);
    while (size != 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(file, at, chunk, &written, nullptr);
        if (!wrote || written == 0) {
            // A write that succeeds with nothing written leaves no error of its own.
            if (wrote)
                ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        at += written;
        size -= written;
    }
    return true;
}
