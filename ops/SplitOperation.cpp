#include "ops/SplitOperation.h"

#include "app/ByteSize.h"
#include "app/Globals.h"
#include "io/ComputePool.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/Commands.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "ops/Volume.h"
#include "toolkit/Handle.h"
#include "ui/ShellActions.h"

#include <new>

namespace {

// The parts' first bytes read in one go: a buffer and an event serve them all.
constexpr int32_t kHeadsPerCall = 16;
constexpr UINT kWaitingWithSize = kActionRunGroup | kActionSplitEnabled | kActionLabelRuns;
constexpr UINT kWaitingAtStart = kActionRunGroup | kActionSplitEnabled | kActionLabelInert;
constexpr UINT kWaitingSizeRemoved = kActionRunGroup | kActionLabelInert;

} // namespace

void SplitOperation::Start(const WideString& commandLinePath) {
    // A source that is not there is no part of a set: the split is refused.
    if (!FullPathOf(commandLinePath.Text(), path)) {
        ReportErrorAs(OperationOutcome::Refused, ::GetLastError(), L"Error opening %s",
                      commandLinePath.Text());
        return;
    }
    FileNameOf(path.Text(), name);

    WIN32_FIND_DATAW found;
    FindHandle search(::FindFirstFileW(path.Text(), &found));
    if (!search.IsSet()) {
        ReportErrorAs(OperationOutcome::Refused, ::GetLastError(), L"Error opening %s",
                      path.Text());
        return;
    }
    search.Close();
    totalSize = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    doneSize = 0;
    if (!TakeSectorSize(path.Text()) || !TakeOutputPath(path.Text(), target))
        return;
    state = OperationState::Waiting;

    display.SetTitle(name.Text());
    display.SetStatus(L"Waiting user action.");
    TakePartSize();
    ShowPartCount(kWaitingAtStart);
}

void SplitOperation::TakePartSize() {
    partSize = display.GetPartSize();
    if (const uint32_t count = display.GetPartCount())
        partSize = PartSizeForCount(totalSize, count, sectorSize);
}

void SplitOperation::ShowPartCount(UINT noPartSizeFlags) {
    const uint32_t count = display.GetPartCount();
    if (partSize == 0 && count != 0 && totalSize != 0) {
        display.SetStatusBarFormat(L"%s is too small for %u parts.", name.Text(), count);
        display.SetAction(kCommandSplit, noPartSizeFlags);
    } else if (partSize != 0) {
        display.SetStatusBarFormat(L"Click Split button to begin (%llu parts will be created).",
                                   SplitPartCount(totalSize, partSize));
        display.SetAction(kCommandSplit, kWaitingWithSize);
    } else {
        display.SetStatusBar(L"Pick Part-Size.");
        display.SetAction(kCommandSplit, noPartSizeFlags);
    }
}

void SplitOperation::OnPartSizeChanged() {
    if (state != OperationState::Waiting)
        return;
    TakePartSize();
    display.SetStatus(L"Waiting user action.");
    ShowPartCount(kWaitingSizeRemoved);
}

void SplitOperation::OnCommand(UINT id) {
    if (state == OperationState::Waiting && id == kCommandSplit)
        BeginSplitting();
    else if (state == OperationState::Running && id == kCommandPause && !recoveryWork.IsRunning() &&
             !recoveryJob && !listFlush)
        Pause();
    else if (state == OperationState::Paused && id == kCommandResume)
        Resume();
    else if (state == OperationState::Done && id == kCommandFind)
        SelectParts();
}

void SplitOperation::BeginSplitting() {
    if (totalSize == 0 || partSize == 0 || sectorSize == 0)
        return;
    // The folder may have been chosen since the start, on a volume of larger sectors.
    if (!TakeOutputPath(path.Text(), target))
        return;
    TakePartSize();
    if (partSize == 0)
        return;
    // Every part but the last has partSize bytes, and none is larger.
    if (OpenSource() && PlanParts() &&
        CheckFileFits(partSize < totalSize ? partSize : totalSize, target.Text()) &&
        CheckNamesFree() && PlanSideFiles() && CheckSpace() && CreateSideFiles())
        StartRunning();
}

