#include "ops/Operation.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "io/ComputePool.h"
#include "io/IoPair.h"
#include "ops/ChunkJob.h"
#include "ops/Commands.h"
#include "ops/Volume.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "toolkit/LastError.h"

namespace {

constexpr DWORD kSystemLanguage = 0x400; // the user's default language
constexpr DWORD kSystemTextCapacity = 1024;

uint64_t RoundUpToSector(uint64_t length, uint32_t sectorSize) {
    return (length + sectorSize - 1) / sectorSize * sectorSize;
}

} // namespace

Operation::Operation(OperationDisplay& operationDisplay) : display(operationDisplay) {}

Operation::~Operation() {
    StopHashing();
}

float Operation::Progress() const {
    if (totalSize == 0)
        return 0.0f;
    return static_cast<float>(static_cast<double>(doneSize) * 100.0 /
                              static_cast<double>(totalSize));
}

OperationOutcome Operation::Outcome() const {
    if (state == OperationState::Done)
        return doneOutcome;
    if (state == OperationState::Failed)
        return failure;
    return OperationOutcome::Cancelled;
}

bool Operation::BeginIoPair(IoPair* pair) {
    while (nextPart < parts.Count() && parts[nextPart].remaining == 0)
        ++nextPart;
    PartRecord* part = nextPart < parts.Count() ? &parts[nextPart] : nullptr;
    if (!part) {
        if (pair)
            Release(*pair);
        return true;
    }

    if (!part->file.IsOpen()) {
        if (!part->file.Open(part->path.Text(), part->access, part->disposition,
                             kOverlappedUnbuffered))
            return false;
        // A part being read must still be what was listed: one still being copied in, or
        // replaced since, would give a short or a cut-off whole file.
        if (part->disposition == OPEN_EXISTING && part->issued == 0) {
            uint64_t actual = part->file.GetSize();
            if (actual != part->size) {
                part->file.Close();
                ::SetLastError(actual < part->size ? ERROR_HANDLE_EOF : ERROR_FILE_INVALID);
                return false;
            }
        }
    }

    bool created = false;
    if (!pair) {
        pair = CreateIoPair();
        if (!pair)
            return false;
        ++pairsLive;
        created = true;
    }

    uint32_t chunk =
        static_cast<uint32_t>(part->remaining < pair->size ? part->remaining : pair->size);
    uint64_t readLength = RoundUpToSector(chunk, sectorSize);
    pair->error = 0;
    pair->transferred = 0;
    pair->onComplete = ReadDone;
    pair->part = part;
    pair->operation = this;
    pair->chunk = chunk;
    pair->chunkOffset = part->offset + part->issued;
    PrepareIoPair(*pair);

    bool issued = readLength <= pair->size;
    if (!issued)
        ::SetLastError(ERROR_INVALID_PARAMETER); // a sector larger than the buffer
    else
        issued = pair->source->Read(pair->data, static_cast<uint32_t>(readLength), pair);
    if (!issued) {
        if (created) {
            LastErrorKeeper keep;
            Release(*pair);
        }
        return false;
    }
    part->remaining -= chunk;
    part->issued += chunk;
    return true;
}

void Operation::ReadDone(IoRequest* request) {
    auto* pair = static_cast<IoPair*>(request);
    pair->operation->OnRead(*pair);
}

void Operation::WriteDone(IoRequest* request) {
    auto* pair = static_cast<IoPair*>(request);
    pair->operation->OnWrite(*pair);
}

void Operation::OnRead(IoPair& pair) {
    if (pair.error != 0) {
        ReportError(pair.error, L"Error OnRead");
        Release(pair);
        return;
    }
    // The source ended before its chunk: it changed under us. Writing what came would leave a
    // gap of stale bytes in the output.
    if (pair.transferred < pair.chunk) {
        ReportError(ERROR_HANDLE_EOF, L"Error OnRead");
        Release(pair);
        return;
    }
    // A pair without a destination only reads, for the hashes: its chunk has moved once read.
    if (!pair.destination) {
        if (hashing)
            ChunkArrived(pair);
        OnWrite(pair);
        return;
    }
    // Exactly the chunk; an unbuffered destination takes it in whole sectors, and what that
    // puts past the end of the file is cut off when the file is complete.
    bool unbuffered = pair.destination != &file || fileUnbuffered;
    uint64_t length = unbuffered ? RoundUpToSector(pair.chunk, sectorSize) : pair.chunk;
    // The write goes out first; the chunk is hashed while the system writes from the same
    // buffer, which both only read.
    if (BeginWrite(pair, static_cast<uint32_t>(length)) && hashing)
        ChunkArrived(pair);
}

