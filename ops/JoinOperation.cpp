#include "ops/JoinOperation.h"

#include "app/Globals.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/Commands.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "ops/Volume.h"
#include "toolkit/SyncFile.h"
#include "ui/ShellActions.h"

#include <algorithm>

namespace {

constexpr int32_t kInitialPartRoom = 64;

} // namespace

bool JoinOperation::AppendPart(void* context, const WideString& partPath, uint64_t offset,
                               uint64_t size) {
    auto* parts = static_cast<DynArray<PartRecord>*>(context);
    return parts->Append(PartRecord(GENERIC_READ, OPEN_EXISTING, partPath, offset, size));
}

void JoinOperation::Start(const WideString& commandLinePath) {
    if (!TakeSetOf(commandLinePath) || !TakeFolderIfReadOnly() ||
        !TakeOutputPath(path.Text(), outputPath))
        return;
    commandPath = commandLinePath;
    parts.Reserve(kInitialPartRoom);

    display.SetTitle(name.Text());
    display.SetStatus(L"Initializing %s...", name.Text());
    display.SetStatusBar(outputPath.Text());

    // A recovery set beside the parts checks them first, and rebuilds what is lost or damaged:
    // beside them, or beside the output where nothing can be written there.
    if (!sources.Begin(path.Text(), name.Text())) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
        return;
    }
    sources.TakeRebuilt(repair.Rebuilt(), RebuildPlace());
    repair.LookIn(sources);
    if (partsReadOnly)
        repair.RebuildBeside(outputPath);
    setBeside = repair.Find(path);
    if (setBeside)
        BeginRepair();
    else
        StartJoining();
}

bool JoinOperation::TakeFolderIfReadOnly() {
    WideString probe;
    if (!UnfinishedPath(path.Text(), probe))
        return true; // the join's own open reports the lack of memory
    const DWORD refusal = FolderRefusal(probe.Text());
    partsReadOnly = refusal != 0;
    if (!partsReadOnly || outputFolder.Length() != 0)
        return true;
    WideString title;
    title.Format(L"Nothing can be written beside the parts: join %s to", name.Text());
    WideString chosen;
    if (display.ChooseOutputFolder(title.Text(), chosen)) {
        SetOutputFolder(chosen);
        return true;
    }
    const bool cancelled = ::GetLastError() == ERROR_CANCELLED;
    WideString folder(path);
    folder.CutAfterLastBackslash();
    ReportErrorAs(cancelled ? OperationOutcome::Cancelled : OperationOutcome::Refused, refusal,
                  L"Error: nothing can be written in %s", folder.Text());
    return false;
}

JoinOperation::~JoinOperation() {
    askWork.Stop();
    repairWork.Stop();
    repair.Cancel();
}

void JoinOperation::BeginRepair() {
    state = OperationState::Running;
    display.SetStatus(L"%s", repair.Activity().Text());
    display.SetAction(kCommandPause, kActionRunGroup);
    if (!repairWork.Start<JoinOperation, &JoinOperation::RepairSlice>(this))
        ReportError(::GetLastError(), L"Error");
}

