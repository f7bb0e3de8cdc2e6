#include "ops/JoinOperation.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "io/IoPair.h"
#include "ops/Commands.h"
#include "ops/FreeSpace.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "toolkit/Handle.h"
#include "ui/ShellActions.h"

namespace {

constexpr int32_t kInitialPartRoom = 64;

// The whole list in memory, at most limit bytes. False with the reason when it can't be had.
bool ReadListText(HANDLE file, uint64_t limit, DynArray<char>& text, ListProblem& problem) {
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

bool AppendPart(void* context, const WideString& partPath, uint64_t offset, uint64_t size) {
    auto* parts = static_cast<DynArray<PartRecord>*>(context);
    return parts->Append(PartRecord(GENERIC_READ, OPEN_EXISTING, partPath, offset, size));
}

} // namespace

void JoinOperation::Start(const WideString& commandLinePath) {
    JoinOutputPath(commandLinePath.Text(), path);
    FileNameOf(path.Text(), name);
    sectorSize = QuerySectorSize(commandLinePath.Text());
    DWORD sectorError = ::GetLastError();
    parts.Reserve(kInitialPartRoom);

    display.SetTitle(name.Text());
    display.SetStatus(L"Initializing %s...", name.Text());
    display.SetStatusBar(path.Text());

    FoundParts found;
    if (!FindParts(path.Text(), sectorSize, AppendPart, &parts, found)) {
        ReportError(::GetLastError(), L"Error");
        return;
    }
    if (found.count == 0) {
        WideString first;
        PartPath(path.Text(), 1, first);
        ReportError(ERROR_FILE_NOT_FOUND, L"Error opening %s", first.Text());
        return;
    }
    // Without a sector size there is no telling how to round the transfers: say so rather
    // than guess. The drive is not asked again: an answer now would leave the first failure
    // unreported and the operation standing in Idle.
    if (sectorSize == 0) {
        ReportSectorSizeError(sectorError, commandLinePath.Text());
        return;
    }
    totalSize = found.totalSize;
    doneSize = 0;
    if (!ReadList())
        return;

    // The whole output must fit beside the parts: they are deleted, if at all, only once it is
    // complete. Its last write may run up to a sector past the end before the cut, within the
    // file's last cluster; a volume that gives no cluster size is counted in sectors.
    VolumeRoom room;
    if (QueryVolumeRoom(path.Text(), room) &&
        !CheckRoom(SpaceTaken(totalSize, room.UnitOr(sectorSize)), room.available))
        return;
    fileUnbuffered = found.aligned;
    if (!file.Open(path.Text(), GENERIC_WRITE, CREATE_NEW,
                   fileUnbuffered ? kOverlappedUnbuffered : kOverlapped)) {
        ReportError(::GetLastError(), L"Error opening %s", name.Text());
        return;
    }

    if (listUsed && !BeginHashing(list.Parts().Count() != 0, list.HasWhole()))
        return;
    if (!StartPipeline())
        return;
    state = OperationState::Running;
    display.SetStatus(L"Processing %s...", name.Text());
    display.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
    // Parts that are all empty give nothing to move and so no write to end on.
    FinishIfComplete();
}

void JoinOperation::OnCommand(UINT id) {
    if (state == OperationState::Running && id == kCommandPause)
        Pause();
    else if (state == OperationState::Paused && id == kCommandResume)
        Resume();
    else if (state == OperationState::Done && id == kCommandOpen)
        OpenWithShell(path.Text());
    else if (state == OperationState::Done && id == kCommandFind)
        SelectInExplorer(path.Text());
}

void JoinOperation::PrepareIoPair(IoPair& pair) {
    PartRecord& part = *pair.part;
    pair.source = &part.file;
    pair.SetPosition(part.issued);
    pair.destination = &file;
    pair.writeOffset = part.offset + part.issued;
}

bool JoinOperation::CutOutput() {
    return file.CutTo(path.Text(), GENERIC_WRITE, totalSize);
}

bool JoinOperation::PartsAreAsListed() const {
    for (const PartRecord& part : parts) {
        WIN32_FILE_ATTRIBUTE_DATA found;
        if (!::GetFileAttributesExW(part.path.Text(), GetFileExInfoStandard, &found))
            return false;
        const uint64_t size =
            (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (size != part.size)
            return false;
    }
    return true;
}

void JoinOperation::Finish() {
    if (state != OperationState::Running)
        return;
    // An output left longer than its parts is a corrupted file: that is an error, and the parts
    // must then not be deleted.
    if (!CutOutput()) {
        ReportError(::GetLastError(), L"Error Finish");
        return;
    }
    // A part listed empty is never opened, and one already read is no longer held: either may
    // have changed since. Then the output is not what the parts now hold; it stays for a look,
    // and every part stays.
    if (!PartsAreAsListed()) {
        ReportError(ERROR_FILE_INVALID, L"Error Finish");
        return;
    }
    if (!CheckWhole())
        return;
    state = OperationState::Done;
    display.SetTitle(name.Text());
    display.SetStatus(L"%s joined !", name.Text());
    ShowListOutcome();
    display.SetAction(kCommandOpen, kActionRunGroup | kActionResultGroup | kActionOpenEnabled |
                                        kActionFindEnabled);
    display.Repaint();
    if (gSettings.ReadOpenFile())
        OpenWithShell(path.Text());
    if (gSettings.ReadDeleteFiles()) {
        for (int32_t i = parts.Count() - 1; i >= 0; --i) {
            parts[i].file.Close();
            ::DeleteFileW(parts[i].path.Text());
        }
    }
    PostEnded();
}

bool JoinOperation::ReadList() {
    listPath.Format(L"%s.sha256", path.Text());
    FileHandle listFile(::CreateFileW(listPath.Text(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!listFile.IsSet()) {
        const DWORD error = ::GetLastError();
        // No list: the join goes on exactly as it always did.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return true;
        listFound = true;
        list.Refuse(ListProblem::Unreadable);
        ShowListOutcome();
        return true;
    }
    listFound = true;
    DynArray<char> text;
    ListProblem problem = ListProblem::None;
    const uint64_t limit = ChecksumListLimit(static_cast<uint32_t>(parts.Count()), name.Length());
    if (!ReadListText(listFile.Get(), limit, text, problem))
        list.Refuse(problem);
    else if (list.Parse(text.Items() ? text.Items() : "", static_cast<size_t>(text.Count()),
                        name.Text()))
        listUsed = true;
    if (!listUsed) {
        ShowListOutcome();
        return true;
    }
    // A part the list names but the set lacks: the set ended early.
    const DynArray<ChecksumEntry>& listed = list.Parts();
    if (listed.Count() != 0 &&
        listed[listed.Count() - 1].part > static_cast<uint32_t>(parts.Count())) {
        uint32_t missing = 0;
        for (const ChecksumEntry& entry : listed) {
            if (entry.part > static_cast<uint32_t>(parts.Count())) {
                missing = entry.part;
                break;
            }
        }
        WideString missingPath;
        WideString missingName;
        PartPath(path.Text(), missing, missingPath);
        FileNameOf(missingPath.Text(), missingName);
        ReportError(ERROR_FILE_NOT_FOUND, L"Part %s is missing", missingName.Text());
        return false;
    }
    listCursor = 0;
    return true;
}

bool JoinOperation::OnPartHashed(int32_t index, const Sha256Digest& digest) {
    // Parts come in order and the list is sorted by part: one walk along both.
    const DynArray<ChecksumEntry>& listed = list.Parts();
    const uint32_t number = static_cast<uint32_t>(index) + 1;
    while (listCursor < listed.Count() && listed[listCursor].part < number)
        ++listCursor;
    if (listCursor == listed.Count() || listed[listCursor].part != number ||
        listed[listCursor].digest == digest)
        return true;
    WideString partName;
    FileNameOf(parts[index].path.Text(), partName);
    ReportError(ERROR_CRC, L"Part %s is damaged", partName.Text());
    return false;
}

bool JoinOperation::CheckWhole() {
    if (!IsHashing())
        return true;
    const Sha256Digest whole = WholeDigest();
    StopHashing();
    if (list.HasWhole() && whole != list.Whole()) {
        ReportError(ERROR_CRC, L"Joined file %s is damaged", name.Text());
        return false;
    }
    return true;
}

void JoinOperation::ShowListOutcome() {
    const int32_t listed = list.Parts().Count();
    if (listUsed && (list.HasWhole() || listed == parts.Count())) {
        display.SetStatusBarFormat(L"SHA-256 verified: %s", path.Text());
    } else if (listUsed) {
        // Without a line for the whole file, the parts the list leaves out went unchecked.
        display.SetStatusBarFormat(L"SHA-256 verified for %d of %d parts: %s", listed,
                                   parts.Count(), path.Text());
    } else if (listFound) {
        WideString listName;
        WideString problem;
        FileNameOf(listPath.Text(), listName);
        list.DescribeProblem(problem);
        display.SetStatusBarFormat(L"%s ignored (%s): %s", listName.Text(), problem.Text(),
                                   path.Text());
    } else {
        display.SetStatusBar(path.Text());
    }
}

void JoinOperation::Abort() {
    StopHashing();
    file.Close();
    parts.Clear();
    nextPart = 0;
    if (IsBusy())
        ::DeleteFileW(path.Text());
    state = OperationState::Idle;
}
