#include "recovery/RecoveryFiles.h"

#include "recovery/Par2Creator.h"

#include <cwchar>

namespace {

bool SameText(const wchar_t* a, const wchar_t* b, size_t length) {
    return ::CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
           CSTR_EQUAL;
}

// "<base>.par2" or "<base>.vol*.par2", as the system matches such a pattern against long names.
bool IsSetName(const wchar_t* name, const wchar_t* baseName) {
    constexpr size_t kIndex = 5;  // ".par2"
    constexpr size_t kVolume = 4; // ".vol"
    const size_t base = wcslen(baseName);
    const size_t length = wcslen(name);
    if (length < base + kIndex || !SameText(name, baseName, base))
        return false;
    const wchar_t* tail = name + base;
    const size_t tailLength = length - base;
    if (tailLength == kIndex)
        return SameText(tail, L".par2", kIndex);
    return tailLength >= kVolume + kIndex && SameText(tail, L".vol", kVolume) &&
           SameText(tail + tailLength - kIndex, L".par2", kIndex);
}

} // namespace

bool RecoveryFiles::Create(const Par2Creator& creator, const wchar_t* basePath) {
    Drop();
    const int32_t count = creator.OutputCount();
    if (!outputs.Reserve(count))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        Output output;
        if (!creator.OutputName(basePath, i, output.path)) {
            Drop();
            return false;
        }
        if (!output.file.CreateNew(output.path.Text())) {
            const DWORD error = ::GetLastError();
            failedPath.Assign(output.path.Text(), output.path.Length());
            Drop();
            ::SetLastError(error);
            return false;
        }
        outputs.Append(std::move(output));
    }
    return true;
}

bool RecoveryFiles::WriteLane(const Par2Creator& creator, int32_t lane, int32_t lanes,
                              uint32_t most, int32_t& failed) {
    for (int32_t i = lane; i < outputs.Count(); i += lanes) {
        Output& output = outputs[i];
        if (output.written.done || Waiting(creator, i))
            continue;
        if (!creator.WriteOutputStep(i, output.written, output.file.Get(), most) ||
            (output.written.done && !output.file.Close())) {
            failed = i;
            return false;
        }
        // One step a call: the caller decides whether to go on.
        return true;
    }
    return true;
}

bool RecoveryFiles::LaneWritten(int32_t lane, int32_t lanes) const {
    for (int32_t i = lane; i < outputs.Count(); i += lanes) {
        if (!outputs[i].written.done)
            return false;
    }
    return true;
}

bool RecoveryFiles::LaneBlocksWritten(const Par2Creator& creator, int32_t lane,
                                      int32_t lanes) const {
    for (int32_t i = lane; i < outputs.Count(); i += lanes) {
        if (!outputs[i].written.done && !creator.BlocksWritten(i, outputs[i].written))
            return false;
    }
    return true;
}

bool RecoveryFiles::Waiting(const Par2Creator& creator, int32_t index) const {
    return !creator.Described() && creator.BlocksWritten(index, outputs[index].written);
}

bool RecoveryFiles::TakeComplete() {
    complete = outputs.Count() != 0 && LaneWritten(0, 1);
    return complete;
}

bool RecoveryFiles::Complete(Par2Creator& creator) {
    if (!creator.FinishAll())
        return false;
    int32_t failed = 0;
    while (!LaneWritten(0, 1)) {
        if (!WriteLane(creator, 0, 1, UINT32_MAX, failed)) {
            const DWORD error = ::GetLastError();
            SetFailed(failed);
            ::SetLastError(error);
            return false;
        }
    }
    return TakeComplete();
}

void RecoveryFiles::SetFailed(int32_t index) {
    failedPath.Assign(outputs[index].path.Text(), outputs[index].path.Length());
}

void RecoveryFiles::Drop() {
    Forget(false);
}

void RecoveryFiles::Remove() {
    Forget(true);
}

void RecoveryFiles::Forget(bool removeComplete) {
    for (Output& output : outputs) {
        output.file.Close();
        if (!complete || removeComplete)
            ::DeleteFileW(output.path.Text());
    }
    outputs.Clear();
    complete = false;
}

bool RecoveryFiles::FindTaken(const wchar_t* basePath, WideString& found) {
    found.Assign(L"", 0);
    const wchar_t* slash = wcsrchr(basePath, L'\\');
    const wchar_t* baseName = slash ? slash + 1 : basePath;
    const uint32_t folderLength = static_cast<uint32_t>(baseName - basePath);
    WideString pattern;
    pattern.Format(L"%s.*", basePath);
    if (!pattern.Buffer() || !found.Buffer()) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // The pattern finds every long name that starts so, and names whose short name matches it;
    // each is checked by its long name.
    WIN32_FIND_DATAW data;
    FindHandle search(::FindFirstFileW(pattern.Text(), &data));
    if (!search.IsSet()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    do {
        if (!IsSetName(data.cFileName, baseName))
            continue;
        found.Assign(basePath, folderLength);
        found.AppendFormat(L"%s", data.cFileName);
        if (!found.Buffer()) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    } while (::FindNextFileW(search.Get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}