void JoinOperation::RepairSlice() {
    const JoinRepair::Step step = repair.Work();
    switch (step) {
    case JoinRepair::Step::Working:
        display.SetStatus(L"%s", repair.Activity().Text());
        display.SetTitleProgress(name.Text(), repair.Progress() * 100.0f);
        return;
    case JoinRepair::Step::Loaded:
        // Whatever would refuse the join refuses it before any part is rewritten.
        if (!CheckBeforeRepair())
            break;
        // Every part there at the size the set gives: the set checks them as the join moves
        // them, so that a whole set is read once. Only when one turns out damaged are they
        // checked on their own, and the join starts again once they are repaired.
        streaming = partsAsSet && repair.BeginStream();
        if (streaming) {
            JoinAfterCheck();
            return;
        }
        repair.Check();
        return;
    case JoinRepair::Step::Planned:
        if (!CheckRebuildRoom())
            break;
        return;
    case JoinRepair::Step::Failed:
        // Parts it can't make up for may lie on another disc: the join asks for them, up to the
        // last the set names.
        if (repair.FailedWithPartsAbsent() && display.AsksForParts()) {
            setHighest = repair.HighestPart();
            repair.Cancel();
            JoinAfterCheck();
            return;
        }
        repairWork.Stop();
        ReportErrorAs(repair.FailureOutcome(IsBusy()), repair.FailureCode(), L"%s",
                      repair.FailureText().Text());
        return;
    case JoinRepair::Step::Done:
    case JoinRepair::Step::Ignored:
        wholeChecked = wholeChecked && step == JoinRepair::Step::Done;
        setChecked = step == JoinRepair::Step::Done;
        JoinAfterCheck();
        return;
    }
    // Refused: the repair has written nothing and stops here.
    repairWork.Stop();
    repair.Cancel();
}

void JoinOperation::JoinAfterCheck() {
    repairWork.Stop();
    state = OperationState::Idle;
    display.SetTitle(name.Text());
    display.SetStatus(L"Initializing %s...", name.Text());
    StartJoining();
}

void JoinOperation::CheckAfterJoin() {
    StopHashing();
    DropUnfinished();
    parts.Clear();
    nextPart = 0;
    repair.Check();
    BeginRepair();
}

bool JoinOperation::CheckOutputFree() {
    // An existing file of the output's name is never replaced.
    if (::GetFileAttributesW(outputPath.Text()) == INVALID_FILE_ATTRIBUTES)
        return true;
    ReportError(ERROR_FILE_EXISTS, L"Error opening %s", name.Text());
    return false;
}

