#include "ops/Operation.h"

#include "app/Globals.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "io/IoPair.h"
#include "ops/Commands.h"
#include "ops/FreeSpace.h"
#include "ops/Volume.h"
#include "ops/OperationDisplay.h"
#include "ops/PartNaming.h"
#include "toolkit/LastError.h"

namespace {

constexpr DWORD kSystemLanguage = 0x400; // the user's default language
constexpr DWORD kSystemTextCapacity = 1024;
// The work on chunks in their turn at one go, as a chunk arrives or at a tick of the timer
// that goes on with it, and the ticks' period: the window answers between them.
constexpr DWORD kInOrderSliceMs = 25;
constexpr UINT kInOrderTickMs = 10;

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
    if (BeginIoPair(&pair)) {
        display.SetTitleProgress(name.Text(), Progress());
        display.Repaint();
    } else {
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
    if (state == OperationState::Failed)
        return;
    state = OperationState::Failed;
    // Nothing is hashed after an error; pairs held for their turn are let go.
    StopHashing();

    WideString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
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

bool Operation::CheckFileFits(uint64_t fileSize) {
    WideString fileSystem;
    const uint64_t largest = LargestFileOn(path.Text(), fileSystem);
    if (fileSize <= largest)
        return true;
    ReportError(ERROR_FILE_TOO_LARGE,
                L"Error: %s holds no file over %llu bytes, and %llu are needed", fileSystem.Text(),
                largest, fileSize);
    return false;
}

bool Operation::CheckRoom(uint64_t needed, uint64_t available) {
    if (needed <= available)
        return true;
    WideString neededText;
    WideString availableText;
    FormatShortfall(needed, available, neededText, availableText);
    ReportError(ERROR_DISK_FULL, L"Error CheckFreeSpace (%s needed, %s free)", neededText.Text(),
                availableText.Text());
    return false;
}

void Operation::PostEnded() {
    ::PostMessageW(display.EndedTarget(), WM_OPERATION_ENDED, 0, 0);
}

bool Operation::BeginHashing(bool hashParts, bool hashWhole) {
    hasher.Begin(hashParts, hashWhole);
    hashPart = 0;
    hashing = true;
    return SettleEmptyParts();
}

bool Operation::AllDone() const {
    // Writes can end before the work on their chunks does: the last such chunk finishes.
    return doneSize >= totalSize && (!hashing || hasher.Hashed() >= totalSize);
}

void Operation::StopHashing() {
    hashing = false;
    inOrderTimer.Stop();
    hasher.Forget([](IoPair& pair) { pair.operation->Release(pair); });
}

bool Operation::OnPartHashed(int32_t, const Sha256Digest&) {
    return true;
}

void Operation::ChunkArrived(IoPair& pair) {
    if (!hasher.Add(&pair, pair.chunkOffset)) {
        ReportError(::GetLastError(), L"Error Sha256");
        return;
    }
    // While a chunk's work is unfinished, the timer goes on with it.
    if (!inOrderTimer.IsRunning())
        WorkInOrder();
}

void Operation::WorkInOrder() {
    const DWORD start = ::GetTickCount();
    do
        HashInOrder();
    while (inOrderTimer.IsRunning() && ::GetTickCount() - start < kInOrderSliceMs);
}

void Operation::HashInOrder() {
    // Each chunk hashed may let the next one go, and a held pair goes on with its cycle. The
    // lowest chunk in flight always arrives, so nothing waits for ever.
    ChunkHasher::Waiting next;
    while (hashing && hasher.PeekNext(next)) {
        const ChunkWork work = OnChunkInOrder(next.pair->data, next.pair->chunk);
        if (work == ChunkWork::Failed)
            return;
        if (work == ChunkWork::Unfinished) {
            if (!inOrderTimer.IsRunning() && !inOrderTimer.Start(kInOrderTickMs, InOrderTick, this))
                ReportError(::GetLastError(), L"Error");
            return;
        }
        hasher.TakeNext(next);
        HashChunk(*next.pair);
        if (next.held)
            Continue(*next.pair);
    }
    inOrderTimer.Stop();
}

void Operation::InOrderTick(void* context) {
    // Not under a question the window asks, as for the completions; and a pause stops this work
    // too.
    auto* operation = static_cast<Operation*>(context);
    if (!CompletionDispatcher::DeliveriesHeld() && operation->state != OperationState::Paused)
        operation->WorkInOrder();
}

ChunkWork Operation::OnChunkInOrder(const void*, uint32_t) {
    return ChunkWork::Done;
}

void Operation::HashChunk(const IoPair& pair) {
    hasher.Hash(pair.data, pair.chunk);
    if (hashPart >= parts.Count() ||
        hasher.Hashed() < parts[hashPart].offset + parts[hashPart].size)
        return;
    Sha256Digest digest = hasher.EndPart();
    const int32_t index = hashPart++;
    // A failure stops the hashing, and with it the caller's loop.
    if (OnPartHashed(index, digest))
        SettleEmptyParts();
}

bool Operation::SettleEmptyParts() {
    // An empty part is never read, so its digest (that of nothing) is taken when its turn comes.
    while (hashing && hashPart < parts.Count() && parts[hashPart].size == 0) {
        Sha256Digest digest = hasher.EndPart();
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
