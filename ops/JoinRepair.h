#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "io/ComputePool.h"
#include "ops/BlockDigests.h"
#include "ops/CheckPieces.h"
#include "ops/OperationOutcome.h"
#include "ops/PartSources.h"
#include "ops/PartSwap.h"
#include "ops/SetFileNames.h"
#include "ops/StreamCheck.h"
#include "recovery/Crc32.h"
#include "recovery/Md5.h"
#include "recovery/Par2Repair.h"
#include "recovery/Par2Set.h"
#include "recovery/Sha256.h"
#include "ops/FreshPages.h"
#include "ops/RebuiltDigests.h"
#include "toolkit/SlicedWork.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

// Before a join: checks the parts against the recovery set that lies beside them, slice by slice,
// and rebuilds those lost or damaged from it. The set is anyone's file, so it is trusted only as
// far as it matches the parts: only files of the set named as this whole file's parts are opened
// at all, a part that the checksum list vouches for is never rebuilt, and a set that no present
// part agrees with is taken as made for other parts. Rebuilt parts are written beside under
// temporary names and checked, and take their parts' places only once all are proven; a damaged
// part is kept aside under a new name. The work goes in steps short enough for the window to stay
// responsive between them.
class JoinRepair {
public:
    enum class Step {
        Working,
        Loaded,  // once, when the set has been read: what it covers can be asked now
        Planned, // once, before anything is written: RebuildBytes() tells the room it takes
        Done,
        Ignored, // the set is not used: Note() says why
        Failed,
    };

    JoinRepair() = default;
    ~JoinRepair() { Cancel(); }
    JoinRepair(const JoinRepair&) = delete;
    JoinRepair& operator=(const JoinRepair&) = delete;

    // Looks for the recovery set of the whole file; false when there is none to read. It is read
    // in the steps of Work, up to Loaded (or Ignored, when it holds no usable set).
    bool Find(const WideString& wholePath);
    // Where nothing can be written beside the parts (a disc), the parts are rebuilt beside the
    // whole file at outputPath instead, under their own names, and the damaged ones stay where
    // they are. Before Find.
    void RebuildBeside(const WideString& outputPath);
    // The parts are read wherever these sources find them, not only beside the whole file; they
    // must outlive this object. Before Find.
    void LookIn(const PartSources& partSources) { sources = &partSources; }
    // Once Done: the numbers of the parts rebuilt, rising, and whether they went beside the
    // output rather than in place.
    const DynArray<uint32_t>& Rebuilt() const { return rebuiltParts; }
    bool RebuiltElsewhere() const { return rebuildFolder.Length() != 0; }
    // Does the next piece of work, for about the given time, or less when a new phase begins: it
    // shows its own activity before it goes on.
    Step Work(DWORD milliseconds = SlicedWork::kSliceMs);

    // What the set says, once loaded. The highest part number it names (0: none), and whether it
    // names part `number`, with its size.
    uint32_t HighestPart() const { return highestPart; }
    int32_t PartCount() const { return partOrder.Count(); }
    bool CoversPart(uint32_t number, uint64_t& size) const;
    // The set names the whole file itself: its size and hash, to check the joined result.
    bool CoversWhole(uint64_t& size, Md5Digest& hash) const;
    // The checksum list's digest of part `number`, so that a part it vouches for is never
    // rebuilt and a rebuilt part takes its place only when it matches. Before the check starts.
    bool Vouch(uint32_t number, const Sha256Digest& digest);
    // Gives up the set before anything was written, for the reason given (status bar words).
    void Ignore(const wchar_t* why);
    // Goes on past Loaded to check the parts, when the set names any; else Done.
    void Check();
    // The same for a check that rebuilds nothing unless asked: every part is read on its own,
    // and the work stops at Planned (or fails for want of blocks) with the findings below.
    void CheckOnly();

