#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "ops/SideFiles.h"
#include "recovery/Sha256.h"
#include "toolkit/SyncFile.h"

#include <cstdint>

// "<whole>.join.cmd" and "<whole>.join.txt" beside the parts: created with the parts' care
// (CREATE_NEW) before any part, written once the split knows the whole file's checksum, and
// removed unless they were completed.
class JoinScriptFiles final : public SideFiles {
public:
    JoinScriptFiles() = default;
    JoinScriptFiles(const JoinScriptFiles&) = delete;
    JoinScriptFiles& operator=(const JoinScriptFiles&) = delete;

    // For the whole file at wholePath, cut into partCount parts; withChecksum when the split
    // writes a checksum list, so the texts check the result against it.
    void SetFor(const WideString& wholePath, uint32_t partCount, bool withChecksum);
    // The bytes of each of the two files, as Complete() will write them; false when they can't
    // be told (last error set).
    bool Sizes(uint64_t& scriptBytes, uint64_t& textBytes) const;
    bool SpaceNeeded(uint32_t unit, uint64_t& bytes) const override;

    // Creates both files, or neither; false with the failed file's path in FailedPath().
    bool Create() override;
    const WideString& FailedPath() const override { return failedPath; }
    // Writes both and closes them; whole is the whole file's SHA-256 when withChecksum was set.
    bool Complete(const Sha256Digest* whole);
    // The same, in one step.
    bool CompleteStep(const Sha256Digest* whole, bool& done) override {
        done = Complete(whole);
        return done;
    }
    bool IsComplete() const override { return complete; }
    int32_t FileCount() const override { return 2; }
    const wchar_t* FilePath(int32_t index) const override {
        return index == 0 ? scriptPath.Text() : textPath.Text();
    }
    void Drop() override;
    void Remove() override;

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