bool Operation::BeginWrite(IoPair& pair, uint32_t length) {
    pair.SetPosition(pair.writeOffset);
    pair.onComplete = WriteDone;
    if (!pair.destination->Write(pair.data, length, &pair)) {
        ReportError(::GetLastError(), L"Error BeginWrite");
        Release(pair);
        return false;
    }
    return true;
}

void Operation::OnWrite(IoPair& pair) {
    if (pair.error != 0) {
        ReportError(pair.error, L"Error OnWrite");
        Release(pair);
        return;
    }
    if (pair.transferred < pair.chunk) {
        ReportError(ERROR_DISK_FULL, L"Error OnWrite");
        Release(pair);
        return;
    }
    PartRecord& part = *pair.part;
    doneSize += pair.chunk;
    part.completed += pair.chunk;
    if (part.completed == part.size && !CompletePart(part))
        ReportError(::GetLastError(), L"Error CompletePart");
    // What is written shows at once, also while the workers still hash the chunk.
    if (state == OperationState::Running && doneSize < totalSize) {
        display.SetTitleProgress(name.Text(), Progress());
        display.Repaint();
    }
    // Its chunk not hashed yet: the buffer must keep it until its turn comes.
    if (hashing && hasher.Hold(&pair))
        return;
    Continue(pair);
}

void Operation::Continue(IoPair& pair) {
    if (AllDone()) {
        // The last writes may land while paused: with nothing left to pause, the operation
        // ends now instead of waiting for a Resume that would find nothing to issue.
        if (state == OperationState::Paused)
            state = OperationState::Running;
        Finish();
        Release(pair);
        return;
    }
    if (state != OperationState::Running) {
        Release(pair);
        return;
    }
    if (!BeginIoPair(&pair)) {
        ReportError(::GetLastError(), L"Error BeginIoPair");
        Release(pair);
    }
}

bool Operation::CompletePart(PartRecord& part) {
    return part.file.CutTo(part.path.Text(), part.access, part.size);
}

bool Operation::StartPipeline() {
    // Pairs still in flight from before a pause go on when they come back: only the missing
    // ones are started, so that pausing and resuming in quick succession never adds to them.
    const int32_t count =
        PairsInFlight(gSettings.ReadIoPairCount(), gSettings.ReadBufferSize()) - pairsLive;
    for (int32_t i = 0; i < count; ++i) {
        if (!BeginIoPair(nullptr)) {
            ReportError(::GetLastError(), L"Error BeginIoPair");
            return false;
        }
    }
    return true;
}

void Operation::FinishIfComplete() {
    // Every write adds its chunk, so all is written exactly when nothing is left in flight.
    if (state == OperationState::Running && AllDone())
        Finish();
}

void Operation::Pause() {
    if (state != OperationState::Running)
        return;
    state = OperationState::Paused;
    display.SetStatus(L"Processing %s paused.", name.Text());
    display.SetAction(kCommandResume, kActionRunGroup | kActionResumeEnabled);
}

void Operation::Resume() {
    if (state != OperationState::Paused)
        return;
    state = OperationState::Running;
    if (!StartPipeline())
        return;
    display.SetStatus(L"Processing %s...", name.Text());
    display.SetAction(kCommandPause, kActionRunGroup | kActionPauseEnabled);
    FinishIfComplete();
}

void Operation::ReportError(DWORD code, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    ReportErrorV(ClassifyFailure(code, IsBusy()), code, format, args);
    va_end(args);
}

void Operation::ReportErrorAs(OperationOutcome outcome, DWORD code, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    ReportErrorV(outcome, code, format, args);
    va_end(args);
}

void Operation::ReportErrorV(OperationOutcome outcome, DWORD code, const wchar_t* format,
                             va_list args) {
    if (state == OperationState::Failed)
        return;
    state = OperationState::Failed;
    failure = outcome;
    // Nothing is hashed after an error; pairs held for their turn are let go.
    StopHashing();

    WideString text;
    text.FormatV(format, args);
    AppendErrorText(text, code);

    display.SetTitle(name.Text());
    display.SetStatus(L"Error occurred !");
    display.SetStatusBar(text.Text());
    display.SetAction(kCommandExit, kActionRunGroup | kActionResultGroup);
    if (pairsLive == 0)
        OnFailureSettled();
}

void Operation::AppendErrorText(WideString& text, DWORD code) {
    // Inserts are ignored: some system texts hold %1 placeholders that we have nothing for.
    wchar_t system[kSystemTextCapacity];
    DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         kSystemLanguage, system, kSystemTextCapacity, nullptr);
    if (length != 0)
        text.AppendFormat(L": #%u - %s", code, system);
    else
        text.AppendFormat(L": #%u", code);
}

