#pragma once

#include <windows.h>

// Owner of an icon made for us alone (LoadImageW without LR_SHARED): destroys it when it goes.
// Shared icons belong to the system and must never be handed to it.
class IconObject {
public:
    IconObject() = default;
    ~IconObject() { Reset(); }
    IconObject(const IconObject&) = delete;
    IconObject& operator=(const IconObject&) = delete;

    HICON Get() const { return icon; }

    // Takes a new icon, destroying the one held before.
    void Reset(HICON owned = nullptr) {
        if (icon != nullptr)
            ::DestroyIcon(icon);
        icon = owned;
    }

private:
    HICON icon = nullptr;
};
