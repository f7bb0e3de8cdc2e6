#include "ops/PartSwap.h"

#include "toolkit/LastError.h"

namespace {

// Temporary and kept-aside names are numbered up to this before the work gives up.
constexpr int kMostNameTries = 1000;

void Forget(WideString& text) {
    text.Assign(nullptr, 0);
}

bool NameTaken(DWORD error) {
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

} // namespace

bool PartSwap::Begin(int32_t count) {
    RemoveTemporaries();
    parts.Clear();
    failedAt = -1;
    failedStep = nullptr;
    if (!parts.Reserve(count)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    for (int32_t k = 0; k < count; ++k)
        parts.Append(Part{}); // within the room reserved
    return true;
}

bool PartSwap::CreateTemporary(int32_t k, const WideString& place, SyncFile& file) {
    Part& part = parts[k];
    part.place = place;
    if (part.place.Length() != place.Length())
        return false; // the string said why
    for (int n = 1; n <= kMostNameTries; ++n) {
        if (n == 1)
            part.temporary.Format(L"%s.rebuilding", place.Text());
        else
            part.temporary.Format(L"%s.rebuilding%d", place.Text(), n);
        if (file.CreateNew(part.temporary.Text()))
            return true;
        if (!NameTaken(::GetLastError()))
            break;
    }
    LastErrorKeeper keep;
    Forget(part.temporary);
    return false;
}

bool PartSwap::MoveToFreeName(const WideString& from, const wchar_t* suffix, WideString& to) {
    for (int n = 1; n <= kMostNameTries; ++n) {
        if (n == 1)
            to.Format(L"%s%s", from.Text(), suffix);
        else
            to.Format(L"%s%s%d", from.Text(), suffix, n);
        if (::MoveFileW(from.Text(), to.Text()))
            return true;
        if (!NameTaken(::GetLastError()))
            break;
    }
    LastErrorKeeper keep;
    Forget(to);
    return false;
}

bool PartSwap::Swap() {
    int32_t k = 0;
    for (; k < parts.Count(); ++k) {
        Part& part = parts[k];
        if (::GetFileAttributesW(part.place.Text()) != INVALID_FILE_ATTRIBUTES &&
            !MoveToFreeName(part.place, L".damaged", part.aside)) {
            failedStep = L"Error moving %s aside";
            break;
        }
        if (!::MoveFileW(part.temporary.Text(), part.place.Text())) {
            failedStep = L"Error renaming %s";
            break;
        }
    }
    if (!failedStep) {
        for (Part& part : parts)
            Forget(part.temporary);
        return true;
    }
    LastErrorKeeper keep;
    failedAt = k;
    if (parts[k].aside.Length() != 0)
        ::MoveFileW(parts[k].aside.Text(), parts[k].place.Text());
    while (k-- > 0)
        Undo(k);
    return false;
}

void PartSwap::Undo(int32_t k) {
    Part& part = parts[k];
    ::MoveFileW(part.place.Text(), part.temporary.Text());
    if (part.aside.Length() != 0)
        ::MoveFileW(part.aside.Text(), part.place.Text());
    Forget(part.aside);
}

void PartSwap::RemoveTemporaries() {
    for (Part& part : parts) {
        if (part.temporary.Length() != 0)
            ::DeleteFileW(part.temporary.Text());
        Forget(part.temporary);
    }
}