bool JoinOperation::CheckBeforeRepair() {
    partsAsSet = false;
    if (!CheckOutputFree())
        return false;
    wholeChecked = repair.CoversWhole(wholeSize, wholeHash);
    if (repair.HighestPart() == 0)
        return true;
    PartNames names;
    if (!ScanPartNames(path.Text(), names)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    // Parts past the last the set names: a later split made them, not the one the set is of.
    if (names.highestFile > repair.HighestPart()) {
        repair.Ignore(L"it was made for fewer parts");
        wholeChecked = false;
        return true;
    }
    const uint32_t unit = RebuildUnit();
    uint64_t total = 0;
    uint64_t needed = 0;
    WideString partPath;
    for (uint32_t number = 1; number <= repair.HighestPart(); ++number) {
        uint64_t listedSize = 0;
        uint64_t size = 0;
        WIN32_FILE_ATTRIBUTE_DATA found;
        const bool covered = repair.CoversPart(number, listedSize);
        const bool present =
            sources.Locate(number, partPath) &&
            ::GetFileAttributesExW(partPath.Text(), GetFileExInfoStandard, &found) &&
            MeasurePart(partPath.Text(), found.dwFileAttributes, found.nFileSizeHigh,
                        found.nFileSizeLow, size);
        // A hole that the set can't fill.
        if (!covered && !present) {
            ReportMissingPart(number);
            return false;
        }
        total += covered ? listedSize : size;
        // A part lost, or of another size, is rebuilt whole beside the others.
        if (covered && (!present || size != listedSize))
            needed += SpaceTaken(listedSize, unit);
    }
    if (!CheckFileFits(total, outputPath.Text()) || !CheckRoomFor(total, needed))
        return false;
    outputSize = total;
    partsAsSet = needed == 0;
    // The checksum list, where there is one, has the last word on every part it names.
    ChecksumList early;
    listFile.SetFor(path);
    if (listFile.Read(name.Text(), early) && early.Problem() == ListProblem::None) {
        if (!CheckSplitFinished(early))
            return false;
        for (const ChecksumEntry& entry : early.Parts())
            repair.Vouch(entry.part, entry.digest);
    }
    return true;
}

bool JoinOperation::CheckSplitFinished(const ChecksumList& read) {
    if (!read.SplitUnfinished())
        return true;
    // The parts of a split ended from outside: the last may be short, or some may be missing.
    ReportErrorAs(OperationOutcome::Refused, ERROR_HANDLE_EOF, L"The split of %s did not finish",
                  name.Text());
    return false;
}

bool JoinOperation::CheckRebuildRoom() {
    // The rebuilt parts are written beside the damaged ones, which stay until all are proven,
    // and the output follows them.
    return CheckRoomFor(outputSize, SpaceTaken(repair.RebuildBytes(), RebuildUnit()));
}

const WideString& JoinOperation::RebuildPlace() const {
    return partsReadOnly ? outputPath : path;
}

uint32_t JoinOperation::RebuildUnit() const {
    VolumeRoom room;
    return QueryVolumeRoom(RebuildPlace().Text(), room) ? room.UnitOr(sectorSize) : sectorSize;
}

bool JoinOperation::CheckRoomFor(uint64_t size, uint64_t rebuiltBytes) {
    VolumeRoom rebuildRoom;
    const bool rebuildKnown = QueryVolumeRoom(RebuildPlace().Text(), rebuildRoom);
    if (OnOneVolume(RebuildPlace().Text(), outputPath.Text())) {
        return !rebuildKnown ||
               CheckRoom(SpaceTaken(size, rebuildRoom.UnitOr(sectorSize)) + rebuiltBytes,
                         rebuildRoom.available);
    }
    if (rebuildKnown && !CheckRoom(rebuiltBytes, rebuildRoom.available))
        return false;
    VolumeRoom outputRoom;
    return !QueryVolumeRoom(outputPath.Text(), outputRoom) ||
           CheckRoom(SpaceTaken(size, outputRoom.UnitOr(sectorSize)), outputRoom.available);
}

void JoinOperation::StartJoining() {
    FoundParts found;
    sources.Restart();
    if (!sources.Find(1, 0, sectorSize, AppendPart, &parts, found)) {
        const DWORD error = ::GetLastError();
        WideString unmeasured;
        if (found.unmeasured != 0 && sources.Locate(found.unmeasured, unmeasured))
            ReportError(error, L"Error opening %s", unmeasured.Text());
        else
            ReportError(error, L"Error");
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
        ReportSectorSizeError(sectorError, commandPath.Text());
        return;
    }
    // The list of parts ends at the first number missing; a part after it means a hole, and a
    // whole file joined up to the hole would be cut short without a word.
    PartNames names;
    if (!ScanPartNames(path.Text(), names)) {
        ReportError(::GetLastError(), L"Error");
        return;
    }
    const uint32_t highest = std::max({names.highestFile, sources.HighestSeen(), setHighest});
    if (highest > found.count && !ExpectPart(found.count + 1, highest))
        return;
    totalSize = found.totalSize;
    doneSize = 0;
    if (!ReadList() || !ReadOtherLists() || !CheckPartSizes())
        return;
    // Parts still to come are counted at the first part's size until they are found; a count
    // (perhaps a hostile list's) past any volume's size is refused by the room check. Their
    // records are added only once every part before them is joined and closed: none moves under
    // an open file.
    const uint64_t expected = sources.Expected();
    const uint64_t first = parts[0].size;
    const uint64_t foreseen = expected <= found.count                       ? totalSize
                              : first != 0 && expected > UINT64_MAX / first ? UINT64_MAX
                                                                            : expected * first;

    // The whole output must fit where it goes: the parts are deleted, if at all, only once it is
    // complete. Its last write may run up to a sector past the end before the cut, within the
    // file's last cluster; a volume that gives no cluster size is counted in sectors.
    if (!CheckFileFits(foreseen, outputPath.Text()) || !CheckRoomFor(foreseen, 0))
        return;
    if (!ClearUnfinished(foreseen))
        return;
    fileUnbuffered = found.aligned;
    if (!file.Open(unfinishedPath.Text(), GENERIC_WRITE, CREATE_NEW,
                   fileUnbuffered ? kOverlappedUnbuffered : kOverlapped)) {
        ReportError(::GetLastError(), L"Error opening %s", name.Text());
        return;
    }
    unfinishedMade = true;

    // The recovery set may vouch for the whole file, or check the parts: they are hashed as
    // they are joined.
    wholeMd5.Reset();
    streamPart = 0;
    streamOffset = 0;
    streamDamaged = false;
    streamedWhole = false;
    // The set's MD5s, where no line of the list proves a part, take as long as the list's two
    // SHA-256s together, which then share a lane.
    hashesOnOneLane = streaming;
    // Parts that the set's check has just matched to the list are not hashed again: the whole
    // file's digest covers every byte read now, a part changed since included.
    const bool hashParts = listUsed && list.Parts().Count() != 0 && !CheckMatchedListedParts();
    if ((listUsed || wholeChecked || streaming || othersUsed) &&
        !BeginHashing(hashParts, listUsed && list.HasWhole()))
        return;
    if (othersUsed && !BeginOtherChecks())
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
    // A repair has no pause, nor has the flush at the end: each ends on its own, or with the
    // window.
    if (state == OperationState::Running && id == kCommandPause && !repairWork.IsRunning() &&
        !flushJob)
        Pause();
    else if (state == OperationState::Paused && id == kCommandResume)
        Resume();
    else if (state == OperationState::Done && id == kCommandOpen)
        OpenWithShell(outputPath.Text());
    else if (state == OperationState::Done && id == kCommandFind)
        SelectInExplorer(outputPath.Text());
}

void JoinOperation::PrepareIoPair(IoPair& pair) {
    PartRecord& part = *pair.part;
    pair.source = &part.file;
    pair.SetPosition(part.issued);
    pair.destination = &file;
    pair.writeOffset = part.offset + part.issued;
}

bool JoinOperation::ClearUnfinished(uint64_t joinedSize) {
    if (!CheckOutputFree())
        return false;
    WideString unfinishedName;
    if (!UnfinishedPath(outputPath.Text(), unfinishedPath) ||
        !FileNameOf(unfinishedPath.Text(), unfinishedName)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!::GetFileAttributesExW(unfinishedPath.Text(), GetFileExInfoStandard, &found))
        return true;
    // A join of this set that was ended from outside left it: a plain file, no larger than this
    // join would have written. Anything else is somebody's and stays.
    constexpr DWORD kNotOurs =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
    const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    const bool ours =
        (found.dwFileAttributes & kNotOurs) == 0 && size <= SpaceTaken(joinedSize, sectorSize);
    if (ours && ::DeleteFileW(unfinishedPath.Text()))
        return true;
    ReportError(ours ? ::GetLastError() : ERROR_FILE_EXISTS, L"Error opening %s",
                unfinishedName.Text());
    return false;
}

void JoinOperation::DropUnfinished() {
    file.Close();
    if (unfinishedMade && !unfinishedKept)
        ::DeleteFileW(unfinishedPath.Text());
    unfinishedMade = false;
}

void JoinOperation::OnFailureSettled() {
    DropUnfinished();
}

bool JoinOperation::Rename() {
    // Write-through: the name is on the disk before any part is deleted.
    if (::MoveFileExW(unfinishedPath.Text(), outputPath.Text(), MOVEFILE_WRITE_THROUGH)) {
        unfinishedMade = false;
        return true;
    }
    const DWORD error = ::GetLastError();
    // A file of the output's name appeared meanwhile: it stays, and the joined file beside it.
    unfinishedKept = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    WideString unfinishedName;
    FileNameOf(unfinishedPath.Text(), unfinishedName);
    ReportError(error, L"Error renaming %s to %s", unfinishedName.Text(), name.Text());
    return false;
}

bool JoinOperation::CutOutput() {
    return file.CutTo(unfinishedPath.Text(), GENERIC_WRITE, totalSize);
}

bool JoinOperation::PartsAreAsListed() const {
    for (int32_t i = 0; i < parts.Count(); ++i) {
        const PartRecord& part = parts[i];
        WIN32_FILE_ATTRIBUTE_DATA found;
        uint64_t size = 0;
        if (!::GetFileAttributesExW(part.path.Text(), GetFileExInfoStandard, &found)) {
            // The disc or stick of an earlier run may have made way for the next: its parts
            // were measured as they were opened.
            const DWORD error = ::GetLastError();
            if (i < sources.RunStart() &&
                (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_NOT_READY))
                continue;
            return false;
        }
        if (!MeasurePart(part.path.Text(), found.dwFileAttributes, found.nFileSizeHigh,
                         found.nFileSizeLow, size) ||
            size != part.size)
            return false;
    }
    return true;
}

void JoinOperation::Finish() {
    if (state != OperationState::Running || flushJob)
        return;
    if (static_cast<uint32_t>(parts.Count()) < sources.Expected()) {
        AwaitNextPart();
        return;
    }
    // An output left longer than its parts is a corrupted file: that is an error, and the parts
    // must then not be deleted. Every failure from here on removes the unfinished output.
    if (!CutOutput()) {
        ReportError(::GetLastError(), L"Error Finish");
        return;
    }
    // A part listed empty is never opened, and one already read is no longer held: either may
    // have changed since. Then the output is not what the parts now hold: it goes, and every
    // part stays.
    if (!PartsAreAsListed()) {
        ReportError(ERROR_FILE_INVALID, L"Error Finish");
        return;
    }
    if (streaming) {
        const bool whole = !streamDamaged && repair.StreamWhole();
        streamedWhole = repair.StreamWhole();
        streaming = false;
        repair.EndStream();
        // A part was not what the set or the list says: they are checked on their own, the
        // set rebuilds what it can, and the join starts again from them.
        if (!whole) {
            CheckAfterJoin();
            return;
        }
    }
    if (!CheckWhole() || !CheckWholeAgainstSet() || !CheckWholeAgainstOthers())
        return;
    // A list that lies beside the parts but was not taken left them unchecked: they stay.
    const bool deleteWanted = display.Choices().deleteParts;
    partsKept = deleteWanted && ((listFound && !listUsed) || others.AnyRefused());
    deleteParts = deleteWanted && !partsKept && !partsReadOnly;
    MakeDurable();
}

void JoinOperation::MakeDurable() {
    // An empty file has nothing to flush: its join ends at once, as it started.
    if (totalSize != 0) {
        flushJob =
            DiskFlush::Start(unfinishedPath, this, [](void* owner, DWORD error, uint64_t size) {
                auto* join = static_cast<JoinOperation*>(owner);
                join->flushJob = nullptr;
                join->OnDurable(error, size);
            });
    }
    if (flushJob) {
        // Nothing moves any more: there is nothing to pause.
        display.SetAction(kCommandPause, kActionRunGroup);
        return;
    }
    uint64_t size = 0;
    const DWORD error = FlushToDisk(unfinishedPath.Text(), size);
    OnDurable(error, size);
}

void JoinOperation::OnDurable(DWORD error, uint64_t size) {
    if (state != OperationState::Running)
        return;
    // The file takes its name, and the parts go, only once it is on the disk at its full length.
    if (error == 0 && size != totalSize)
        error = ERROR_FILE_INVALID;
    if (error != 0) {
        ReportError(error, L"Error Finish");
        return;
    }
    if (!Rename())
        return;
    state = OperationState::Done;
    display.SetTitle(name.Text());
    display.SetStatus(L"%s joined !", name.Text());
    ShowListOutcome(partsKept);
    display.SetAction(kCommandOpen, kActionRunGroup | kActionResultGroup | kActionOpenEnabled |
                                        kActionFindEnabled);
    display.Repaint();
    if (display.Choices().openFile && display.ShowsResult())
        OpenWithShell(outputPath.Text());
    if (deleteParts)
        DeleteParts();
    PostEnded();
}

void JoinOperation::DeleteParts() {
    int32_t failures = 0;
    int32_t firstFailed = 0;
    DWORD firstError = 0;
    for (int32_t i = parts.Count() - 1; i >= 0; --i) {
        parts[i].file.Close();
        if (::DeleteFileW(parts[i].path.Text()))
            continue;
        // A part that went with its disc or stick, once joined, is not one that stays.
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_NOT_READY)
            continue;
        // From the last part to the first: the lowest one that stays is named.
        firstError = error;
        firstFailed = i;
        ++failures;
    }
    if (failures == 0)
        return;
    WideString partName;
    WideString text;
    FileNameOf(parts[firstFailed].path.Text(), partName);
    if (failures == 1)
        text.Format(L"Error deleting %s", partName.Text());
    else
        text.Format(L"Error deleting %s and %d more parts", partName.Text(), failures - 1);
    AppendErrorText(text, firstError);
    display.SetStatusBar(text.Text());
}

