#pragma once

#include "io/CompletionDispatcher.h"
#include "ops/ChecksumList.h"
#include "ops/ChecksumListFile.h"
#include "ops/DiskFlush.h"
#include "ops/JoinRepair.h"
#include "ops/Operation.h"
#include "ops/OtherChecks.h"
#include "ops/PartSources.h"
#include "toolkit/SlicedWork.h"

// Joins the parts "%s.001", "%s.002", ... of a whole file back into it, starting at once.
class JoinOperation : public Operation {
public:
    explicit JoinOperation(OperationDisplay& window) : Operation(window) {}
    ~JoinOperation() override;

    void Start(const WideString& commandLinePath) override;
    void OnPartSizeChanged() override {}
    void OnCommand(UINT id) override;
    void Abort() override;
    void PrepareIoPair(IoPair& pair) override;
    void Finish() override;

protected:
    bool OnPartHashed(int32_t index, const Sha256Digest& digest) override;
    void OnFailureSettled() override;
    bool PlanChunkWork(ChunkJob& job, uint32_t& lanes) override;
    void RunChunkWork(ChunkJob& job, int32_t lane) override;
    bool OnChunkWorked(ChunkJob& job) override;

private:
    // Where nothing can be written beside the parts (a disc, a read-only share), the window is
    // asked for a folder for the output; false when none was given (reported).
    bool TakeFolderIfReadOnly();
    // What Start does once the parts are whole: finds them, checks them and starts the join.
    void StartJoining();
    // The recovery set's check and rebuild of the parts, in slices.
    void BeginRepair();
    // The join that follows the set's check, or goes along with it.
    void JoinAfterCheck();
    // A join that went along with the set's check found a part damaged: it is undone, and the
    // check of the parts on their own takes over.
    void CheckAfterJoin();
    void RepairSlice();
    // What refuses a join whatever the parts hold (the output exists, a hole the set can't fill,
    // a file too large for the volume, no room for the output and the lost parts), before any
    // part is rebuilt; false when reported. Gives the repair the checksum list's digests.
    bool CheckBeforeRepair();
    // Room for the output and every rebuilt part, once the check knows them; false when reported.
    bool CheckRebuildRoom();
    // Room for an output of outputSize bytes on its volume, and for rebuiltBytes (counted as the
    // volume takes them) where the parts are rebuilt: together where both lie on one volume.
    // False when reported.
    bool CheckRoomFor(uint64_t outputSize, uint64_t rebuiltBytes);
    // A path on the volume where the lost and damaged parts are rebuilt, and its unit of room.
    const WideString& RebuildPlace() const;
    uint32_t RebuildUnit() const;
    // The joined file against the recovery set made for it, where there was one.
    bool CheckWholeAgainstSet();

