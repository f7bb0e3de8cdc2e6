#include "ops/JoinRepair.h"

#include "toolkit/WriteFully.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

// The most read or written in one piece.
constexpr uint32_t kPieceBytes = 4 * 1024 * 1024;
// About the most work of one step, in bytes read, hashed or multiplied into a rebuilt slice.
constexpr uint32_t kStepBytes = 16 * 1024 * 1024;
// The least fed to the rebuilt slices in a step, however many they are.
constexpr uint32_t kLeastFeedBytes = 4 * 1024;

// Shorter names first: among the parts of one file, ".999" comes before ".1000".
bool NameBefore(const wchar_t* a, const wchar_t* b) {
    const size_t la = wcslen(a), lb = wcslen(b);
    return la != lb ? la < lb : ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_LESS_THAN;
}

} // namespace

bool JoinRepair::Find(const WideString& wholePath) {
    if (!set.Load(wholePath.Text()))
        return false;
    folder = wholePath;
    folder.CutAfterLastBackslash();
    const uint32_t piece = set.SliceSize() < kPieceBytes ? set.SliceSize() : kPieceBytes;
    if (!states.ResizeUp(set.FileCount()) || !badSlices.ResizeUp(set.TotalSlices()) ||
        !buffer.ResizeUp(static_cast<int32_t>(piece)))
        return false;
    for (State& state : states)
        state = State::Whole;
    for (bool& badSlice : badSlices)
        badSlice = false;
    missingFiles.Clear();
    missingSlices.Clear();
    StartPass(Phase::Check, false);
    activity.Format(L"Checking %s...", set.FileName(0));
    return true;
}

void JoinRepair::StartPass(Phase next, bool lostLeftOut) {
    phase = next;
    file = 0;
    slice = 0;
    sliceOffset = 0;
    passBytes = 0;
    passDone = 0;
    for (int32_t i = 0; i < set.FileCount(); ++i)
        passBytes += lostLeftOut && states[i] == State::Lost ? 0 : set.FileSize(i);
}

float JoinRepair::Progress() const {
    if (phase == Phase::Blocks || phase == Phase::Solve)
        return repair.Progress();
    return passBytes == 0 ? 0.0f : static_cast<float>(static_cast<double>(passDone) / passBytes);
}

JoinRepair::Step JoinRepair::Work(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    const Phase before = phase;
    do {
        bool going = true;
        switch (phase) {
        case Phase::Check:
            going = CheckStep();
            break;
        case Phase::Blocks:
            going = BlocksStep();
            break;
        case Phase::Feed:
            going = FeedStep();
            break;
        case Phase::Solve:
            going = SolveStep();
            break;
        case Phase::Write:
            going = WriteStep();
            break;
        case Phase::Finished:
            return Step::Done;
        }
        if (!going) {
            Cancel();
            return Step::Failed;
        }
        // A new phase shows its own activity before it goes on.
    } while (phase == before && ::GetTickCount() - start < milliseconds);
    return phase == Phase::Finished ? Step::Done : Step::Working;
}

bool JoinRepair::Fail(DWORD code, const wchar_t* format, const wchar_t* fileName) {
    failureCode = code;
    failureText.Format(format, fileName);
    return false;
}

void JoinRepair::NextFile() {
    reading.Close();
    ++file;
    slice = 0;
    sliceOffset = 0;
}

