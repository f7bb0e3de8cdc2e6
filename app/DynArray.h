#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

// A growable array. A full array grows to ((3 * count) / 2 + 4) rounded down to a multiple of 4
// slots: 4, 8, 16, 28, 44, ...; where that passes the largest int32_t it does not grow. The
// elements in use move to a new block by a plain byte copy, so T must stay valid when its bytes
// are moved (the types stored here hold pointers and handles). Allocation failures return false
// with last error ERROR_NOT_ENOUGH_MEMORY and the elements untouched.
template <class T> class DynArray {
public:
    DynArray() = default;
    ~DynArray() {
        if (items) {
            DestroyAll();
            ::operator delete(items);
        }
    }
    DynArray(const DynArray&) = delete;
    DynArray& operator=(const DynArray&) = delete;

    int32_t Capacity() const { return capacity; }
    int32_t Count() const { return count; }
    T* Items() const { return items; }
    T& operator[](int32_t index) const { return items[index]; }
    T* begin() const { return items; }
    T* end() const { return items + count; }

    // -1 where the rule's capacity passes the largest int32_t.
    static constexpr int32_t GrownCapacity(int32_t count) {
        const int64_t grown = ((3 * int64_t{count}) / 2 + 4) & ~int64_t{3};
        return grown > INT32_MAX ? -1 : static_cast<int32_t>(grown);
    }

    // Capacity at least n; when it grows, exactly n.
    bool Reserve(int32_t n) {
        if (capacity >= n)
            return true;
        T* block = AllocateBlock(n);
        if (!block)
            return false;
        MoveInto(block);
        capacity = n;
        return true;
    }

    // The element is taken for the call (moved in where it can be) and moved into its slot.
    bool Append(T element) {
        if (count == capacity) {
            const int32_t grown = GrownCapacity(count);
            if (grown < 0) {
                ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return false;
            }
            if (!Reserve(grown))
                return false;
        }
        new (static_cast<void*>(items + count)) T(std::move(element));
        ++count;
        return true;
    }

    // Destroys the elements; the block and its capacity stay.
    void Clear() {
        DestroyAll();
        count = 0;
    }

    // Count at least n, never less than before. Slots added are left uninitialised for the
    // caller to fill. A block that must grow grows by the rule, as Append's does, so that growing
    // a little at a time costs no copy of all before each time; to exactly n where that is more,
    // or where the larger block can't be had.
    bool ResizeUp(int32_t n) {
        if (n > capacity) {
            const int32_t grown = GrownCapacity(capacity);
            int32_t size = grown > n ? grown : n;
            T* block = AllocateBlock(size);
            if (!block && size != n)
                block = AllocateBlock(size = n);
            if (!block)
                return false;
            MoveInto(block);
            capacity = size;
            count = n;
        } else if (n > count) {
            count = n;
        }
        return true;
    }

private:
    static T* AllocateBlock(int32_t n) {
        void* block = nullptr;
        if (n > 0 && static_cast<uint64_t>(n) * sizeof(T) <= 0x7FFFFFFFu)
            block = ::operator new(static_cast<size_t>(n) * sizeof(T), std::nothrow);
        if (!block)
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<T*>(block);
    }

    // Byte copy of the elements in use; the old block goes without running destructors.
    void MoveInto(T* block) {
        if (items) {
            memcpy(static_cast<void*>(block), static_cast<const void*>(items),
                   static_cast<size_t>(count) * sizeof(T));
            ::operator delete(items);
        }
        items = block;
    }

    void DestroyAll() {
        for (int32_t i = 0; i < count; ++i)
            items[i].~T();
    }

    int32_t capacity = 0;
    int32_t count = 0;
    T* items = nullptr;
};
