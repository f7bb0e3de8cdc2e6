#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

// A growable array. A full array grows to ((3 * count) / 2 + 4) rounded down to a multiple of 4
// slots: 4, 8, 16, 28, 44, ... The elements in use move to a new block by a plain byte copy, so
// T must stay valid when its bytes are moved (the types stored here hold pointers and handles).
// Allocation failures return false with last error ERROR_NOT_ENOUGH_MEMORY and the elements
// untouched.
template <class T> class DynArray {
public:
    DynArray() = default;
    ~DynArray() {
        if (items_) {
            DestroyAll();
            ::operator delete(items_);
        }
    }
    DynArray(const DynArray&) = delete;
    DynArray& operator=(const DynArray&) = delete;

    int32_t Capacity() const { return capacity_; }
    int32_t Count() const { return count_; }
    T* Items() const { return items_; }
    T& operator[](int32_t index) const { return items_[index]; }
    T* begin() const { return items_; }
    T* end() const { return items_ + count_; }

    static constexpr int32_t GrownCapacity(int32_t count) { return ((3 * count) / 2 + 4) & ~3; }

    // Capacity at least n; when it grows, exactly n.
    bool Reserve(int32_t n) {
        if (capacity_ >= n)
            return true;
        T* block = AllocateBlock(n);
        if (!block)
            return false;
        MoveInto(block);
        capacity_ = n;
        return true;
    }

    // The element is a copy taken for the call; it is destroyed when the call returns.
    bool Append(T element) {
        if (count_ == capacity_ && !Reserve(GrownCapacity(count_)))
            return false;
        new (static_cast<void*>(items_ + count_)) T(element);
        ++count_;
        return true;
    }

    // Destroys the elements; the block and its capacity stay.
    void Clear() {
        DestroyAll();
        count_ = 0;
    }

    // Count at least n, never less than before. Slots added are left uninitialised for the
    // caller to fill; when the block grows it becomes exactly n slots.
    bool ResizeUp(int32_t n) {
        if (n > capacity_) {
            T* block = AllocateBlock(n);
            if (!block)
                return false;
            MoveInto(block);
            capacity_ = n;
            count_ = n;
        } else if (n > count_) {
            count_ = n;
        }
        return true;
    }

private:
    static T* AllocateBlock(int32_t n) {
        void* block = nullptr;
        if (n > 0 && static_cast<uint64_t>(n) * sizeof(T) <= 0x7FFFFFFFu)
            block = ::operator new(static_cast<size_t>(n) * sizeof(T), std::nothrow);
        if (!block)
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<T*>(block);
    }

    // Byte copy of the elements in use; the old block goes without running destructors.
    void MoveInto(T* block) {
        if (items_) {
            memcpy(static_cast<void*>(block), static_cast<const void*>(items_),
                   static_cast<size_t>(count_) * sizeof(T));
            ::operator delete(items_);
        }
        items_ = block;
    }

    void DestroyAll() {
        for (int32_t i = 0; i < count_; ++i)
            items_[i].~T();
    }

    int32_t capacity_ = 0;
    int32_t count_ = 0;
    T* items_ = nullptr;
};
