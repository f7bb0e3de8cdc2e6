#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "recovery/Md5.h"
#include "recovery/Par2Repair.h"
#include "recovery/Par2Set.h"
#include "toolkit/Handle.h"

#include <cstdint>

// Before a join: checks the files of the recovery set that lies beside the parts, slice by slice,
// and rebuilds those lost or damaged from it. A damaged file is kept aside under a new name and
// its place taken by the rebuilt one, made new and checked. The work goes in steps short enough
// for the window to stay responsive between them.
class JoinRepair {
public:
    enum class Step { Working, Done, Failed };

    JoinRepair() = default;
    JoinRepair(const JoinRepair&) = delete;
    JoinRepair& operator=(const JoinRepair&) = delete;

    // Reads the recovery set of the whole file; false when there is none to use.
    bool Find(const WideString& wholePath);
    // Does the next piece of work, for about the given time.
    Step Work(DWORD milliseconds);
    // The status line's text for the work now, and how far it has come (0 to 1).
    const WideString& Activity() const { return activity; }
    float Progress() const;
    // Why the work failed: an error code, and the text that leads the status bar.
    DWORD FailureCode() const { return failureCode; }
    const WideString& FailureText() const { return failureText; }
    // Stops: closes what is open and removes a rebuilt file not yet complete.
    void Cancel();

private:
    enum class Phase { Check, Blocks, Feed, Solve, Write, Finished };

    // What the check found of a file of the set.
    enum class State : uint8_t { Whole, Lost, Damaged };

    bool Fail(DWORD code, const wchar_t* format, const wchar_t* fileName);
    bool OpenFile(int32_t index);
    // Reads the next piece of the current file's current slice, at most `most` bytes; false when
    // it can't.
    bool ReadPiece(uint32_t most, uint32_t& length);
    bool CheckStep();
    bool BlocksStep();
    bool FeedStep();
    bool SolveStep();
    bool WriteStep();
    bool EndCheck();
    // Moves a damaged file to the first free name "<name>.damaged", ".damaged2", ...
    bool KeepAside(int32_t index);
    void NextFile();
    // Starts going through the files again, for the check or the feed (without the lost ones).
    void StartPass(Phase next, bool lostLeftOut);
    // Where slice s is among those rebuilt, or -1.
    int32_t MissingIndex(int32_t s) const;
    // The rebuilt file that the status names first: the lowest part number.
    int32_t FirstToRebuild() const;

    Par2Set set;
    Par2Repair repair;
    WideString folder; // with its backslash
    WideString filePath;
    FileHandle reading;
    FileHandle writing;
    Md5 sliceHash;
    Md5 fileHash;
    DynArray<uint8_t> buffer;
    DynArray<int32_t> missingFiles;  // files of the set to rebuild, in set order
    DynArray<int32_t> missingSlices; // the slices to rebuild, rising
    DynArray<State> states;          // per file of the set
    DynArray<bool> badSlices;        // per slice of the set
    WideString asidePath;            // the damaged file being rewritten, moved aside
    Phase phase = Phase::Check;
    int32_t file = 0;
    int32_t slice = 0;        // within the file
    uint64_t sliceOffset = 0; // within the slice
    uint64_t passBytes = 0;   // bytes this pass goes through
    uint64_t passDone = 0;
    uint32_t feedPiece = 0; // so that each piece fed costs a step's work at most
    WideString activity;
    DWORD failureCode = 0;
    WideString failureText;
};