bool Operation::TakeSetOf(const WideString& commandLinePath) {
    WideString given;
    if (!FullPathOf(commandLinePath.Text(), given)) {
        ReportError(::GetLastError(), L"Error opening %s", commandLinePath.Text());
        return false;
    }
    // A part, the set's list or its recovery file: each names the whole file by its name
    // without the last extension.
    JoinOutputPath(given.Text(), path);
    FileNameOf(path.Text(), name);
    sectorSize = QuerySectorSize(given.Text());
    sectorError = ::GetLastError();
    return true;
}

bool Operation::TakeSectorSize(const wchar_t* commandLinePath) {
    sectorSize = QuerySectorSize(commandLinePath);
    if (sectorSize != 0)
        return true;
    ReportSectorSizeError(::GetLastError(), commandLinePath);
    return false;
}

void Operation::ReportSectorSizeError(DWORD error, const wchar_t* commandLinePath) {
    ReportError(error != 0 ? error : ERROR_INVALID_PARAMETER,
                L"Error reading the sector size of %s", commandLinePath);
}

bool Operation::TakeOutputPath(const wchar_t* besidePath, WideString& outputPath) {
    if (outputFolder.Length() == 0) {
        outputPath.Assign(besidePath, static_cast<uint32_t>(::lstrlenW(besidePath)));
        return outputPath.Buffer() != nullptr;
    }
    WideString fileName;
    if (FileNameOf(besidePath, fileName) &&
        PathInFolder(outputFolder.Text(), fileName.Text(), outputPath)) {
        const uint32_t outputSector = QuerySectorSize(outputPath.Text());
        // A sector size that could not be told stays unknown, to be reported as such.
        if (sectorSize != 0 && outputSector > sectorSize)
            sectorSize = outputSector;
        return true;
    }
    const DWORD error = ::GetLastError();
    ReportErrorAs(OperationOutcome::Refused, error,
                  error == ERROR_DIRECTORY ? L"Error: %s is not a folder"
                                           : L"Error opening the folder %s",
                  outputFolder.Text());
    return false;
}

bool Operation::CheckFileFits(uint64_t fileSize, const wchar_t* filePath) {
    WideString fileSystem;
    const uint64_t largest = LargestFileOn(filePath, fileSystem);
    if (fileSize <= largest)
        return true;
    // Checked before anything is written, also where a repair has begun to read.
    ReportErrorAs(OperationOutcome::Refused, ERROR_FILE_TOO_LARGE,
                  L"Error: %s holds no file over %llu bytes, and %llu are needed",
                  fileSystem.Text(), largest, fileSize);
    return false;
}

bool Operation::CheckRoom(uint64_t needed, uint64_t available) {
    if (needed <= available)
        return true;
    WideString neededText;
    WideString availableText;
    FormatShortfall(needed, available, neededText, availableText);
    ReportErrorAs(OperationOutcome::Refused, ERROR_DISK_FULL,
                  L"Error CheckFreeSpace (%s needed, %s free)", neededText.Text(),
                  availableText.Text());
    return false;
}

void Operation::PostEnded() {
    ::PostMessageW(display.EndedTarget(), WM_OPERATION_ENDED, 0, 0);
}

bool Operation::BeginHashing(bool hashParts, bool hashWhole) {
    if (!gComputePool.IsStarted() && !gComputePool.Start()) {
        ReportError(::GetLastError(), L"Error");
        return false;
    }
    hasher.Begin(hashParts, hashWhole);
    hashPart = 0;
    submitPart = 0;
    hashing = true;
    return SettleEmptyParts();
}

bool Operation::AllDone() const {
    // Writes can end before the work on their chunks does: the last such chunk finishes.
    return doneSize >= totalSize && (!hashing || hasher.Hashed() >= totalSize);
}

void Operation::StopHashing() {
    hashing = false;
    // The workers may still read the buffers and write what they own: they finish first. Jobs
    // on their way back are let go; they free themselves when they arrive.
    if (hasher.AnySubmitted())
        gComputePool.WaitPast();
    hasher.Forget([](ChunkHasher::Waiting& slot) {
        if (slot.job)
            slot.job->operation = nullptr;
        if (slot.held)
            slot.pair->operation->Release(*slot.pair);
    });
}

bool Operation::OnPartHashed(int32_t, const Sha256Digest&) {
    return true;
}

bool Operation::PlanChunkWork(ChunkJob&, uint32_t&) {
    return true;
}

void Operation::RunChunkWork(ChunkJob&, int32_t) {}

bool Operation::OnChunkWorked(ChunkJob&) {
    return true;
}

int32_t Operation::Lanes() {
    return gComputePool.Workers();
}

void Operation::ChunkArrived(IoPair& pair) {
    if (!hasher.Add(&pair, pair.chunkOffset)) {
        ReportError(::GetLastError(), L"Error Sha256");
        return;
    }
    HashInOrder();
}

