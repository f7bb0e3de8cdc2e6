#pragma once

#include "io/CompletionDispatcher.h"
#include "ops/ChecksumListFile.h"
#include "ops/DiskFlush.h"
#include "ops/JoinScriptFiles.h"
#include "ops/SplitRecovery.h"
#include "ops/Operation.h"
#include "toolkit/SlicedWork.h"

// Cuts the file named on the command line into parts of the size chosen in the window.
class SplitOperation : public Operation {
public:
    explicit SplitOperation(OperationDisplay& window) : Operation(window) {}
    ~SplitOperation() override;

    void Start(const WideString& commandLinePath) override;
    void OnPartSizeChanged() override;
    void OnCommand(UINT id) override;
    void Abort() override;
    void PrepareIoPair(IoPair& pair) override;
    void Finish() override;

    uint64_t PartSize() const { return partSize; }

protected:
    bool OnPartHashed(int32_t index, const Sha256Digest& digest) override;
    bool PlanChunkWork(ChunkJob& job, uint32_t& lanes) override;
    void RunChunkWork(ChunkJob& job, int32_t lane) override;
    bool OnChunkWorked(ChunkJob& job) override;

private:
    // The size chosen in the window, or worked out from the number of parts chosen there.
    void TakePartSize();
    void ShowPartCount(UINT noPartSizeFlags);
    // The steps of a split's start, in this order; each is false when the split can't go on
    // (reported, or back to waiting when the file turned out empty).
    void BeginSplitting();
    bool OpenSource();
    bool PlanParts();
    // False, reported, when a file of a part's name, or of a recovery set's, lies where the
    // parts go already.
    bool CheckNamesFree();
    // Sets up the side files the options ask for.
    bool PlanSideFiles();
    bool CheckSpace();
    // Creates the side files before any part, so that an existing one is never overwritten.
    bool CreateSideFiles();
    void StartRunning();
    void SelectParts();
    // The recovery set: planned with its memory before anything is created, written at the end.
    // False when that fails (reported).
    bool PlanRecovery(uint32_t percent);
    // Starts the data moving, once the recovery set (if any) knows the parts' first bytes.
    void StartMoving();
    // The parts' first bytes are read in slices before the data moves, with nothing to pause
    // meanwhile.
    void StartRecoverySlices();
    void RecoverySlice();
    // Changed once every part's first bytes are read; Failed when that fails (reported).
    SlicedWork::Result ReadHeadsStep();
    // Once every chunk is in, the recovery set's files are made on the workers in two jobs, each
    // of which comes back to RecoveryWorked: first each lane hashes the padding of its files'
    // last slices and writes the recovery packets of its files; then, once the set's description
    // is laid out here, the rest of them. A lane goes on until its share is written or the job
    // is stopped. False when the job could not be handed over.
    struct RecoveryJob;
    bool HandToWorkers(bool described);
    // Stops the job out after the step under way, and lets go of it.
    void LetGoOfRecoveryJob();
    static void RunRecoveryJob(ComputeJob& job, int32_t lane);
    static void RecoveryJobDone(ComputeJob& job);
    void RecoveryWorked(const RecoveryJob& job);
    // Completes the side files in the order they were made; the recovery files on the workers.
    void CompleteSideFiles();
    // The list goes to the disk on a worker before the split is done (where one was written).
    void FlushList();
    void OnListDurable(DWORD error);
    // The split is done: says so, and shows the files where asked.
    void EndDone();

    uint64_t partSize = 0;
    // The whole file's path where the parts and their side files go: in the output folder, or
    // the source's own.
    WideString target;
    // The SHA-256 list "<name>.sha256" beside the parts.
    ChecksumListFile listFile;
    // "<name>.join.cmd" and "<name>.join.txt", for receivers without this program.
    JoinScriptFiles scriptFiles;
    SplitRecovery recovery;
    // The side files this split makes, in the order they are made.
    static constexpr int32_t kMostSideFiles = 3;
    SideFiles* sideFiles[kMostSideFiles] = {};
    int32_t sideFileCount = 0;
    // The whole file's SHA-256 once the data moved, when it was hashed.
    Sha256Digest wholeDigest{};
    bool recovering = false;
    bool hashingChecksums = false;
    SlicedWork recoveryWork{CompletionDispatcher::DeliveriesHeld};
    RecoveryJob* recoveryJob = nullptr; // out with the workers
    DiskFlush* listFlush = nullptr;
};
