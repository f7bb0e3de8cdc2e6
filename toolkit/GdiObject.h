#pragma once

#include <windows.h>

// Owner of one GDI object (font, pen, brush, bitmap, region): deletes it when it goes. Stock
// objects must never be handed to it; borrow them as plain handles instead.
template <class T> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T object) : object_(object) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T Get() const { return object_; }
    bool IsSet() const { return object_ != nullptr; }

    // Takes a new object, deleting the one held before.
    void Reset(T object = nullptr) {
        if (object_ != nullptr)
            ::DeleteObject(object_);
        object_ = object;
    }
    // Gives the object up without deleting it.
    T Release() {
        T object = object_;
        object_ = nullptr;
        return object;
    }

private:
    T object_ = nullptr;
};

using FontObject = GdiObject<HFONT>;
using PenObject = GdiObject<HPEN>;
using BrushObject = GdiObject<HBRUSH>;
using BitmapObject = GdiObject<HBITMAP>;
using RegionObject = GdiObject<HRGN>;
