#pragma once

#include "io/CompletionDispatcher.h"
#include "ops/CheckVerdict.h"
#include "ops/ChecksumList.h"
#include "ops/ChecksumListFile.h"
#include "ops/JoinRepair.h"
#include "ops/Operation.h"
#include "ops/OtherChecks.h"
#include "toolkit/SlicedWork.h"

// Checks the parts of a whole file without joining them: each part there is read once, nothing is
// written, and the verdict says part by part what the SHA-256 list, other tools' checksum files
// and the recovery set make of it, and whether the recovery data can rebuild what is missing or
// damaged. Parts may be missing anywhere, also at the end of a set still arriving.
class CheckOperation : public Operation {
public:
    explicit CheckOperation(OperationDisplay& window) : Operation(window) {}
    ~CheckOperation() override;

    void Start(const WideString& commandLinePath) override;
    void OnPartSizeChanged() override {}
    void OnCommand(UINT id) override;
    void Abort() override;
    void PrepareIoPair(IoPair& pair) override;
    void Finish() override;

    // Once Done.
    const CheckVerdict& Verdict() const { return verdict; }
    // Done, with a rebuild planned that Repair would carry out.
    bool RepairReady() const { return repairReady; }

protected:
    bool OnPartHashed(int32_t index, const Sha256Digest& digest) override;
    bool PlanChunkWork(ChunkJob& job, uint32_t& lanes) override;
    void RunChunkWork(ChunkJob& job, int32_t lane) override;
    bool OnChunkWorked(ChunkJob& job) override;

private:
    // The recovery set's check of the parts, in slices.
    void SetSlice();
    // The check without the set: the parts move through the pipeline, into the hashes alone.
    void ReadParts();
    // The highest part number found beside the file or named by a file beside it.
    bool CountParts(uint32_t& count);
    // The size of part `number` as it lies there; false when it is not there.
    bool MeasureNumber(uint32_t number, uint64_t& size) const;
    // From what the set's check found; moreNeeded when its blocks are too few.
    void VerdictFromSet(int32_t moreNeeded);
    // Parts nothing named per part: the whole file's digests, else the sizes every split makes.
    void JudgeUnnamed();
    // The other tools' files on part `index`, where the list has no line for it.
    void JudgeByOthers(int32_t index);
    bool Listed(uint32_t number) const;
    void AppendVouchers(WideString& text, bool bySet) const;
    void End();
    // Rebuilds what the check found missing or damaged where it lies, then checks again.
    void RepairInPlace();

    ChecksumList list;
    ChecksumListFile listFile;
    bool listFound = false;
    bool listUsed = false;
    OtherChecks others;
    bool othersUsed = false;
    int32_t othersLane = 0;
    // The whole file's digest, where every part is there and a file names it.
    bool wholeByList = false;
    bool wholeByOthers = false;
    JoinRepair repair;
    SlicedWork repairWork{CompletionDispatcher::DeliveriesHeld};
    CheckVerdict verdict;
    bool repairReady = false; // the set's check planned a rebuild, not begun
    bool repairing = false;
};
