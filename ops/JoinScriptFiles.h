#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/Sha256.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

// "<whole>.join.cmd" and "<whole>.join.txt" beside the parts: created with the parts' care
// (CREATE_NEW) before any part, written once the split knows the whole file's checksum, and
// removed unless they were completed.
class JoinScriptFiles {
public:
    JoinScriptFiles() = default;
    JoinScriptFiles(const JoinScriptFiles&) = delete;
    JoinScriptFiles& operator=(const JoinScriptFiles&) = delete;

    // For the whole file at wholePath, cut into partCount parts; withChecksum when the split
    // writes a checksum list, so the texts check the result against it.
    void SetFor(const WideString& wholePath, uint32_t partCount, bool withChecksum);
    const WideString& ScriptPath() const { return scriptPath; }
    const WideString& TextPath() const { return textPath; }
    // The bytes of each of the two files, as Complete() will write them; false when they can't
    // be told (last error set).
    bool Sizes(uint64_t& scriptBytes, uint64_t& textBytes) const;

    // Creates both files, or neither; false with the failed file's path in FailedPath().
    bool Create();
    const WideString& FailedPath() const { return failedPath; }
    // Writes both and closes them; whole is the whole file's SHA-256 when withChecksum was set.
    bool Complete(const Sha256Digest* whole);
    bool IsCreated() const { return created; }
    bool IsComplete() const { return complete; }
    // Closes the files and removes them unless they were completed.
    void Drop();
    // Closes the files and removes them, completed or not, if it made them.
    void Remove();

private:
    bool Build(const Sha256Digest* whole, DynArray<char>& script, DynArray<char>& text) const;

    WideString wholeName;
    WideString scriptPath;
    WideString textPath;
    WideString failedPath;
    SyncFile scriptFile;
    SyncFile textFile;
    uint32_t parts = 0;
    bool checksum = false;
    bool created = false;
    bool complete = false;
};
