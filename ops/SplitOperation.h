#pragma once

#include "ops/ChecksumListFile.h"
#include "ops/JoinScriptFiles.h"
#include "ops/SplitRecovery.h"
#include "ops/Operation.h"
#include "toolkit/TickTimer.h"

// Cuts the file named on the command line into parts of the size chosen in the window.
class SplitOperation : public Operation {
public:
    explicit SplitOperation(OperationDisplay& window) : Operation(window) {}

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
    void BeginSplitting();
    // False, reported, when a file of a part's name, or of a recovery set's, lies beside the
    // source already.
    bool CheckNamesFree();
    void SelectParts();
    // Creates the checksum list before any part, so that an existing one is never overwritten.
    bool CreateList();
    // Adds the whole file's line, which it hands back, and closes the list; false when that
    // fails (reported).
    bool CompleteList(Sha256Digest& whole);
    // The join script and its instructions, made like the list.
    bool CreateScripts();
    bool CompleteScripts(const Sha256Digest* whole);
    // The recovery set: planned with its memory before anything is created, written at the end.
    // False when that fails (reported).
    bool PlanRecovery(uint32_t percent);
    // Starts the data moving, once the recovery set (if any) knows the parts' first bytes.
    void StartMoving();
    // At each tick for a while: reads the parts' first bytes for the recovery set before the
    // data moves, then starts it; writes the recovery files after it moved, then ends the split.
    static void RecoveryTick(void* context);
    void ReadHeads();
    void WriteRecovery();
    // The split is done: says so, and shows the files where asked.
    void EndDone();

    uint64_t partSize = 0;
    // The SHA-256 list "<name>.sha256" beside the parts.
    ChecksumListFile listFile;
    // "<name>.join.cmd" and "<name>.join.txt", for receivers without this program.
    JoinScriptFiles scriptFiles;
    SplitRecovery recovery;
    bool recovering = false;
    bool hashingChecksums = false;
    TickTimer recoveryTimer;
};
