#pragma once

#include "app/WideString.h"
#include "recovery/Sha256.h"

#include <cstdint>

// Files a split leaves beside its parts: the checksum list, the join scripts, the recovery set.
// Each kind is set up for the split in its own way; from then on they all live alike: counted in
// the space check, created new before any part (never over a file of their names), completed at
// the end, removed unless they were completed, and selected in Explorer with the parts once
// complete. Each call that can fail is false with the reason in the last error.
class SideFiles {
public:
    // The bytes the files take on a volume of this allocation unit.
    virtual bool SpaceNeeded(uint32_t unit, uint64_t& bytes) const = 0;
    // Creates the files; on a failure, Drop removes what was made.
    virtual bool Create() = 0;
    // A piece of the writing at the end: done turns true once the files are complete and closed.
    // whole is the whole file's SHA-256 when the split hashed it, else null.
    virtual bool CompleteStep(const Sha256Digest* whole, bool& done) = 0;
    // The file a failed Create or CompleteStep was at.
    virtual const WideString& FailedPath() const = 0;
    virtual bool IsComplete() const = 0;
    virtual int32_t FileCount() const = 0;
    virtual const wchar_t* FilePath(int32_t index) const = 0;
    // Closes the files and removes them unless they were completed.
    virtual void Drop() = 0;
    // Closes the files and removes them, completed or not, if they were made.
    virtual void Remove() = 0;

protected:
    SideFiles() = default;
    ~SideFiles() = default;
    SideFiles(const SideFiles&) = delete;
    SideFiles& operator=(const SideFiles&) = delete;
};
