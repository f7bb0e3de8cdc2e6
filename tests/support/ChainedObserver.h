#pragma once

#include "io/IoObserver.h"

namespace testing_support {

// An observer installed for its lifetime in front of the one installed before it (the alignment
// check), to which it passes everything on; tests override what they watch or change, and call
// these to pass it on.
class ChainedObserver : public IoObserver {
public:
    ChainedObserver() : previous(gIoObserver) { gIoObserver = this; }
    ~ChainedObserver() { gIoObserver = previous; }
    ChainedObserver(const ChainedObserver&) = delete;
    ChainedObserver& operator=(const ChainedObserver&) = delete;

    void OnOpen(const wchar_t* name, DWORD access, DWORD disposition, DWORD flags,
                HANDLE handle) override {
        if (previous)
            previous->OnOpen(name, access, disposition, flags, handle);
    }
    void OnClose(HANDLE handle) override {
        if (previous)
            previous->OnClose(handle);
    }
    void OnTransfer(HANDLE handle, uint64_t position, const void* buffer, uint32_t length,
                    bool write) override {
        if (previous)
            previous->OnTransfer(handle, position, buffer, length, write);
    }
    uint32_t IssuedLength(HANDLE handle, uint64_t position, uint32_t length, bool write) override {
        return previous ? previous->IssuedLength(handle, position, length, write) : length;
    }

private:
    IoObserver* previous;
};

} // namespace testing_support
