#include "ops/ChecksumListFile.h"

#include "toolkit/WriteFully.h"

namespace {

// Lines gather up to this many bytes before they are written.
constexpr int32_t kFlushBytes = 64 * 1024;

// The whole file, when it holds at most limit bytes; problem says why not.
bool ReadText(HANDLE file, uint64_t limit, DynArray<char>& text, ListProblem& problem) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        problem = ListProblem::Unreadable;
        return false;
    }
    if (static_cast<uint64_t>(size.QuadPart) > limit || size.QuadPart > INT32_MAX) {
        problem = ListProblem::TooLarge;
        return false;
    }
    const int32_t length = static_cast<int32_t>(size.QuadPart);
    if (length == 0)
        return true;
    if (!text.ResizeUp(length)) {
        problem = ListProblem::TooLarge;
        return false;
    }
    DWORD got = 0;
    // One byte more than the size said: a list that grew meanwhile is not taken.
    if (!::ReadFile(file, text.Items(), static_cast<DWORD>(length), &got, nullptr) ||
        got != static_cast<DWORD>(length)) {
        problem = ListProblem::Unreadable;
        return false;
    }
    char extra;
    if (::ReadFile(file, &extra, 1, &got, nullptr) && got != 0) {
        problem = ListProblem::Unreadable;
        return false;
    }
    return true;
}

} // namespace

void ChecksumListFile::SetFor(const WideString& wholePath) {
    path.Format(L"%s.sha256", wholePath.Text());
}

bool ChecksumListFile::Create(const wchar_t* wholeName) {
    file.Reset(::CreateFileW(path.Text(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsSet())
        return false;
    created = true;
    complete = false;
    text.Clear();
    // The line goes to the disk before any part does: a split ended from outside at any moment
    // leaves a list that says so.
    if (!AppendChecksumLine(text, kUnfinishedSplit, wholeName))
        return false;
    wholeLineBytes = static_cast<uint32_t>(text.Count());
    return Flush();
}

bool ChecksumListFile::AddLine(const Sha256Digest& digest, const wchar_t* name) {
    if (!AppendChecksumLine(text, digest, name))
        return false;
    return text.Count() < kFlushBytes || Flush();
}

bool ChecksumListFile::Flush() {
    if (!WriteFully(file.Get(), text.Items(), static_cast<size_t>(text.Count())))
        return false;
    text.Clear();
    return true;
}

bool ChecksumListFile::Complete(const Sha256Digest& whole, const wchar_t* wholeName) {
    if (!Flush() || !AppendChecksumLine(text, whole, wholeName))
        return false;
    // The same name makes a line of the same length: it takes the first line's place exactly.
    LARGE_INTEGER start = {};
    if (static_cast<uint32_t>(text.Count()) != wholeLineBytes) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) || !Flush() ||
        !::FlushFileBuffers(file.Get()) || !file.Close())
        return false;
    complete = true;
    return true;
}

void ChecksumListFile::Drop() {
    file.Close();
    if (created && !complete)
        ::DeleteFileW(path.Text());
    created = false;
}

void ChecksumListFile::Remove() {
    file.Close();
    if (created)
        ::DeleteFileW(path.Text());
    created = false;
}

bool ChecksumListFile::Read(const wchar_t* wholeName, ChecksumList& list) const {
    FileHandle listFile(::CreateFileW(path.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!listFile.IsSet()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        list.Refuse(ListProblem::Unreadable);
        return true;
    }
    DynArray<char> listText;
    ListProblem problem = ListProblem::None;
    if (!ReadText(listFile.Get(), kChecksumListLimit, listText, problem))
        list.Refuse(problem);
    else
        list.Parse(listText.Items() ? listText.Items() : "", static_cast<size_t>(listText.Count()),
                   wholeName);
    return true;
}