void JoinOperation::ReportMissingPart(uint32_t number) {
    WideString missingPath;
    WideString missingName;
    PartPath(path.Text(), number, missingPath);
    FileNameOf(missingPath.Text(), missingName);
    ReportError(ERROR_FILE_NOT_FOUND, L"Part %s is missing", missingName.Text());
}

bool JoinOperation::ListVouches() const {
    return listUsed && (list.HasWhole() || list.Parts().Count() == parts.Count());
}

bool JoinOperation::Listed(uint32_t number) const {
    return listUsed && list.Names(number);
}

bool JoinOperation::CheckPartSizes() {
    // Every splitter makes all parts but the last the same size; a part of another size that no
    // list checks byte for byte was cut short or grew in transfer.
    if (ListVouches())
        return true;
    const PartRecord& first = parts[0];
    for (int32_t i = 1; i < parts.Count(); ++i) {
        const uint64_t size = parts[i].size;
        const bool last = i == parts.Count() - 1;
        if ((last ? size <= first.size : size == first.size) ||
            Listed(static_cast<uint32_t>(i) + 1))
            continue;
        WideString partName;
        WideString firstName;
        FileNameOf(parts[i].path.Text(), partName);
        FileNameOf(first.path.Text(), firstName);
        if (last)
            ReportError(ERROR_FILE_INVALID, L"Part %s has %llu bytes, more than the %llu of %s",
                        partName.Text(), size, first.size, firstName.Text());
        else
            ReportError(size < first.size ? ERROR_HANDLE_EOF : ERROR_FILE_INVALID,
                        L"Part %s has %llu bytes, not %llu as %s", partName.Text(), size,
                        first.size, firstName.Text());
        return false;
    }
    return true;
}

