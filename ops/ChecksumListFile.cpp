#include "ops/ChecksumListFile.h"

#include "ops/PartNaming.h"
#include "ops/Volume.h"

namespace {

// Lines gather up to this many bytes before they are written.
constexpr int32_t kFlushBytes = 64 * 1024;

// The whole file, when it holds at most limit bytes; problem says why not.
bool ReadText(SyncFile& file, uint64_t limit, DynArray<char>& text, ListProblem& problem) {
    uint64_t size = 0;
    if (!file.Size(size)) {
        problem = ListProblem::Unreadable;
        return false;
    }
    if (size > limit || size > INT32_MAX) {
        problem = ListProblem::TooLarge;
        return false;
    }
    const int32_t length = static_cast<int32_t>(size);
    if (length == 0)
        return true;
    if (!text.ResizeUp(length)) {
        problem = ListProblem::TooLarge;
        return false;
    }
    if (!file.ReadFully(text.Items(), static_cast<uint32_t>(length))) {
        problem = ListProblem::Unreadable;
        return false;
    }
    // One byte more than the size said: a list that grew meanwhile is not taken.
    char extra;
    uint32_t got = 0;
    if (file.ReadSome(&extra, 1, got) && got != 0) {
        problem = ListProblem::Unreadable;
        return false;
    }
    return true;
}

} // namespace

void ChecksumListFile::SetFor(const WideString& wholePath, uint32_t partCount) {
    path.Format(L"%s.sha256", wholePath.Text());
    FileNameOf(wholePath.Text(), listedName);
    parts = partCount;
}

bool ChecksumListFile::SpaceNeeded(uint32_t unit, uint64_t& bytes) const {
    const int nameBytes =
        ::WideCharToMultiByte(CP_UTF8, 0, listedName.Text(), static_cast<int>(listedName.Length()),
                              nullptr, 0, nullptr, nullptr);
    bytes = SpaceTaken(ChecksumListSize(parts, static_cast<uint64_t>(nameBytes)), unit);
    return true;
}

bool ChecksumListFile::Create() {
    if (!file.CreateNew(path.Text()))
        return false;
    created = true;
    complete = false;
    text.Clear();
    // The line goes to the disk before any part does: a split ended from outside at any moment
    // leaves a list that says so.
    if (!AppendChecksumLine(text, kUnfinishedSplit, listedName.Text()))
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
    if (!file.WriteFully(text.Items(), static_cast<size_t>(text.Count())))
        return false;
    text.Clear();
    return true;
}

bool ChecksumListFile::CompleteStep(const Sha256Digest* whole, bool& done) {
    done = false;
    if (!whole) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!Flush() || !AppendChecksumLine(text, *whole, listedName.Text()))
        return false;
    // The same name makes a line of the same length: it takes the first line's place exactly.
    if (static_cast<uint32_t>(text.Count()) != wholeLineBytes) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    // The owner brings it to the disk (FlushToDisk) off the window thread: behind a whole
    // split's data in the cache, that can take long.
    if (!file.Seek(0) || !Flush() || !file.Close())
        return false;
    complete = done = true;
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

bool ReadListText(const wchar_t* path, DynArray<char>& text, ListProblem& problem) {
    problem = ListProblem::None;
    SyncFile listFile;
    if (!listFile.OpenForReading(path)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        problem = ListProblem::Unreadable;
        return true;
    }
    ReadText(listFile, kChecksumListLimit, text, problem);
    return true;
}

bool ChecksumListFile::Read(const wchar_t* wholeName, ChecksumList& list) const {
    DynArray<char> listText;
    ListProblem problem = ListProblem::None;
    if (!ReadListText(path.Text(), listText, problem))
        return false;
    if (problem != ListProblem::None)
        list.Refuse(problem);
    else
        list.Parse(listText.Items() ? listText.Items() : "", static_cast<size_t>(listText.Count()),
                   wholeName);
    return true;
}
