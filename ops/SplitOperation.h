#pragma once

#include "io/CompletionDispatcher.h"
#include "ops/ChecksumListFile.h"
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
    // Completes the side files in the order they were made, a step at a time: Changed as each
    // one is complete, Failed when that fails (reported).
    SlicedWork::Result CompleteStep();
    // Starts the data moving, once the recovery set (if any) knows the parts' first bytes.
    void StartMoving();
    // The recovery set's work goes on in slices, with nothing to pause meanwhile: before the data
    // moves, reading the parts' first bytes, then starting it; after it moved, completing the side
    // files, then ending the split.
    void StartRecoverySlices();
    void RecoverySlice();
    // Changed once every part's first bytes are read; Failed when that fails (reported).
    SlicedWork::Result ReadHeadsStep();
    // The recovery set's last hashes, on the workers, once every chunk is in; the side files
    // are completed when they are back.
    struct FinishJob;
    static void RunFinishJob(ComputeJob& job, int32_t lane);
    static void FinishJobDone(ComputeJob& job);
    bool HandFinishToWorkers();
    void CompleteSideFiles();
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
    int32_t completing = 0; // the side files before it are complete
    // The whole file's SHA-256 once the data moved, when it was hashed.
    Sha256Digest wholeDigest{};
    bool recovering = false;
    bool hashingChecksums = false;
    SlicedWork recoveryWork{CompletionDispatcher::DeliveriesHeld};
    FinishJob* finishJob = nullptr; // out with the workers
};