    // Reads "<name>.sha256" beside the parts when there is one. False when the join must not
    // go on (a part it lists is missing; reported).
    bool ReadList();
    // The whole file against the list, when the list has a line for it.
    bool CheckWhole();
    // Reads the checksum files other tools leave beside the parts; false when the join must not
    // go on (reported).
    bool ReadOtherLists();
    // Makes them ready for the chunks, and judges the empty parts; false when reported.
    bool BeginOtherChecks();
    // A part, or the whole file, against them where the list has no word on it; false when
    // reported.
    bool CheckPartAgainstOthers(int32_t index);
    // A check found part `index` damaged: false when that ends the join (reported).
    bool OnPartDamaged(int32_t index);
    bool CheckWholeAgainstOthers();
    // No file has the output's name; false when reported.
    bool CheckOutputFree();
    // Makes way for the output under its unfinished name: the real name must be free, and a file
    // of the unfinished name is taken away only when it is one a join of this set left, no larger
    // than a join of joinedSize bytes writes. False when reported.
    bool ClearUnfinished(uint64_t joinedSize);
    // Removes the output under its unfinished name, unless it is the only copy of a finished join.
    void DropUnfinished();
    // Gives the complete output its real name; false when reported.
    bool Rename();
    // The refusal of a list whose split never finished; false when reported.
    bool CheckSplitFinished(const ChecksumList& read);
    // Cuts what the last sector-rounded write put past the end of the output.
    bool CutOutput();
    // Whether every part still has the size it was listed with.
    bool PartsAreAsListed() const;
    // The status bar: the path, with what became of the list and whether it kept the parts.
    void ShowListOutcome(bool kept);
    // The list checks every part, or the whole file.
    bool ListVouches() const;
    // The list in use checks this part (numbered from 1).
    bool Listed(uint32_t number) const;
    // The recovery set checked the parts on their own and found this one whole or rebuilt it;
    // and every part so, or every slice agreed as the parts were joined.
    bool SetVouches(uint32_t number) const;
    bool SetVouchesAll() const;
    // The set's check, just done, matched every part the list names to its digest, or rebuilt it
    // to that digest, and the list has the whole file's: that alone then proves what is joined.
    bool CheckMatchedListedParts() const;
    // Parts of sizes no splitter makes, unless the list vouches for them; false when reported.
    bool CheckPartSizes();
    void ReportMissingPart(uint32_t number);
    // The set names parts up to `highest`, and firstMissing is not there: where the user can be
    // asked for it, the join takes the parts before it and asks then; else it is refused, the
    // part missing. False when refused.
    bool ExpectPart(uint32_t firstMissing, uint32_t highest);
    // The parts found so far are joined and the set names more: the user is asked for the next
    // one once the handler in turn has returned.
    void AwaitNextPart();
    void AskSlice();
    // Looks for the next parts in every folder known, and joins them; asks again when none is
    // there.
    void TakeNextRun();
    // The join starts again from the recovery set's check, which now finds parts in every
    // folder named.
    void RepairAcrossFolders();
    // Takes each part found into the operation's records, to be read from. False when memory
    // runs out.
    static bool AppendPart(void* context, const WideString& partPath, uint64_t offset,
                           uint64_t size);
    // "<part> and N more rebuilt; " for the status bar, with " in <folder>" where they went
    // beside the output.
    void AppendRebuilt(WideString& text) const;
    // Empty parts from index `from` on are never read: each is judged here, before any chunk of
    // theirs goes out. False when reported.
    bool JudgeEmptyParts(int32_t from);
    // The output goes to the disk on a worker, so that the window answers while a large file
    // is flushed; the join ends when it comes back. Without the workers, here and now.
    void MakeDurable();
    // The file is on the disk at its full length: it takes its name, and the parts may go.
    void OnDurable(DWORD error, uint64_t size);
    // Deletes every part; the first that stays is named in the status bar.
    void DeleteParts();

    ChecksumList list;
    ChecksumListFile listFile;
    bool listFound = false; // a list lies beside the parts, used or not
    bool listUsed = false;  // and it is trusted: the parts are checked against it
    int32_t listCursor = 0; // the first entry of the list not yet passed by the hashing
    OtherChecks others;
    bool othersUsed = false;
    bool othersOverruled = false; // the list or the set vouched for what they call damaged
    bool setChecked = false;      // the set checked every part on its own
    bool streamedWhole = false;   // every slice agreed with the set as the parts were joined
    int32_t othersLane = 0;       // the worker lane that hashes for them
    JoinRepair repair;
    bool setBeside = false;  // a recovery set lies beside the parts
    uint32_t setHighest = 0; // and names parts up to this one, which it could not make up for
    SlicedWork repairWork{CompletionDispatcher::DeliveriesHeld};
    PartSources sources;
    SlicedWork askWork{CompletionDispatcher::DeliveriesHeld};
    uint64_t outputSize = 0; // the output's bytes, as the set gives them
    // Every part the set names is there at the size it gives.
    bool partsAsSet = false;
    // The set checks the parts as they are joined; a part damaged sends them to the full check.
    bool streaming = false;
    bool streamDamaged = false;
    int32_t streamPart = 0;    // the part the chunks in turn are of
    uint64_t streamOffset = 0; // and how much of it came before the chunk in turn
    // The recovery set names the whole file: its size and MD5, and the MD5 as the join goes.
    bool wholeChecked = false;
    uint64_t wholeSize = 0;
    Md5Digest wholeHash = {};
    Md5 wholeMd5;
    // The joined file: beside the parts, or in the output folder.
    WideString outputPath;
    // The output is written under this name, and renamed once it is complete and on the disk.
    WideString unfinishedPath;
    bool unfinishedMade = false;
    bool unfinishedKept = false; // the real name was taken meanwhile: it holds the only copy
    DiskFlush* flushJob = nullptr;
    bool partsKept = false;     // the list was found but not used: the parts stay
    bool deleteParts = false;   // once the file has its name
    bool partsReadOnly = false; // their folder takes no files: they stay whatever the choices
    // What Start was given, for the start that follows a repair.
    WideString commandPath;
};
