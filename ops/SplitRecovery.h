#pragma once

#include "app/DynArray.h"
#include "ops/PartRecord.h"
#include "ops/SideFiles.h"
#include "recovery/Par2Creator.h"
#include "recovery/RecoveryFiles.h"

#include <cstdint>

// The recovery data a split adds beside its parts: a PAR2 set in which each part is a file. Each
// part is one slice where the blocks fit in memory that way (a lost part then costs one recovery
// block), else a few equal ones; the blocks make up the share of the slices that the user chose.
// Each call is false, with the reason in the last error, when it fails.
class SplitRecovery final : public SideFiles {
public:
    // The largest slice: parts larger than this are cut into several.
    static constexpr uint32_t kMaxSliceBytes = 1u << 30;
    // The most memory the recovery blocks may take while the data moves.
    static constexpr uint64_t kMemoryBudget = 512ull << 20;

    struct SlicePlan {
        uint32_t sliceSize = 0;
        int32_t sliceCount = 0;
        int32_t blockCount = 0;
        uint64_t memory = 0; // the blocks' bytes
    };
    // The slices for totalSize bytes cut into parts of partSize (any size, also beyond the file):
    // each part cut into as few equal slices (a multiple of 4 bytes, at most kMaxSliceBytes) as
    // keep the blocks for percent within budget. ERROR_NOT_SUPPORTED when the parts alone make
    // more slices than a set can hold; ERROR_NOT_ENOUGH_MEMORY, with the plan that takes the
    // least memory, when no slicing fits.
    static bool PlanSlices(uint64_t totalSize, uint64_t partSize, uint32_t percent, uint64_t budget,
                           SlicePlan& plan);
    // The blocks that make up percent of sliceCount slices: at least one.
    static int32_t BlocksFor(int32_t sliceCount, uint32_t percent);

    // Plans the set for the parts (PlanSlices) and takes the memory its blocks need;
    // MemoryNeeded() tells how much, also when that is more than the budget.
    bool Plan(const DynArray<PartRecord>& parts, uint64_t partSize, uint32_t percent,
              uint64_t budget = kMemoryBudget);
    uint64_t MemoryNeeded() const { return memoryNeeded; }
    // Reads the first bytes of the next `most` parts from the source, an open overlapped handle
    // (sector aligned reads, as an unbuffered one needs), without a completion reaching its port.
    bool ReadHeads(HANDLE source, const DynArray<PartRecord>& parts, int32_t most);
    bool HeadsRead() const { return headsRead == creator.FileCount(); }
    // The files are named after the whole file at wholePath.
    void SetFor(const WideString& wholePath);
    bool SpaceNeeded(uint32_t unit, uint64_t& bytes) const override;
    bool Create() override;
    // The whole file's bytes, in order, a chunk at a time: laid out as runs on this thread
    // (Par2Creator's PlanData), then on each lane, a thread of its own, hashed and added to the
    // blocks as far as its share of the files and the blocks goes (HashRuns, AddRunsToBlocks).
    using Run = Par2Creator::Run;
    bool PlanChunk(uint32_t length, DynArray<Run>& runs) { return creator.PlanData(length, runs); }
    bool WorkChunk(const void* data, const DynArray<Run>& runs, int32_t lane, int32_t lanes) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (!creator.HashRuns(bytes, runs.Items(), runs.Count(), lane, lanes))
            return false;
        creator.AddRunsToBlocks(bytes, runs.Items(), runs.Count(), lane, lanes);
        return true;
    }
    // All three at once, on this thread.
    bool Add(const void* data, uint32_t length) { return creator.AddData(data, length); }
    // The hashing left once every byte is in, shared out among lanes before the files are
    // written (Par2Creator's PrepareFinish, FinishHashes and HashesFinished).
    bool PrepareFinish() { return creator.PrepareFinish(); }
    void FinishHashes(int32_t lane, int32_t lanes) { creator.FinishHashes(lane, lanes); }
    bool HashesFinished() { return creator.HashesFinished(); }
    // Then the files, written on the lanes a step at a time (RecoveryFiles' WriteLane), each lane
    // its share of them: their recovery packets once PrepareFinish has run (until
    // LaneBlocksWritten), the rest once HashesFinished has (until LaneWritten); TakeComplete on
    // this thread at the end.
    static constexpr uint32_t kWriteStepBytes = 16 << 20;
    bool WriteLane(int32_t lane, int32_t lanes, int32_t& failed) {
        return files.WriteLane(creator, lane, lanes, kWriteStepBytes, failed);
    }
    bool LaneBlocksWritten(int32_t lane, int32_t lanes) const {
        return files.LaneBlocksWritten(creator, lane, lanes);
    }
    bool LaneWritten(int32_t lane, int32_t lanes) const { return files.LaneWritten(lane, lanes); }
    bool TakeComplete() { return files.TakeComplete(); }
    void SetFailed(int32_t file) { files.SetFailed(file); }
    // The last hashes and the files at once, on this thread.
    bool CompleteStep(const Sha256Digest*, bool& done) override {
        done = files.Complete(creator);
        return done;
    }
    const WideString& FailedPath() const override { return files.FailedPath(); }
    bool IsComplete() const override { return files.IsComplete(); }
    int32_t FileCount() const override { return files.Count(); }
    const wchar_t* FilePath(int32_t index) const override { return files.Path(index); }
    void Drop() override { files.Drop(); }
    void Remove() override { files.Remove(); }

private:
    Par2Creator creator;
    RecoveryFiles files;
    WideString path;
    uint64_t memoryNeeded = 0;
    int32_t headsRead = 0;
    int32_t blockCount = 0;
};
