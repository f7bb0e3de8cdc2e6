#include "io/IoPair.h"

#include "app/Globals.h"
#include "app/Settings.h"

#include <new>

namespace {

// Created and released on the user-interface thread only.
int32_t livePairs = 0;

} // namespace

int32_t LiveIoPairs() {
    return livePairs;
}

IoPair* CreateIoPair() {
    uint32_t size = gSettings.ReadBufferSize();
    void* data = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!data)
        return nullptr;
    auto* pair = new (std::nothrow) IoPair;
    if (!pair) {
        ::VirtualFree(data, 0, MEM_RELEASE);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pair->Init(nullptr, ReleaseIoPair);
    pair->part = nullptr;
    pair->operation = nullptr;
    pair->chunk = 0;
    pair->writeOffset = 0;
    pair->source = nullptr;
    pair->destination = nullptr;
    pair->data = data;
    pair->size = size;
    ++livePairs;
    return pair;
}

void IoPair::ReleaseData() {
    if (data) {
        ::VirtualFree(data, 0, MEM_RELEASE);
        data = nullptr;
    }
}

void ReleaseIoPair(IoRequest* request) {
    auto* pair = static_cast<IoPair*>(request);
    pair->ReleaseData();
    delete pair;
    --livePairs;
}