    // What the check found of part `number`, once it has gone through the parts. False when the
    // set does not name it.
    struct PartFinding {
        bool present;    // there, at the size the set gives
        bool whole;      // every slice agrees with the set
        bool listAgrees; // the checksum list vouches for it and its digest matched
        bool vouched;
        int32_t slices; // of the part in the set
    };
    bool FindingOf(uint32_t number, PartFinding& finding) const;
    // Slice s (from 0) of part `number` disagrees with the set, or was not there to check.
    bool SliceBad(uint32_t number, int32_t s) const;
    // The slices a rebuild needs, the recovery blocks the set has, and how many more it would
    // take when they are too few; once planned, or failed for want of blocks.
    int32_t BlocksNeeded() const { return missingSlices.Count(); }
    int32_t BlocksAvailable() const { return set.RecoveryBlockCount(); }
    int32_t MoreNeeded() const { return repair.MoreNeeded(); }
    // Planned, but the blocks are fewer than the slices to rebuild: the work that follows only
    // counts the intact ones, to tell MoreNeeded, and fails.
    bool TooFewBlocks() const { return repair.OnlyCounting(); }

    // The check without a read of its own, when every part the set names is there at the size it
    // gives: the join hands over each part's bytes as it moves them, in order, and the check reads
    // the parts itself only when they turn out not to be whole. From Loaded; false when the set
    // names no part with data.
    bool BeginStream();
    // The next bytes of part `number` (from 1); false once a slice of a part fails the set's hash.
    bool StreamChunk(uint32_t number, const void* data, uint32_t length);
    // After a part's last bytes its last slice is hashed as if zeros filled it up, a piece at a
    // time: while this is true, StreamPad goes on with it before anything else.
    bool StreamPadding() const { return stream.Padding(); }
    bool StreamPad() { return stream.Pad(); }
    // Every slice of every part the set names came through and matched.
    bool StreamWhole() const { return stream.Whole(); }
    // Back to Loaded, for the check that reads the parts.
    void EndStream();

    // The bytes of the rebuilt parts, once Planned.
    uint64_t RebuildBytes() const { return rebuildBytes; }
    // The status line's text for the work now, and how far it has come (0 to 1).
    const WideString& Activity() const { return activity; }
    float Progress() const;
    // "<whole>.par2 ignored (why)" when the set was not used, else empty.
    const WideString& Note() const { return note; }
    // Why the work failed: an error code, and the text that leads the status bar.
    DWORD FailureCode() const { return failureCode; }
    // The failure left parts unrebuilt of which some are not there at all: the set is
    // incomplete rather than damaged.
    bool FailedWithPartsAbsent() const { return partsAbsent; }
    // What the failure makes of the operation: incomplete where parts are absent, else as its
    // code tells (underWay: the work had begun).
    OperationOutcome FailureOutcome(bool underWay) const {
        return partsAbsent ? OperationOutcome::Incomplete : ClassifyFailure(failureCode, underWay);
    }
    const WideString& FailureText() const { return failureText; }
    // Stops: closes what is open and removes every temporary file; every part keeps its name.
    void Cancel();

private:
    enum class Phase {
        Load,
        Loaded,
        Stream,
        Check,
        Planned,
        Blocks,
        Feed,
        Solve,
        Write,
        Swap,
        Finished
    };

    // What the check found of a file of the set.
    enum class State : uint8_t { Whole, Lost, Damaged, Unknown };

    struct Entry {
        SetFileRole role;
        State state;
        uint32_t number; // the part's, for a part
        bool vouched;    // the checksum list has a digest for it
        bool listAgrees; // and the part as found matched it
        Sha256Digest listed;
    };

    using Piece = CheckPieces::Piece;
    // What the check makes of a piece back from the hashing: where it ends a slice, whether the
    // slice agrees with the set, and where it ends a part, whether the list vouches for it.
    void TakeVerdict(const Piece& piece);
    static void VerdictOf(void* self, const Piece& piece);
    // Where the next piece is read: into a buffer of the pieces for the workers, or without them
    // (null) into this object's. False when every buffer is out and the step ends: `going` is
    // its result, true while the pieces out come back, false when none could be made.
    bool BufferForPiece(uint8_t*& into, bool& going);
    // The piece of the file read now, at offset in slice s.
    Piece PieceAt(const uint8_t* data, uint32_t length, int32_t s, uint32_t offset) const;
    // Hands the piece to the workers; false when they can't take it.
    bool HandOut(const Piece& piece);