void Operation::HashInOrder() {
    // Each chunk handed on may let the next one go. The lowest chunk in flight always arrives,
    // so nothing waits for ever.
    ChunkHasher::Waiting* next;
    while (hashing && (next = hasher.NextToSubmit()) != nullptr) {
        if (!SubmitChunk(*next))
            return;
    }
}

bool Operation::SubmitChunk(ChunkHasher::Waiting& slot) {
    auto* job = new (std::nothrow) ChunkJob{};
    if (!job) {
        ReportError(ERROR_NOT_ENOUGH_MEMORY, L"Error Sha256");
        return false;
    }
    IoPair& pair = *slot.pair;
    job->run = RunJob;
    job->done = JobDone;
    job->operation = this;
    job->pair = &pair;
    job->data = static_cast<const uint8_t*>(pair.data);
    job->length = pair.chunk;
    // Chunks never span two parts; empty parts are settled apart.
    while (submitPart < parts.Count() &&
           pair.chunkOffset >= parts[submitPart].offset + parts[submitPart].size)
        ++submitPart;
    const bool endsPart =
        submitPart < parts.Count() &&
        pair.chunkOffset + pair.chunk == parts[submitPart].offset + parts[submitPart].size;
    job->endsPart = endsPart ? submitPart : -1;
    // The two streams on two lanes where there are two, unless the other lanes have more to do.
    job->hashParts = hasher.HashesParts();
    job->hashWhole = hasher.HashesWhole();
    job->partLane = 0;
    job->wholeLane = Lanes() > 1 && !hashesOnOneLane ? 1 : 0;
    uint32_t lanes = 1u | (job->hashWhole ? 1u << job->wholeLane : 0);
    if (!PlanChunkWork(*job, lanes)) {
        delete job;
        return false;
    }
    if (!gComputePool.Submit(*job, lanes)) {
        delete job;
        ReportError(::GetLastError(), L"Error Sha256");
        return false;
    }
    hasher.Submitted(slot, job, pair.chunk);
    return true;
}

void Operation::RunJob(ComputeJob& computeJob, int32_t lane) {
    auto& job = static_cast<ChunkJob&>(computeJob);
    ChunkHasher& hasher = job.operation->hasher;
    const bool part = job.hashParts && lane == job.partLane;
    const bool whole = job.hashWhole && lane == job.wholeLane;
    if (part && whole)
        hasher.HashBoth(job.data, job.length);
    else if (part)
        hasher.HashPart(job.data, job.length);
    else if (whole)
        hasher.HashWhole(job.data, job.length);
    if (part && job.endsPart >= 0)
        job.partDigest = hasher.EndPart();
    job.operation->RunChunkWork(job, lane);
}

void Operation::JobDone(ComputeJob& computeJob) {
    auto* job = static_cast<ChunkJob*>(&computeJob);
    if (!job->operation) {
        delete job;
        return;
    }
    job->operation->ChunkWorked(*job);
}

void Operation::ChunkWorked(ChunkJob& job) {
    ChunkHasher::Waiting* slot = hasher.Find(job.pair);
    if (slot)
        slot->worked = true;
    // Jobs come back in the order they went; each is finished in file order all the same.
    while (hashing && (slot = hasher.NextToFinish()) != nullptr)
        FinishChunk(*slot);
}

void Operation::FinishChunk(ChunkHasher::Waiting& waiting) {
    ChunkJob* job = waiting.job;
    IoPair& pair = *waiting.pair;
    const bool held = waiting.held;
    hasher.Finished(waiting, job->length);
    const int32_t ended = job->endsPart;
    const Sha256Digest digest = job->partDigest;
    bool ok = true;
    if (job->error != 0) {
        ReportError(job->error, L"Error Sha256");
        ok = false;
    } else {
        ok = OnChunkWorked(*job);
    }
    delete job;
    // A failure stops the hashing, and with it the caller's loop.
    if (ok && ended >= 0 && hasher.HashesParts()) {
        hashPart = ended + 1;
        if (OnPartHashed(ended, digest))
            SettleEmptyParts();
    }
    if (held)
        Continue(pair);
}

bool Operation::SettleEmptyParts() {
    // An empty part is never read, so its digest (that of nothing) is taken when its turn comes.
    while (hashing && hashPart < parts.Count() && parts[hashPart].size == 0) {
        const Sha256Digest digest = Sha256().Final();
        if (!OnPartHashed(hashPart++, digest))
            return false;
    }
    return true;
}

void Operation::Release(IoPair& pair) {
    --pairsLive;
    ReleaseIoPair(&pair);
    if (pairsLive == 0 && state == OperationState::Failed)
        OnFailureSettled();
}

void Operation::ForgetPairs() {
    // What is still in flight comes back to the abandon routine, which frees it without us.
    pairsLive = 0;
    nextPart = 0;
}
