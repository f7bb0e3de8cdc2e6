#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "io/AsyncFile.h"
#include "ops/ChunkHasher.h"
#include "ops/OperationOutcome.h"
#include "ops/PartRecord.h"

#include <cstdint>

class OperationDisplay;
struct ChunkJob;
struct ComputeJob;
struct IoPair;

enum class OperationState : int32_t {
    Idle = 0,    // nothing started; also after Abort
    Waiting = 1, // split only: measured, waiting for a part size and the Split command
    Running = 2,
    Paused = 3, // nothing new is issued; what is in flight completes
    Failed = 4, // an error was reported; what is in flight drains
    Done = 5,
};

// The one job of the program: a split or a join. Data moves through IoPairs, each a buffer that
// cycles read, write, read... in file order; the two operations differ only in where a chunk is
// read from and written to (PrepareIoPair) and in how they start and finish.
//
// Everything here runs on the user-interface thread; completions arrive between messages.
class Operation {
public:
    explicit Operation(OperationDisplay& display);
    // Closes the files and frees the records; deletes nothing (that is Abort's job). Pairs held
    // for their turn to be hashed are released.
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    virtual void Start(const WideString& commandLinePath) = 0;
    virtual void OnPartSizeChanged() = 0;
    virtual void OnCommand(UINT id) = 0;
    // Closes every file, deletes the outputs of an unfinished operation, returns to Idle.
    virtual void Abort() = 0;
    // Sets source, destination and both positions of the pair for the chunk about to go out.
    virtual void PrepareIoPair(IoPair& pair) = 0;
    // All data is written.
    virtual void Finish() = 0;

    // Where the operation writes what it makes: a split its parts and their side files, a join
    // its output. Empty (the default) for beside its file. Taken when the work begins.
    void SetOutputFolder(const WideString& folder) { outputFolder = folder; }

    OperationState State() const { return state; }
    bool IsBusy() const {
        return state == OperationState::Running || state == OperationState::Paused;
    }
    // Nothing of it is in flight: a failed operation has closed and removed what it made.
    bool Settled() const { return pairsLive == 0; }
    // Percent done, 0 while there is nothing to move.
    float Progress() const;
    // Done once it has ended well, the class of its error once it failed, and Cancelled while it
    // has not ended: leaving it then cuts it short.
    OperationOutcome Outcome() const;

    // ": #code - system text", or ": #code" where the system has no text.
    static void AppendErrorText(WideString& text, DWORD code);

    // Read-only views for the window and the tests.
    const WideString& Name() const { return name; }
    const WideString& Path() const { return path; }
    uint64_t TotalSize() const { return totalSize; }
    uint64_t DoneSize() const { return doneSize; }
    uint32_t SectorSize() const { return sectorSize; }
    int32_t PartCount() const { return parts.Count(); }
    const PartRecord& Part(int32_t index) const { return parts[index]; }

protected:
    // Issues the next chunk in file order with the pair, or with a new one when pair is null.
    // True also when nothing is left (the pair, if any, is then released).
    bool BeginIoPair(IoPair* pair);
    void OnRead(IoPair& pair);
    void OnWrite(IoPair& pair);
    // Issues PairsInFlight chunks; reports the first failure.
    bool StartPipeline();
    // After the pipeline started or resumed with nothing to do: the end has come already.
    void FinishIfComplete();
    void Pause();
    void Resume();
    // Shows the first error of the operation; later ones change nothing. Its outcome follows
    // from the code and from whether the work was under way (ClassifyFailure).
    void ReportError(DWORD code, const wchar_t* format, ...);
    // The same, for a failure whose code alone would tell its outcome wrongly.
    void ReportErrorAs(OperationOutcome outcome, DWORD code, const wchar_t* format, ...);
    // Takes the sector size of the drive or share that holds the path; false, with the error
    // reported, when nobody can tell it.
    bool TakeSectorSize(const wchar_t* commandLinePath);
    // The whole file of a part given on the command line (or of a file beside the parts): path,
    // name, and the sector size of its drive with the error its query left. False when the
    // path can't be made absolute (reported).
    bool TakeSetOf(const WideString& commandLinePath);
    // Reports a failed sector-size query with the error that query left.
    void ReportSectorSizeError(DWORD error, const wchar_t* commandLinePath);
    // After the files were closed under the pairs in flight: they are no longer ours to count.
    void ForgetPairs();
    // A failed operation has nothing left in flight: its files can be closed and what it made
    // removed. Called at least once after the failure, possibly again.
    virtual void OnFailureSettled() {}
    void PostEnded();