    bool Fail(DWORD code, const wchar_t* format, const wchar_t* fileName);
    bool FailForWantOfBlocks(const wchar_t* first);
    // One step of the phase in turn.
    SlicedWork::Result WorkStep();
    bool LoadStep();
    bool TakeSet();
    bool Classify();
    void IgnoreForList();
    bool OpenFile(int32_t index);
    // Reads the next piece of the current file's current slice, at most `most` bytes; false when
    // it can't.
    bool ReadPiece(uint8_t* into, uint32_t most, uint32_t& length);
    bool CheckStep();
    // Reads a part of the wrong size through, for the checksum list's digest alone.
    bool HashOnlyStep();
    bool BlocksStep();
    bool FeedStep();
    bool SolveStep();
    bool WriteStep();
    bool OpenTemporary(int32_t index);
    bool EndCheck();
    bool EndCheckWhileFeeding();
    // The blocks read in, their hashes left to the workers: handed to the lanes that feed them.
    bool HashBlocksAhead();
    // Those hashes back: whether every block is what its packet says.
    bool BlocksIntact();
    // From what the check found: the slices to rebuild, and the repair planned for them.
    bool PlanRebuild();
    bool PlanLostOnly();
    // Checks every part from the start, on its own, with nothing planned yet.
    void CheckOnItsOwn();
    bool EndWrite();
    bool SwapStep();
    // Keeps the numbers of the parts that were rebuilt.
    bool NoteRebuilt();
    void NextFile();
    // Starts going through the files again, for the check or the feed (without the unread ones).
    void StartPass(Phase next, bool unreadLeftOut);
    // Where slice s is among those rebuilt, or -1.
    int32_t MissingIndex(int32_t s) const;
    // The rebuilt file that the status names first: the lowest part number.
    int32_t FirstToRebuild() const;
    void PathOf(int32_t index, WideString& to) const;
    // Where file `index` is rebuilt: where it lies, or where the rebuilt parts go.
    void TargetOf(int32_t index, WideString& to) const;
    // The file of the set that is part `number`, or -1.
    int32_t PartIndex(uint32_t number) const;

    Par2Set set;
    Par2Repair repair;
    WideString folder;        // with its backslash
    WideString rebuildFolder; // the same, or empty where the parts are rebuilt in place
    DynArray<uint32_t> rebuiltParts;
    const PartSources* sources = nullptr;
    WideString wholeName;
    WideString setName; // "<whole>.par2", for the notes
    WideString filePath;
    SyncFile reading;
    SyncFile writing;
    StreamCheck stream{set};                     // of the parts the join moves
    CheckPieces pieces{this, VerdictOf, repair}; // of the parts checked, on the workers
    Md5 fileHash;
    Sha256 partDigest;
    RebuiltDigests rebuiltDigests; // of a part rebuilt whole, made by the workers
    FreshPages rowPages;           // the repair's rows, brought in by the workers
    BlockDigests blockDigests;     // of the blocks read in while the check feeds the rows
    PartSwap swap;                 // the parts to rebuild: where each is written first
    Sha256 readThroughDigest;      // of a part of the wrong size, on this thread alone
    DynArray<uint8_t> buffer;
    DynArray<Entry> entries;         // per file of the set
    DynArray<int32_t> missingFiles;  // parts to rebuild, in set order
    DynArray<int32_t> missingSlices; // the slices to solve for, rising
    DynArray<bool> badSlices;        // per slice of the set
    DynArray<int32_t> partOrder;     // the set's parts, by rising number
    Phase phase = Phase::Load;
    uint32_t highestPart = 0;
    int32_t file = 0;
    int32_t slice = 0;        // within the file
    uint64_t sliceOffset = 0; // within the slice
    bool hashOnly = false;    // reading a part of the wrong size for its digest alone
    bool ignored = false;
    uint64_t passBytes = 0; // bytes this pass goes through
    uint64_t passDone = 0;
    uint64_t rebuildBytes = 0;
    int32_t presentParts = 0;
    int32_t agreeingSlices = 0;
    uint32_t feedPiece = 0; // so that each piece fed costs a step's work at most
    // The parts lost are known and planned for: the check feeds the others to the repair.
    bool feedWhileChecking = false;
    bool partBegins = false; // the next piece is the first of its part
    // The step waits for the workers: the rest of the slice for this time is left to later.
    bool waiting = false;
    WideString activity;
    WideString note;
    DWORD failureCode = 0;
    bool partsAbsent = false;
    WideString failureText;
};
