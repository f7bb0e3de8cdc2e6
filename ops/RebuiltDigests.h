#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"
#include "recovery/Sha256.h"

#include <windows.h>

#include <cstdint>

struct ComputeJob;

// The MD5 of a rebuilt part, and its SHA-256 where the checksum list has one, made by the workers
// from the rebuilt slices in memory while the part is written: each hash on a lane of its own.
// The bytes stay the owner's and must stay put until the hashes are back or let go of.
class RebuiltDigests {
public:
    struct Bytes {
        const uint8_t* data;
        uint32_t length;
    };

    RebuiltDigests() = default;
    ~RebuiltDigests() { LetGo(); }
    RebuiltDigests(const RebuiltDigests&) = delete;
    RebuiltDigests& operator=(const RebuiltDigests&) = delete;

    // Hands the bytes, in order, to the workers; false with the last error when they can't take
    // them, and nothing is out then.
    bool Start(const DynArray<Bytes>& bytes, bool withDigest);
    bool Started() const { return job != nullptr; }
    // Still with the workers.
    bool Out() const;
    // Once back: 0, or the error that kept a lane from hashing every byte.
    DWORD Error() const;
    const Md5Digest& Hash() const;
    const Sha256Digest& Digest() const;
    // Stops the work under way and waits until the workers are past it: the bytes are the
    // owner's again, and nothing is started.
    void LetGo();

private:
    struct Job;
    static void Run(ComputeJob& job, int32_t lane);

    Job* job = nullptr;
};
