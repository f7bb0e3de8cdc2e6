#pragma once

#include <unknwn.h>

// Owner of one reference to a COM object: released when the owner goes or takes another.
template <class Interface> class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { Reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* Get() const { return object; }
    Interface* operator->() const { return object; }
    bool IsSet() const { return object != nullptr; }

    // Where a call that hands out a reference puts it; the one held before is released first.
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&object);
    }
    void Reset() {
        if (object)
            object->Release();
        object = nullptr;
    }

private:
    Interface* object = nullptr;
};