bool JoinRepair::OpenFile(int32_t index) {
    filePath.Format(L"%s%s", folder.Text(), set.FileName(index));
    reading.Reset(::CreateFileW(filePath.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (reading.IsSet() && ::GetFileSizeEx(reading.Get(), &size) &&
        static_cast<uint64_t>(size.QuadPart) == set.FileSize(index))
        return true;
    reading.Close();
    return false;
}

bool JoinRepair::ReadPiece(uint32_t most, uint32_t& length) {
    const uint64_t fileSize = set.FileSize(file);
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    const uint64_t sliceBytes =
        fileSize - sliceStart < set.SliceSize() ? fileSize - sliceStart : set.SliceSize();
    const uint64_t left = sliceBytes - sliceOffset;
    length = static_cast<uint32_t>(left < most ? left : most);
    DWORD got = 0;
    return ::ReadFile(reading.Get(), buffer.Items(), length, &got, nullptr) && got == length;
}

bool JoinRepair::CheckStep() {
    if (file == set.FileCount())
        return EndCheck();
    // A file of no bytes holds no slice: nothing of it to check, nor to rebuild.
    if (set.SliceCount(file) == 0) {
        NextFile();
        return true;
    }
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    if (!reading.IsSet() && (sliceStart != 0 || sliceOffset != 0 || !OpenFile(file))) {
        // Lost, unreadable, or not of the size the set gives: rebuilt whole.
        states[file] = State::Lost;
        for (int32_t s = 0; s < set.SliceCount(file); ++s)
            badSlices[set.FirstSlice(file) + s] = true;
        passDone += set.FileSize(file) - sliceStart - sliceOffset;
        NextFile();
        return true;
    }
    activity.Format(L"Checking %s...", set.FileName(file));
    if (sliceStart + sliceOffset < set.FileSize(file)) {
        uint32_t length = 0;
        if (!ReadPiece(static_cast<uint32_t>(buffer.Count()), length)) {
            reading.Close();
            return true; // taken as lost on the next step
        }
        sliceHash.Update(buffer.Items(), length);
        sliceOffset += length;
        passDone += length;
    } else {
        // Past the file's end, the slice's hash covers the zeros that pad it to the slice size.
        const uint64_t pad = set.SliceSize() - sliceOffset;
        const uint32_t n = static_cast<uint32_t>(
            pad < static_cast<uint64_t>(buffer.Count()) ? pad : buffer.Count());
        memset(buffer.Items(), 0, n);
        sliceHash.Update(buffer.Items(), n);
        sliceOffset += n;
    }
    if (sliceOffset < set.SliceSize())
        return true;
    const int32_t s = set.FirstSlice(file) + slice;
    if (sliceHash.Finish() != set.SliceHash(s)) {
        badSlices[s] = true;
        states[file] = State::Damaged;
    }
    sliceOffset = 0;
    if (++slice == set.SliceCount(file))
        NextFile();
    return true;
}

int32_t JoinRepair::MissingIndex(int32_t s) const {
    int32_t* begin = missingSlices.begin();
    int32_t* found = std::lower_bound(begin, missingSlices.end(), s);
    return found != missingSlices.end() && *found == s ? static_cast<int32_t>(found - begin) : -1;
}

int32_t JoinRepair::FirstToRebuild() const {
    int32_t first = missingFiles[0];
    for (int32_t i : missingFiles) {
        if (NameBefore(set.FileName(i), set.FileName(first)))
            first = i;
    }
    return first;
}

bool JoinRepair::EndCheck() {
    for (int32_t i = 0; i < set.FileCount(); ++i) {
        if (states[i] != State::Whole && !missingFiles.Append(i))
            return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error rebuilding %s", set.FileName(i));
    }
    for (int32_t s = 0; s < set.TotalSlices(); ++s) {
        if (badSlices[s] && !missingSlices.Append(s))
            return Fail(ERROR_NOT_ENOUGH_MEMORY, L"Error rebuilding %s", set.FileName(0));
    }
    if (missingFiles.Count() == 0) {
        phase = Phase::Finished;
        return true;
    }
    const wchar_t* first = set.FileName(FirstToRebuild());
    if (!repair.Plan(set, missingSlices))
        return Fail(::GetLastError(), L"Error rebuilding %s", first);
    const uint32_t share = (kStepBytes / static_cast<uint32_t>(missingSlices.Count())) & ~63u;
    feedPiece = share > kLeastFeedBytes ? share : kLeastFeedBytes;
    if (feedPiece > static_cast<uint32_t>(buffer.Count()))
        feedPiece = static_cast<uint32_t>(buffer.Count());
    phase = Phase::Blocks;
    activity.Format(L"Repairing %s...", first);
    return true;
}

bool JoinRepair::BlocksStep() {
    bool done = false;
    if (!repair.ReadBlocks(kStepBytes, done)) {
        const wchar_t* first = set.FileName(FirstToRebuild());
        if (repair.MoreNeeded() <= 0)
            return Fail(::GetLastError(), L"Error rebuilding %s", first);
        failureCode = ERROR_INVALID_DATA;
        failureText.Format(L"Part %s cannot be rebuilt: %d more recovery blocks needed", first,
                           repair.MoreNeeded());
        return false;
    }
    if (done)
        StartPass(Phase::Feed, true);
    return true;
}

bool JoinRepair::FeedStep() {
    while (file < set.FileCount() && (states[file] == State::Lost || set.SliceCount(file) == 0))
        ++file;
    if (file == set.FileCount()) {
        phase = Phase::Solve;
        return true;
    }
    if (!reading.IsSet() && !OpenFile(file))
        return Fail(::GetLastError(), L"Error opening %s", set.FileName(file));
    // The damaged slices of a damaged file are what is rebuilt: only its whole ones count.
    const int32_t s = set.FirstSlice(file) + slice;
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    const uint64_t fileSize = set.FileSize(file);
    const uint64_t sliceBytes =
        fileSize - sliceStart < set.SliceSize() ? fileSize - sliceStart : set.SliceSize();
    if (badSlices[s]) {
        LARGE_INTEGER next;
        next.QuadPart = static_cast<LONGLONG>(sliceStart + sliceBytes);
        if (!::SetFilePointerEx(reading.Get(), next, nullptr, FILE_BEGIN))
            return Fail(::GetLastError(), L"Error reading %s", set.FileName(file));
        passDone += sliceBytes;
        sliceOffset = sliceBytes;
    } else {
        uint32_t length = 0;
        if (!ReadPiece(feedPiece, length))
            return Fail(::GetLastError(), L"Error reading %s", set.FileName(file));
        if (!repair.AddSlice(s, static_cast<uint32_t>(sliceOffset), buffer.Items(), length))
            return Fail(::GetLastError(), L"Error rebuilding %s", set.FileName(missingFiles[0]));
        sliceOffset += length;
        passDone += length;
    }
    if (sliceOffset < sliceBytes)
        return true;
    sliceOffset = 0;
    if (++slice == set.SliceCount(file))
        NextFile();
    return true;
}

bool JoinRepair::SolveStep() {
    bool done = false;
    if (!repair.Solve(kStepBytes, done))
        return Fail(::GetLastError(), L"Error rebuilding %s", set.FileName(missingFiles[0]));
    if (done) {
        phase = Phase::Write;
        file = 0;
        slice = 0;
        sliceOffset = 0;
        passBytes = 0;
        passDone = 0;
        for (int32_t i : missingFiles)
            passBytes += set.FileSize(i);
    }
    return true;
}

bool JoinRepair::KeepAside(int32_t index) {
    filePath.Format(L"%s%s", folder.Text(), set.FileName(index));
    // Never over another file.
    for (int n = 1; n < 1000; ++n) {
        if (n == 1)
            asidePath.Format(L"%s.damaged", filePath.Text());
        else
            asidePath.Format(L"%s.damaged%d", filePath.Text(), n);
        if (::MoveFileW(filePath.Text(), asidePath.Text()))
            return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;
    }
    return Fail(::GetLastError(), L"Error moving %s aside", set.FileName(index));
}

bool JoinRepair::WriteStep() {
    if (file == missingFiles.Count()) {
        phase = Phase::Finished;
        return true;
    }
    const int32_t target = missingFiles[file];
    const wchar_t* fileName = set.FileName(target);
    activity.Format(L"Repairing %s...", fileName);
    if (!writing.IsSet()) {
        // A lost file's name may still be taken, by a file of another size or a folder: that
        // one is kept aside too, as a damaged file is, and its whole slices serve again.
        filePath.Format(L"%s%s", folder.Text(), fileName);
        const bool taken = ::GetFileAttributesW(filePath.Text()) != INVALID_FILE_ATTRIBUTES;
        if (taken && !KeepAside(target))
            return false;
        if (states[target] == State::Damaged) {
            reading.Reset(::CreateFileW(asidePath.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (!reading.IsSet())
                return Fail(::GetLastError(), L"Error opening %s", fileName);
        }
        writing.Reset(::CreateFileW(filePath.Text(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!writing.IsSet())
            return Fail(::GetLastError(), L"Error opening %s", fileName);
        fileHash.Reset();
        slice = 0;
        sliceOffset = 0;
    }
    const int32_t s = set.FirstSlice(target) + slice;
    const uint64_t sliceStart = static_cast<uint64_t>(slice) * set.SliceSize();
    const uint64_t left = set.FileSize(target) - sliceStart;
    const uint32_t length = static_cast<uint32_t>(left < set.SliceSize() ? left : set.SliceSize());
    const uint32_t rest = length - static_cast<uint32_t>(sliceOffset);
    const uint32_t n =
        rest < static_cast<uint32_t>(buffer.Count()) ? rest : static_cast<uint32_t>(buffer.Count());
    const int32_t rebuilt = MissingIndex(s);
    if (rebuilt >= 0) {
        const uint8_t* data = repair.RebuiltSlice(rebuilt) + sliceOffset;
        if (!WriteFully(writing.Get(), data, n))
            return Fail(::GetLastError(), L"Error writing %s", fileName);
        fileHash.Update(data, n);
    } else {
        // A whole slice of the damaged file, copied over as it is.
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(sliceStart + sliceOffset);
        DWORD got = 0;
        if (!::SetFilePointerEx(reading.Get(), at, nullptr, FILE_BEGIN) ||
            !::ReadFile(reading.Get(), buffer.Items(), n, &got, nullptr) || got != n)
            return Fail(::GetLastError(), L"Error reading %s", fileName);
        if (!WriteFully(writing.Get(), buffer.Items(), n))
            return Fail(::GetLastError(), L"Error writing %s", fileName);
        fileHash.Update(buffer.Items(), n);
    }
    sliceOffset += n;
    passDone += n;
    if (sliceOffset < length)
        return true;
    sliceOffset = 0;
    if (++slice < set.SliceCount(target))
        return true;
    reading.Close();
    // The whole file against the set's own hash of it, before it takes the part's place.
    const bool whole = fileHash.Finish() == set.FileHash(target);
    if (!writing.Close() || !whole) {
        const DWORD error = whole ? ::GetLastError() : ERROR_CRC;
        ::DeleteFileW(filePath.Text());
        return Fail(error, L"Part %s could not be rebuilt", fileName);
    }
    ++file;
    slice = 0;
    return true;
}

void JoinRepair::Cancel() {
    reading.Close();
    if (writing.IsSet()) {
        writing.Close();
        ::DeleteFileW(filePath.Text());
    }
    phase = Phase::Finished;
}
