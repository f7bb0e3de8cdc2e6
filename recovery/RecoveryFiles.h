#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "recovery/Par2Creator.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

// The recovery set's files beside the parts ("<whole>.par2" and its volumes): created with the
// parts' care (CREATE_NEW) before any part, written once the creator has seen every byte, and
// removed unless they were completed.
class RecoveryFiles {
public:
    RecoveryFiles() = default;
    RecoveryFiles(const RecoveryFiles&) = delete;
    RecoveryFiles& operator=(const RecoveryFiles&) = delete;

    // Creates every file the creator will write for basePath, or none; false with the failed
    // file's path in FailedPath().
    bool Create(const Par2Creator& creator, const wchar_t* basePath);
    const WideString& FailedPath() const { return failedPath; }
    // Writes about `most` bytes more of the files that fall to a lane (lane, lane + lanes, ...),
    // as far as the creator has them (Par2Creator::WriteOutputStep), each closed once whole.
    // Lanes may run on threads of their own at once. False with the last error and the file it
    // failed at.
    bool WriteLane(const Par2Creator& creator, int32_t lane, int32_t lanes, uint32_t most,
                   int32_t& failed);
    // Whether a lane has files left to write; whether only their description is left.
    bool LaneWritten(int32_t lane, int32_t lanes) const;
    bool LaneBlocksWritten(const Par2Creator& creator, int32_t lane, int32_t lanes) const;
    // Once every lane is written: the files are complete. False while some are not.
    bool TakeComplete();
    // The last hashes and every file at once, on this thread.
    bool Complete(Par2Creator& creator);
    bool IsComplete() const { return complete; }
    // Notes the file a write failed at, for FailedPath.
    void SetFailed(int32_t index);
    // Closes the files and removes them unless they were completed; forgets them.
    void Drop();
    // Closes the files and removes them, completed or not; forgets them.
    void Remove();

    // Looks beside basePath for a file or folder named as a set for it is named, or as any
    // volume of one: "<base>.par2" or "<base>.vol*.par2", without regard to case. found is its
    // path, or empty when there is none; false with the last error when the folder can't be read.
    static bool FindTaken(const wchar_t* basePath, WideString& found);

    int32_t Count() const { return outputs.Count(); }
    const wchar_t* Path(int32_t index) const { return outputs[index].path.Text(); }

private:
    void Forget(bool removeComplete);
    // The output has nothing to write until the creator lays out the description.
    bool Waiting(const Par2Creator& creator, int32_t index) const;

    struct Output {
        WideString path;
        SyncFile file;
        Par2Creator::OutputCursor written;
    };
    DynArray<Output> outputs;
    WideString failedPath;
    bool complete = false;
};