bool SplitOperation::OpenSource() {
    // Whole-part chunks start on sector boundaries only when the part size is a multiple of the
    // sector size; otherwise the source is read through the cache.
    fileUnbuffered = partSize % sectorSize == 0;
    if (!file.Open(path.Text(), GENERIC_READ, OPEN_EXISTING,
                   fileUnbuffered ? kOverlappedUnbuffered : kOverlapped)) {
        ReportErrorAs(OperationOutcome::Refused, ::GetLastError(), L"Error opening %s",
                      path.Text());
        return false;
    }
    // The size counts from the open handle, which keeps everybody else out from now on: the file
    // may have changed while the user chose the part size.
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Handle(), &size)) {
        ReportError(::GetLastError(), L"Error opening %s", path.Text());
        return false;
    }
    if (static_cast<uint64_t>(size.QuadPart) != totalSize) {
        totalSize = static_cast<uint64_t>(size.QuadPart);
        if (totalSize == 0) {
            file.Close();
            ShowPartCount(kWaitingSizeRemoved);
            return false;
        }
    }
    return true;
}

bool SplitOperation::PlanParts() {
    uint64_t count = SplitPartCount(totalSize, partSize);
    if (count > static_cast<uint64_t>(INT32_MAX)) {
        ReportError(ERROR_ARITHMETIC_OVERFLOW, L"Error");
        return false;
    }
    int32_t partCount = static_cast<int32_t>(count);
    if (!parts.Reserve(partCount)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    for (int32_t i = 1; i <= partCount; ++i) {
        PartExtent extent = SplitPart(static_cast<uint64_t>(i), totalSize, partSize);
        WideString partPath;
        if (!PartPath(target.Text(), static_cast<uint32_t>(i), partPath) ||
            !parts.Append(
                PartRecord(GENERIC_WRITE, CREATE_NEW, partPath, extent.offset, extent.size))) {
            DWORD error = ::GetLastError();
            parts.Clear();
            ReportError(error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY, L"Error");
            return false;
        }
    }
    return true;
}

bool SplitOperation::PlanSideFiles() {
    const uint32_t partCount = static_cast<uint32_t>(parts.Count());
    const OperationChoices choices = display.Choices();
    const bool checksums = choices.writeChecksums;
    const uint32_t percent = choices.recoveryPercent;
    sideFileCount = 0;
    recovering = percent != 0;
    if (recovering && !PlanRecovery(percent < 100 ? percent : 100))
        return false;
    // The list first: until it is complete, it tells a join that the split did not finish.
    if (checksums) {
        listFile.SetFor(target, partCount);
        sideFiles[sideFileCount++] = &listFile;
    }
    if (choices.writeJoinScript) {
        scriptFiles.SetFor(target, partCount, checksums);
        sideFiles[sideFileCount++] = &scriptFiles;
    }
    if (recovering) {
        recovery.SetFor(target);
        sideFiles[sideFileCount++] = &recovery;
    }
    hashingChecksums = checksums;
    return true;
}

bool SplitOperation::CheckSpace() {
    // Every part file takes whole clusters, and the last write of each may run up to a sector
    // past its end until the part is cut; a cluster is whole sectors, so that tail lies within
    // the part's last cluster. A volume that gives no cluster size is counted in sectors.
    // The side files take whole units of their own.
    VolumeRoom room;
    if (!QueryVolumeRoom(target.Text(), room))
        return true;
    const uint32_t unit = room.UnitOr(sectorSize);
    uint64_t needed = SplitSpaceNeeded(totalSize, partSize, unit);
    for (int32_t i = 0; i < sideFileCount; ++i) {
        uint64_t bytes = 0;
        if (!sideFiles[i]->SpaceNeeded(unit, bytes)) {
            ReportError(::GetLastError(), L"Error");
            return false;
        }
        needed += bytes;
    }
    return CheckRoom(needed, room.available);
}

bool SplitOperation::CreateSideFiles() {
    for (int32_t i = 0; i < sideFileCount; ++i) {
        if (!sideFiles[i]->Create()) {
            ReportError(::GetLastError(), L"Error opening %s", sideFiles[i]->FailedPath().Text());
            return false;
        }
    }
    return true;
}

void SplitOperation::StartRunning() {
    state = OperationState::Running;
    display.ShowPartSizePanel(false);
    display.SetStatus(L"Processing %s...", name.Text());
    display.SetStatusBar(path.Text());
    if (!recovering) {
        StartMoving();
        return;
    }
    // The recovery set orders the parts by their first bytes, read first: a set of many parts
    // takes a while.
    StartRecoverySlices();
}

void SplitOperation::StartMoving() {
    // With recovery data every lane has the parts' MD5s and the blocks to work on: the list's two
    // SHA-256s then go together on one lane, where hashed side by side they cost about two
    // thirds of what they cost apart.
    hashesOnOneLane = recovering;
    if ((hashingChecksums || recovering) && !BeginHashing(hashingChecksums, hashingChecksums))
        return;
    if (!StartPipeline())
        return;
    display.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
}

SlicedWork::Result SplitOperation::ReadHeadsStep() {
    if (!recovery.ReadHeads(file.Handle(), parts, kHeadsPerCall)) {
        ReportError(::GetLastError(), L"Error reading %s", path.Text());
        return SlicedWork::Result::Failed;
    }
    return recovery.HeadsRead() ? SlicedWork::Result::Changed : SlicedWork::Result::More;
}

bool SplitOperation::CheckNamesFree() {
    // Parts are created one by one as the data reaches them: a name taken halfway would stop
    // the split with half a set made. And a part of an older set beyond the last new one would
    // be taken by every later join of this one. So any file of a part's name refuses the split
    // before anything is created; the list's own name is checked as it is created, first.
    PartNames names;
    if (!ScanPartNames(target.Text(), names)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    WideString taken;
    if (names.lowest != 0) {
        PartPath(target.Text(), names.lowest, taken);
        ReportError(ERROR_FILE_EXISTS, L"Error opening %s", taken.Text());
        return false;
    }
    // A recovery set left beside new parts would rebuild them into the file it was made for,
    // whether or not this split makes a set of its own.
    if (!RecoveryFiles::FindTaken(target.Text(), taken)) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    if (taken.Length() == 0)
        return true;
    ReportError(ERROR_FILE_EXISTS, L"Error opening %s", taken.Text());
    return false;
}

void SplitOperation::PrepareIoPair(IoPair& pair) {
    PartRecord& part = *pair.part;
    pair.source = &file;
    pair.SetPosition(part.offset + part.issued);
    pair.destination = &part.file;
    pair.writeOffset = part.issued;
}

void SplitOperation::Finish() {
    if (state != OperationState::Running || recoveryJob || listFlush)
        return;
    if (hashingChecksums)
        wholeDigest = WholeDigest();
    StopHashing();
    if (!recovering) {
        CompleteSideFiles();
        return;
    }
    // There is nothing left to pause.
    display.SetAction(kCommandPause, kActionRunGroup);
    if (!recovery.PrepareFinish() || !HandToWorkers(false))
        ReportError(::GetLastError(), L"Error making recovery data");
}

struct SplitOperation::RecoveryJob : ComputeJob {
    SplitOperation* owner; // null once let go
    int32_t lanes;
    // The rest of the files; else the padding's hashes and the recovery packets.
    bool described;
    volatile LONG stop; // the operation ends: each lane stops after the step under way
    // Per lane: the error its write failed with, and the file.
    DWORD errors[ComputePool::kMostWorkers];
    int32_t failed[ComputePool::kMostWorkers];
};

SplitOperation::~SplitOperation() {
    LetGoOfRecoveryJob();
    gComputePool.LetGo(listFlush);
}

void SplitOperation::LetGoOfRecoveryJob() {
    if (recoveryJob)
        ::InterlockedExchange(&recoveryJob->stop, 1);
    gComputePool.LetGo(recoveryJob);
}

bool SplitOperation::HandToWorkers(bool described) {
    auto* job = new (std::nothrow) RecoveryJob{};
    if (!job) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    job->owner = this;
    job->lanes = Lanes();
    job->described = described;
    job->run = RunRecoveryJob;
    job->done = RecoveryJobDone;
    uint32_t mask = 0;
    for (int32_t lane = 0; lane < job->lanes; ++lane) {
        if (!described || !recovery.LaneWritten(lane, job->lanes))
            mask |= 1u << lane;
    }
    if (!gComputePool.Submit(*job, mask)) {
        delete job;
        return false;
    }
    recoveryJob = job;
    return true;
}

void SplitOperation::RunRecoveryJob(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<RecoveryJob&>(computeJob);
    SplitRecovery& recovery = job.owner->recovery;
    // The padding first: the packets of another lane's files are written meanwhile.
    if (!job.described)
        recovery.FinishHashes(lane, job.lanes);
    while (job.stop == 0 && !(job.described ? recovery.LaneWritten(lane, job.lanes)
                                            : recovery.LaneBlocksWritten(lane, job.lanes))) {
        if (!recovery.WriteLane(lane, job.lanes, job.failed[lane])) {
            job.errors[lane] = ::GetLastError();
            // The failure is told at once: the other lanes stop too.
            ::InterlockedExchange(&job.stop, 1);
            return;
        }
    }
}

void SplitOperation::RecoveryJobDone(ComputeJob& computeJob) {
    auto* job = static_cast<RecoveryJob*>(&computeJob);
    if (SplitOperation* split = job->owner) {
        split->recoveryJob = nullptr;
        split->RecoveryWorked(*job);
    }
    delete job;
}

void SplitOperation::RecoveryWorked(const RecoveryJob& job) {
    if (job.error != 0) {
        ReportError(job.error, L"Error making recovery data");
        return;
    }
    for (int32_t lane = 0; lane < job.lanes; ++lane) {
        if (job.errors[lane] != 0) {
            recovery.SetFailed(job.failed[lane]);
            ReportError(job.errors[lane], L"Error writing %s", recovery.FailedPath().Text());
            return;
        }
    }
    if (!job.described) {
        if (recovery.HashesFinished())
            CompleteSideFiles();
        else
            ReportError(::GetLastError(), L"Error making recovery data");
        return;
    }
    if (recovery.TakeComplete())
        FlushList();
    else if (!HandToWorkers(true))
        ReportError(::GetLastError(), L"Error making recovery data");
}

void SplitOperation::CompleteSideFiles() {
    // The list and the scripts are complete in a step. The recovery files are written on the
    // workers a step at a time, while the window answers.
    for (int32_t i = 0; i < sideFileCount; ++i) {
        SideFiles& files = *sideFiles[i];
        for (bool complete = &files == &recovery; !complete;) {
            if (!files.CompleteStep(hashingChecksums ? &wholeDigest : nullptr, complete)) {
                ReportError(::GetLastError(), L"Error writing %s", files.FailedPath().Text());
                return;
            }
        }
    }
    if (!recovering)
        FlushList();
    else if (!HandToWorkers(true))
        ReportError(::GetLastError(), L"Error making recovery data");
}

void SplitOperation::StartRecoverySlices() {
    display.SetAction(kCommandPause, kActionRunGroup);
    if (!recoveryWork.Start<SplitOperation, &SplitOperation::RecoverySlice>(this))
        ReportError(::GetLastError(), L"Error");
}

void SplitOperation::RecoverySlice() {
    const SlicedWork::Result result = SlicedWork::Run([this] { return ReadHeadsStep(); });
    if (result == SlicedWork::Result::More)
        return;
    recoveryWork.Stop();
    if (result == SlicedWork::Result::Changed)
        StartMoving();
}

void SplitOperation::FlushList() {
    if (!hashingChecksums) {
        EndDone();
        return;
    }
    listFlush = DiskFlush::Start(listFile.Path(), this, [](void* owner, DWORD error, uint64_t) {
        auto* split = static_cast<SplitOperation*>(owner);
        split->listFlush = nullptr;
        split->OnListDurable(error);
    });
    if (listFlush)
        return;
    uint64_t size = 0;
    OnListDurable(FlushToDisk(listFile.Path().Text(), size));
}

void SplitOperation::OnListDurable(DWORD error) {
    if (state != OperationState::Running)
        return;
    if (error != 0)
        ReportError(error, L"Error writing %s", listFile.Path().Text());
    else
        EndDone();
}

void SplitOperation::EndDone() {
    state = OperationState::Done;
    file.Close();
    display.SetTitle(name.Text());
    display.SetStatus(L"%s splited !", name.Text());
    // Where the parts are: beside the file, or in the folder chosen for them.
    display.SetStatusBar(target.Text());
    display.SetAction(kCommandFind, kActionRunGroup | kActionResultGroup | kActionFindEnabled);
    display.Repaint();
    if (display.Choices().selectFiles && display.ShowsResult())
        SelectParts();
    PostEnded();
}

void SplitOperation::SelectParts() {
    if (state != OperationState::Done)
        return;
    int32_t count = parts.Count();
    for (int32_t i = 0; i < sideFileCount; ++i)
        count += sideFiles[i]->IsComplete() ? sideFiles[i]->FileCount() : 0;
    DynArray<const wchar_t*> paths;
    if (!paths.Reserve(count))
        return;
    for (const PartRecord& part : parts)
        paths.Append(part.path.Text());
    for (int32_t i = 0; i < sideFileCount; ++i) {
        for (int32_t n = 0; sideFiles[i]->IsComplete() && n < sideFiles[i]->FileCount(); ++n)
            paths.Append(sideFiles[i]->FilePath(n));
    }
    SelectFilesInExplorer(paths.Items(), paths.Count());
}

bool SplitOperation::PlanRecovery(uint32_t percent) {
    if (!recovery.Plan(parts, partSize, percent)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_NOT_SUPPORTED) {
            ReportError(error, L"Error: recovery data covers at most %d parts of %s",
                        Par2Creator::kMaxSlices, name.Text());
        } else if (recovery.MemoryNeeded() > SplitRecovery::kMemoryBudget) {
            WideString needed, budget;
            FormatByteSize(recovery.MemoryNeeded(), needed);
            FormatByteSize(SplitRecovery::kMemoryBudget, budget);
            ReportError(error, L"Error: the recovery data of %s takes %s of memory, more than %s",
                        name.Text(), needed.Text(), budget.Text());
        } else {
            ReportError(error, L"Error making recovery data");
        }
        return false;
    }
    return true;
}

bool SplitOperation::PlanChunkWork(ChunkJob& job, uint32_t& lanes) {
    if (!recovering)
        return true;
    if (!recovery.PlanChunk(job.length, job.runs)) {
        ReportError(::GetLastError(), L"Error making recovery data");
        return false;
    }
    // Every lane takes its share of the parts' MD5s and CRC32s (each part's MD5 is a chain that
    // cannot be cut, but the parts' go side by side) and of the blocks, beside the list's part
    // and whole-file hashes on the first two.
    lanes = (1u << Lanes()) - 1;
    return true;
}

void SplitOperation::RunChunkWork(ChunkJob& job, int32_t lane) {
    if (!recovering)
        return;
    DWORD none = 0;
    if (!recovery.WorkChunk(job.data, job.runs, lane, Lanes()))
        job.workError.compare_exchange_strong(none, ::GetLastError());
}

bool SplitOperation::OnChunkWorked(ChunkJob& job) {
    if (job.workError == 0)
        return true;
    ReportError(job.workError, L"Error making recovery data");
    return false;
}

bool SplitOperation::OnPartHashed(int32_t index, const Sha256Digest& digest) {
    if (!listFile.IsCreated())
        return true;
    WideString partName;
    if (FileNameOf(parts[index].path.Text(), partName) && listFile.AddLine(digest, partName.Text()))
        return true;
    ReportError(::GetLastError(), L"Error writing %s", listFile.Path().Text());
    return false;
}

void SplitOperation::Abort() {
    recoveryWork.Stop();
    StopHashing();
    LetGoOfRecoveryJob();
    gComputePool.LetGo(listFlush);
    if (IsBusy()) {
        // A split cut short leaves nothing: the list and the scripts may be complete already,
        // while the recovery files are written, and would refuse the next split of this file.
        for (int32_t i = 0; i < sideFileCount; ++i)
            sideFiles[i]->Remove();
        for (PartRecord& part : parts) {
            bool created = part.WasOpened();
            part.file.Close();
            if (created)
                ::DeleteFileW(part.path.Text());
        }
    }
    for (int32_t i = 0; i < sideFileCount; ++i)
        sideFiles[i]->Drop();
    file.Close();
    parts.Clear();
    ForgetPairs();
    state = OperationState::Idle;
}
