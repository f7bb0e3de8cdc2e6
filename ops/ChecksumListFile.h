#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/ChecksumList.h"
#include "ops/Sha256.h"
#include "toolkit/SyncFile.h"

// The file "<name>.sha256" beside the parts: written line by line while a split hashes, read
// whole by a join. The text of a list is ChecksumList's; this is where it meets the disk.
class ChecksumListFile {
public:
    ChecksumListFile() = default;
    ChecksumListFile(const ChecksumListFile&) = delete;
    ChecksumListFile& operator=(const ChecksumListFile&) = delete;

    // The list's path for the whole file at wholePath.
    void SetFor(const WideString& wholePath);
    const WideString& Path() const { return path; }

    // Writing. Create makes the file with CREATE_NEW, so an existing list is never overwritten,
    // and begins it with the whole file's line, its digest still unknown: until Complete, the list
    // says that the split of wholeName did not finish, whenever and however the split ends.
    // Each call is false, with the reason in the last error, when it fails.
    bool Create(const wchar_t* wholeName);
    // Lines gather in memory and go to the file in large writes.
    bool AddLine(const Sha256Digest& digest, const wchar_t* name);
    // Writes what is left and the whole file's digest into its line, then closes the file: the
    // list is complete.
    bool Complete(const Sha256Digest& whole, const wchar_t* wholeName);
    bool IsCreated() const { return created; }
    bool IsComplete() const { return complete; }
    // Closes the file and removes it unless it was completed.
    void Drop();
    // Closes the file and removes it, completed or not, if it made it.
    void Remove();
    // Forgets the file: a completed list stays where it is.
    void Release() { created = false; }

    // Reading. False when there is no list at all; otherwise true, with list either taken or
    // refused (its Problem() says why).
    bool Read(const wchar_t* wholeName, ChecksumList& list) const;

private:
    bool Flush();

    WideString path;
    SyncFile file;
    DynArray<char> text;
    uint32_t wholeLineBytes = 0;
    bool created = false;
    bool complete = false;
};
