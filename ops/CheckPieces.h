#pragma once

#include "recovery/Crc32.h"
#include "recovery/Md5.h"
#include "recovery/Sha256.h"

#include <windows.h>

#include <cstdint>

struct ComputeJob;
class Par2Repair;

// The pieces of the parts that a check reads, hashed by the workers while the next pieces are
// read, of the same slice or the next ones: its MD5 (its CRC32 where the list vouches for the
// part) into the slice's hash and, for a part the list vouches for, its SHA-256 into the part's
// digest; where it ends its slice, the zeros that fill the slice up. Where the repair is planned,
// the feeding lanes also take the piece's share out of its sums, each lane its own rows. What the
// hashing made of each piece comes back to the owner's verdict routine, in order, on the
// user-interface thread.
//
// Thirty-two pieces out at once (64 MiB) keep the workers busy from one timer tick to the next:
// with six, they hashed what a slice read in a few milliseconds and then waited for the next
// tick. Waiting for them at each slice's end cost a tick a slice, seconds for a set of small
// slices. The parts' hashes are chains, each on one lane; the lanes take the parts in turns, so
// that the next part is hashed on another while the one before is finished.
class CheckPieces {
public:
    struct Piece {
        const uint8_t* data;
        uint32_t length;
        int32_t file;
        int32_t slice;    // in the set
        uint32_t offset;  // in the slice
        uint32_t padding; // the zeros after it that fill its slice up, where it ends one
        bool checked;     // hashed for the check
        bool feed;        // its share is taken out of the repair's sums
        bool byCrc;       // the slice's CRC32 in place of its MD5
        bool digest;      // the part's SHA-256 too
        bool startsPart;
        bool endsSlice;
        bool endsPart;
        // What the hashing makes of it: the slice's checksum where it ends one, and the part's
        // digest where it ends the part.
        uint32_t crc;
        Md5Digest hash;
        Sha256Digest partHash;
    };
    // A part's hashes so far, as its pieces come in order: the slice's MD5 or CRC32, and the
    // part's SHA-256 where the list has one.
    struct Hashes {
        Md5 slice;
        Crc32 sliceCrc;
        Sha256 digest;
    };
    // Takes what the hashing made of a piece. It may let go of every piece out, this one's too.
    using Verdict = void (*)(void* owner, const Piece& piece);

    static constexpr int32_t kJobs = 32;
    static constexpr int32_t kHashLanes = 4;

    // The lanes that take a piece's share out of the repair's sums, each its own rows; and the
    // one of them that takes row r of rows.
    static int32_t FeedLanes(int32_t workers) { return workers < 2 ? workers : 2; }
    static int32_t FeedLaneOf(int32_t row, int32_t rows, int32_t feedLanes);

    // The repair's sums are fed; they must outlive this object.
    CheckPieces(void* verdictOwner, Verdict verdictRoutine, Par2Repair& sums)
        : owner(verdictOwner), verdict(verdictRoutine), repair(sums) {}
    ~CheckPieces() { LetGo(); }
    CheckPieces(const CheckPieces&) = delete;
    CheckPieces& operator=(const CheckPieces&) = delete;

    // A buffer of `bytes` for the next piece, that of a job which is back, or made when there is
    // none yet; null when every job is out, or none can be made. The same until handed out.
    uint8_t* Take(uint32_t bytes);
    // Hands the piece read into the buffer taken to the workers, with `workers` lanes; false,
    // with the pool's error, when they can't take it.
    bool HandOut(const Piece& piece, int32_t workers);
    int32_t Out() const { return out; }
    // A lane could not take a piece, which left the hashes short of it: its error, and the file
    // of the piece. 0 otherwise, or once forgotten.
    DWORD Error() const { return error; }
    int32_t ErrorFile() const { return errorFile; }
    void ForgetError() { error = 0; }
    // Begins the lanes' slices anew: a check broken off, as a join's when a part changed under
    // it, may have left one begun.
    void BeginSlices();
    // The hashes of the lane that takes the pieces here, without the workers.
    Hashes& HashesHere() { return laneHashes[0]; }
    // Waits until the workers are past the pieces out, which then free themselves as they come
    // back: the hashes they fed are this object's again.
    void LetGo();

    // The hashing of a piece that falls to a lane (the slice's, the part's digest, or both), on
    // a worker or here without them.
    static void Hash(Piece& piece, Hashes& hashes);
    // Into the slice's MD5, or its CRC32 where the list proves the part.
    static void HashSlice(Hashes& hashes, bool byCrc, const uint8_t* bytes, uint32_t n);
    // The same for n zeros.
    static void HashZeros(Hashes& hashes, bool byCrc, uint32_t n);

private:
    struct Job;
    static void Run(ComputeJob& job, int32_t lane);
    static void Done(ComputeJob& job);

    void* owner;
    Verdict verdict;
    Par2Repair& repair;
    Job* jobs[kJobs] = {};
    Job* taken = nullptr;
    int32_t out = 0;
    DWORD error = 0;
    int32_t errorFile = 0;
    Hashes laneHashes[kHashLanes]; // of the parts hashed on each lane
};
