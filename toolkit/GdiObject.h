#pragma once

#include <windows.h>

// Owner of one GDI object (font, pen, brush, bitmap, region): deletes it when it goes. Stock
// objects must never be handed to it; borrow them as plain handles instead.
template <class T> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T owned) : object(owned) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T Get() const { return object; }
    bool IsSet() const { return object != nullptr; }

    // Takes a new object, deleting the one held before.
    void Reset(T owned = nullptr) {
        if (object != nullptr)
            ::DeleteObject(object);
        object = owned;
    }
    // Gives the object up without deleting it.
    T Release() {
        T released = object;
        object = nullptr;
        return released;
    }

private:
    T object = nullptr;
};

using FontObject = GdiObject<HFONT>;
using PenObject = GdiObject<HPEN>;
using BrushObject = GdiObject<HBRUSH>;
using BitmapObject = GdiObject<HBITMAP>;
using RegionObject = GdiObject<HRGN>;
