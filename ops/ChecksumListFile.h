#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/ChecksumList.h"
#include "ops/SideFiles.h"
#include "recovery/Sha256.h"
#include "toolkit/SyncFile.h"

// The file "<name>.sha256" beside the parts: written line by line while a split hashes, read
// whole by a join. The text of a list is ChecksumList's; this is where it meets the disk.
class ChecksumListFile final : public SideFiles {
public:
    ChecksumListFile() = default;
    ChecksumListFile(const ChecksumListFile&) = delete;
    ChecksumListFile& operator=(const ChecksumListFile&) = delete;

    // The list's path for the whole file at wholePath; partCount, for a list to be written, the
    // parts it will name.
    void SetFor(const WideString& wholePath, uint32_t partCount = 0);
    const WideString& Path() const { return path; }

    // Writing. Create makes the file new, so an existing list is never overwritten, and begins it
    // with the whole file's line, its digest still unknown: until it is complete, the list says
    // that the split of the file did not finish, whenever and however the split ends.
    bool SpaceNeeded(uint32_t unit, uint64_t& bytes) const override;
    bool Create() override;
    // Lines gather in memory and go to the file in large writes.
    bool AddLine(const Sha256Digest& digest, const wchar_t* name);
    // Writes what is left and the whole file's digest into its line, then closes the file: the
    // list is complete in one step, but not yet on the disk.
    bool CompleteStep(const Sha256Digest* whole, bool& done) override;
    const WideString& FailedPath() const override { return path; }
    bool IsCreated() const { return created; }
    bool IsComplete() const override { return complete; }
    int32_t FileCount() const override { return 1; }
    const wchar_t* FilePath(int32_t) const override { return path.Text(); }
    void Drop() override;
    void Remove() override;
    // Forgets the file: a completed list stays where it is.
    void Release() { created = false; }

    // Reading. False when there is no list at all; otherwise true, with list either taken or
    // refused (its Problem() says why).
    bool Read(const wchar_t* wholeName, ChecksumList& list) const;

private:
    bool Flush();

    WideString path;
    WideString listedName; // the whole file's, as its line names it
    uint32_t parts = 0;
    SyncFile file;
    DynArray<char> text;
    uint32_t wholeLineBytes = 0;
    bool created = false;
    bool complete = false;
};

// Reads a list that lies beside the parts, of at most kChecksumListLimit bytes. False when there is
// no such file; otherwise true, with its text, or with problem saying why it can't be taken.
bool ReadListText(const wchar_t* path, DynArray<char>& text, ListProblem& problem);