    // Hashes every chunk in file order as it moves, per part and/or for the whole file; called
    // before the pipeline starts. False when a part's digest fails the operation at once (empty
    // parts at the start).
    bool BeginHashing(bool hashParts, bool hashWhole);
    // Releases the pairs held for hashing and hashes nothing more.
    void StopHashing();
    // A part's data has been hashed in whole (empty parts too, in order). False when that fails
    // the operation; the error is reported then.
    virtual bool OnPartHashed(int32_t index, const Sha256Digest& digest);
    // Work on each chunk that the workers take on beside its hashes. PlanChunkWork adds it to the
    // job and names its lanes (false fails the operation, reported); RunChunkWork does one lane's
    // share on a worker, touching only what the workers own while jobs are out; OnChunkWorked takes
    // the outcome back, in file order (false fails the operation, reported).
    virtual bool PlanChunkWork(ChunkJob& job, uint32_t& lanes);
    virtual void RunChunkWork(ChunkJob& job, int32_t lane);
    virtual bool OnChunkWorked(ChunkJob& job);
    // The workers' lanes: all of them are 0 to Lanes() - 1.
    static int32_t Lanes();
    bool IsHashing() const { return hashing; }
    // Every byte written, and hashed where it is.
    bool AllDone() const;
    // The digest of the whole file; only once everything has been hashed.
    Sha256Digest WholeDigest() { return hasher.EndWhole(); }
    // Fails with ERROR_DISK_FULL, both sizes in the text, when needed bytes exceed what the
    // volume has free.
    bool CheckRoom(uint64_t needed, uint64_t available);
    // Fails with ERROR_FILE_TOO_LARGE, the file system, its limit and the size in the text, when
    // a file of fileSize bytes at filePath is more than its volume holds (FAT32: 4 GiB - 1).
    bool CheckFileFits(uint64_t fileSize, const wchar_t* filePath);
    // The path of the file beside besidePath, of its name, in the output folder; besidePath
    // itself without one. The sector size grows to the output's volume's where that is larger,
    // so that transfers suit both volumes. False, reported as refused, when the folder is not
    // there or is no folder.
    bool TakeOutputPath(const wchar_t* besidePath, WideString& outputPath);

    OperationState state = OperationState::Idle;
    // What an operation that ended tells: a check that found damage has ended, and says so.
    OperationOutcome doneOutcome = OperationOutcome::Done;
    // The part's and the whole file's SHA-256 on the first lane together, leaving the others to
    // the operation's own work.
    bool hashesOnOneLane = false;
    WideString name;
    WideString path;
    WideString outputFolder;
    AsyncFile file;
    bool fileUnbuffered = false;
    DynArray<PartRecord> parts;
    uint64_t totalSize = 0;
    uint64_t doneSize = 0;
    uint32_t sectorSize = 0;
    DWORD sectorError = 0; // what the sector-size query left, when it gave 0
    // Every part before this one has been issued in whole; chunks go out in part order, so the
    // next one is found here without a walk from the first part.
    int32_t nextPart = 0;
    // Pairs created and not yet released: in flight, or held for their turn to be hashed.
    int32_t pairsLive = 0;
    OperationDisplay& display;

private:
    void ReportErrorV(OperationOutcome outcome, DWORD code, const wchar_t* format, va_list args);
    static void ReadDone(IoRequest* request);
    static void WriteDone(IoRequest* request);
    bool BeginWrite(IoPair& pair, uint32_t length);
    // Closes a part after its last write; a part written in whole sectors is cut to its size.
    bool CompletePart(PartRecord& part);
    void Release(IoPair& pair);
    // The part of OnWrite after the accounting: finish, re-issue or release.
    void Continue(IoPair& pair);
    void ChunkArrived(IoPair& pair);
    // Hands the chunks whose turn has come to the workers.
    void HashInOrder();
    // Hands the chunk to the workers; false when that failed the operation (reported).
    bool SubmitChunk(ChunkHasher::Waiting& slot);
    static void RunJob(ComputeJob& job, int32_t lane);
    static void JobDone(ComputeJob& job);
    void ChunkWorked(ChunkJob& job);
    void FinishChunk(ChunkHasher::Waiting& slot);
    bool SettleEmptyParts();

    ChunkHasher hasher;
    // What the first error reported made of the operation.
    OperationOutcome failure = OperationOutcome::Done;
    bool hashing = false;
    // The part being hashed; the hasher knows how far it has come.
    int32_t hashPart = 0;
    // The part of the next chunk to go to the workers.
    int32_t submitPart = 0;
};

// The most data the pipeline keeps in flight. More buffers than this make every byte dearer: the
// data read into a buffer is out of the processor's caches by the time it is written, and every
// fresh page costs a fault before it first carries data. Measured, 64 MiB in flight moves data
// fastest; four 16 MiB buffers outrun sixteen of them.
constexpr uint64_t kMaxBytesInFlight = 64ull * 1024 * 1024;

// How many IoPairs the pipeline runs: IoPairCount, but no more than kMaxBytesInFlight holds of
// buffers of this size, and always at least one.
inline int32_t PairsInFlight(int32_t ioPairCount, uint32_t bufferSize) {
    // BufferSize is at most 16 MiB (the settings see to it), so the quotient is small.
    const uint64_t fit = bufferSize != 0 ? kMaxBytesInFlight / bufferSize : 1;
    const int32_t most = fit != 0 ? static_cast<int32_t>(fit) : 1;
    return ioPairCount < most ? ioPairCount : most;
}

constexpr DWORD kOverlapped = FILE_FLAG_OVERLAPPED;
constexpr DWORD kOverlappedUnbuffered = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING;
