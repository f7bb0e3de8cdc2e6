#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

class Par2Creator;

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
    // Writes the files a piece at a time (Par2Creator::WriteOutputPiece), each closed once whole;
    // done turns true with the last.
    bool CompleteStep(Par2Creator& creator, bool& done);
    // All of them at once.
    bool Complete(Par2Creator& creator);
    bool IsComplete() const { return complete; }
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

    struct Output {
        WideString path;
        SyncFile file;
    };
    DynArray<Output> outputs;
    WideString failedPath;
    int32_t writing = 0; // the file being written
    bool complete = false;
};