bool JoinOperation::ReadList() {
    listFile.SetFor(path);
    // No list: the join goes on exactly as it always did.
    if (!listFile.Read(name.Text(), list))
        return true;
    listFound = true;
    listUsed = list.Problem() == ListProblem::None;
    if (!CheckSplitFinished(list))
        return false;
    if (!listUsed) {
        ShowListOutcome(false);
        return true;
    }
    // A part the list names but the set lacks: the set ended early, or the rest lies elsewhere.
    const DynArray<ChecksumEntry>& listed = list.Parts();
    const uint32_t count = static_cast<uint32_t>(parts.Count());
    if (listed.Count() != 0 && listed[listed.Count() - 1].part > count) {
        const ChecksumEntry* first =
            std::upper_bound(listed.begin(), listed.end(), count,
                             [](uint32_t n, const ChecksumEntry& entry) { return n < entry.part; });
        if (!ExpectPart(first->part, listed[listed.Count() - 1].part))
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
    return OnPartDamaged(index);
}

bool JoinOperation::OnPartDamaged(int32_t index) {
    // The recovery set may rebuild it: the join goes on, and the check of its own follows.
    if (streaming) {
        streamDamaged = true;
        return true;
    }
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

void JoinOperation::ShowListOutcome(bool kept) {
    const int32_t listed = list.Parts().Count();
    // What became of a recovery set comes first: ignored, or the whole file checked against it.
    WideString text;
    AppendRebuilt(text);
    if (repair.Note().Length() != 0)
        text.AppendFormat(L"%s; ", repair.Note().Text());
    else if (wholeChecked && state == OperationState::Done)
        text.AppendFormat(L"Verified by %s.par2; ", name.Text());
    others.AppendOutcome(text, state == OperationState::Done && !othersOverruled, parts.Count());
    if (partsReadOnly && !kept && state == OperationState::Done && display.Choices().deleteParts)
        text.AppendFormat(L"parts kept, their folder takes no changes; ");
    if (ListVouches()) {
        text.AppendFormat(L"SHA-256 verified: %s", outputPath.Text());
    } else if (listUsed) {
        // Without a line for the whole file, the parts the list leaves out went unchecked.
        text.AppendFormat(L"SHA-256 verified for %d of %d parts: %s", listed, parts.Count(),
                          outputPath.Text());
    } else if (listFound) {
        WideString listName;
        WideString problem;
        FileNameOf(listFile.Path().Text(), listName);
        list.DescribeProblem(problem);
        text.AppendFormat(kept ? L"%s ignored (%s), parts kept: %s" : L"%s ignored (%s): %s",
                          listName.Text(), problem.Text(), outputPath.Text());
    } else {
        text.AppendFormat(kept ? L"parts kept: %s" : L"%s", outputPath.Text());
    }
    display.SetStatusBar(text.Text());
}

bool JoinOperation::PlanChunkWork(ChunkJob& job, uint32_t& lanes) {
    if (othersUsed)
        lanes |= 1u << othersLane;
    if (!wholeChecked && !streaming)
        return true;
    // The part the chunk is of: chunks come in file order, and none spans two parts.
    while (streamPart < parts.Count() && streamOffset == parts[streamPart].size) {
        ++streamPart;
        streamOffset = 0;
    }
    job.streamNumber = static_cast<uint32_t>(streamPart) + 1;
    streamOffset += job.length;
    // The slices' hashes on a lane beside the list's, the whole file's on a third where there is
    // one, else beside the list's whole-file hash.
    job.streamLane = 1 % Lanes();
    job.wholeCheckLane = (streaming ? 2 : 1) % Lanes();
    lanes |= (streaming ? 1u << job.streamLane : 0) | (wholeChecked ? 1u << job.wholeCheckLane : 0);
    return true;
}

void JoinOperation::RunChunkWork(ChunkJob& job, int32_t lane) {
    if (othersUsed && lane == othersLane)
        others.Feed(job.data, job.length, job.endsPart);
    if (wholeChecked && lane == job.wholeCheckLane)
        wholeMd5.Update(job.data, job.length);
    if (!streaming || lane != job.streamLane)
        return;
    // A part's last slice is hashed as if zeros filled it up, right after its last bytes.
    bool whole = repair.StreamChunk(job.streamNumber, job.data, job.length);
    while (whole && repair.StreamPadding())
        whole = repair.StreamPad();
    job.streamBroken = !whole;
}

bool JoinOperation::OnChunkWorked(ChunkJob& job) {
    // The set's check goes on; the join learns of the damage at its end.
    if (job.streamBroken)
        streamDamaged = true;
    return job.endsPart < 0 || CheckPartAgainstOthers(job.endsPart);
}

bool JoinOperation::CheckWholeAgainstSet() {
    if (!wholeChecked || (totalSize == wholeSize && wholeMd5.Finish() == wholeHash))
        return true;
    ReportError(ERROR_CRC, L"Joined file %s is damaged", name.Text());
    return false;
}

void JoinOperation::Abort() {
    askWork.Stop();
    gComputePool.LetGo(flushJob);
    if (repairWork.IsRunning()) {
        repairWork.Stop();
        repair.Cancel();
        state = OperationState::Idle;
    }
    StopHashing();
    DropUnfinished();
    parts.Clear();
    ForgetPairs();
    state = OperationState::Idle;
}

bool JoinOperation::ReadOtherLists() {
    others.Read(path.Text(), name.Text());
    othersUsed = others.AnyUsed();
    othersOverruled = false;
    if (others.AnyRefused())
        ShowListOutcome(false);
    if (!othersUsed)
        return true;
    // A part they name but the set lacks: the set ended early, or the rest lies elsewhere.
    const uint32_t missing = others.FirstListedAfter(static_cast<uint32_t>(parts.Count()));
    return missing == 0 || ExpectPart(missing, others.HighestListed());
}

bool JoinOperation::BeginOtherChecks() {
    // Next to the SHA-256 hashes where there is a list, else on the lane those would take.
    othersLane = (listUsed ? 2 : 0) % Lanes();
    const uint32_t expected = sources.Expected();
    const int32_t slots = expected > static_cast<uint32_t>(parts.Count())
                              ? static_cast<int32_t>(expected)
                              : parts.Count();
    if (!others.Begin(slots)) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error");
        return false;
    }
    return JudgeEmptyParts(0);
}

bool JoinOperation::SetVouches(uint32_t number) const {
    JoinRepair::PartFinding finding;
    if (!setChecked || !repair.FindingOf(number, finding))
        return false;
    const DynArray<uint32_t>& rebuilt = repair.Rebuilt();
    return finding.whole || std::binary_search(rebuilt.begin(), rebuilt.end(), number);
}

bool JoinOperation::CheckMatchedListedParts() const {
    if (!setChecked || !list.HasWhole())
        return false;
    const DynArray<uint32_t>& rebuilt = repair.Rebuilt();
    for (const ChecksumEntry& entry : list.Parts()) {
        JoinRepair::PartFinding finding;
        if (!repair.FindingOf(entry.part, finding) || !finding.vouched ||
            !(finding.listAgrees || std::binary_search(rebuilt.begin(), rebuilt.end(), entry.part)))
            return false;
    }
    return true;
}

bool JoinOperation::SetVouchesAll() const {
    if (streamedWhole)
        return true;
    for (int32_t i = 0; i < parts.Count(); ++i) {
        if (!SetVouches(static_cast<uint32_t>(i) + 1))
            return false;
    }
    return setChecked && parts.Count() != 0;
}

bool JoinOperation::CheckPartAgainstOthers(int32_t index) {
    // Where the SHA-256 list names the part, it alone speaks for it; so does the recovery set,
    // whose hash of every slice is the stronger check, once it found the part whole. While the
    // parts stream through it, a part they call damaged sends the set to check on its own.
    const uint32_t number = static_cast<uint32_t>(index) + 1;
    if (!othersUsed || !others.PartDamaged(index))
        return true;
    if (Listed(number) || SetVouches(number)) {
        othersOverruled = true;
        return true;
    }
    return OnPartDamaged(index);
}

bool JoinOperation::CheckWholeAgainstOthers() {
    if (!othersUsed || !others.WholeDamaged(totalSize))
        return true;
    // The list vouches for every part or the whole file, or the set for every part: it has the
    // last word, and they are not said to have verified it.
    if (ListVouches() || SetVouchesAll()) {
        othersOverruled = true;
        return true;
    }
    ReportError(ERROR_CRC, L"Joined file %s is damaged", name.Text());
    return false;
}
