#pragma once

#include "app/DynArray.h"
#include "app/WideString.h"
#include "recovery/Crc32.h"
#include "recovery/Md5.h"
#include "recovery/Par2Format.h"
#include "toolkit/PageMemory.h"

#include <cstddef>
#include <cstdint>

// Makes a PAR 2.0 recovery set for a list of files, such as the parts of a split, so that par2
// and its kin can check them and rebuild lost or damaged ones.
//
// The files come as names (no folder) and sizes. Their bytes then come in order through AddData,
// in pieces of any size. The recovery data weighs each slice with a constant picked by the
// slice's place in the set, and the set orders the files by their IDs, which hash each file's
// first 16 KiB: so those first bytes of every file are handed over (SetFileHead) before the
// stream starts. WriteOutputStep then writes the index file and the recovery volumes.
//
// The recovery blocks are held in memory: recoveryCount * sliceSize bytes. Every call is false,
// with the reason in the last error, when it fails; the creator then takes only a new Start.
class Par2Creator {
public:
    static constexpr int32_t kMaxSlices = par2::kMaxSlices;
    // As many recovery blocks as slices.
    static constexpr int32_t kMaxRecoveryBlocks = par2::kMaxSlices;
    static constexpr uint32_t kHeadBytes = 16 * 1024;

    Par2Creator() = default;
    ~Par2Creator();
    Par2Creator(const Par2Creator&) = delete;
    Par2Creator& operator=(const Par2Creator&) = delete;

    // sliceSize is a multiple of 4; no file is empty, no name holds a folder.
    bool Start(const wchar_t* const* names, const uint64_t* sizes, int32_t fileCount,
               uint32_t sliceSize, int32_t recoveryCount);
    // The first min(kHeadBytes, size) bytes of a file, for each file before any AddData. The
    // stream is checked against them: a file that changed in between fails AddData.
    bool SetFileHead(int32_t file, const void* head, size_t size);
    // The files' bytes, one file after the other.
    bool AddData(const void* data, size_t size);

    // AddData in three steps, so that the work can be shared out among threads: PlanData lays out
    // the next bytes of the stream as runs, each within one slice; HashRuns hashes those of the
    // files that fall to one of several lanes, and AddRunsToBlocks adds them to the blocks that
    // fall to it, each lane on one thread at a time, in stream order. The lanes share out the
    // files and the blocks, so no two touch the same hashes or bytes, and several MD5 chains,
    // which cannot be cut, go side by side. A stream is fed one way or the other.
    static constexpr int32_t kMostLanes = 8;
    struct Run {
        uint64_t fileOffset; // where it starts in its file
        uint32_t at;         // in the piece of the stream
        uint32_t size;
        uint32_t sliceOffset; // where it starts in its slice
        int32_t file;
        int32_t slice; // in the order of the stream
        bool endsSlice;
        bool endsFile;
    };
    bool PlanData(size_t size, DynArray<Run>& runs);
    // The MD5s and CRC32s of files lane, lane + lanes, ... False with ERROR_INVALID_DATA when a
    // file's first bytes are not those it was set up with; the creator must then not be used
    // again.
    bool HashRuns(const uint8_t* data, const Run* runs, int32_t count, int32_t lane, int32_t lanes);
    void AddRunsToBlocks(const uint8_t* data, const Run* runs, int32_t count, int32_t lane,
                         int32_t lanes);
    // The files the set is made for.
    int32_t FileCount() const { return files.Count(); }
    // The files of the set, once every byte is in: output 0 is the index "<basePath>.par2",
    // output v + 1 volume v, "<basePath>.vol<first>+<count>.par2", holding 1, 2, 4, ... blocks.
    // Their number, names and sizes are known from Start on; RecoveryFiles makes and writes them.
    int32_t OutputCount() const;
    bool OutputName(const wchar_t* basePath, int32_t index, WideString& name) const;
    uint64_t OutputBytes(int32_t index) const;
    // What is left once every byte is in, shared out among threads: PrepareFinish on this
    // thread; then on each lane FinishHashes (the padding of the last slices of its files) and,
    // as soon as PrepareFinish has run, the writing of the recovery packets of its outputs; then
    // HashesFinished on this thread again, which lays out the set's description, and the rest of
    // the outputs. FinishAll does the three hashing steps on this thread.
    bool PrepareFinish();
    void FinishHashes(int32_t lane, int32_t lanes);
    bool HashesFinished();
    bool FinishAll();
    // Where the writing of an output file stands.
    struct OutputCursor {
        int32_t block = 0; // within its volume
        uint32_t offset = 0;
        bool done = false;
        uint64_t headerAt = 0; // where the header of the block under way lies in the file
        Md5 packet;            // and the hash of its packet so far
    };
    // Writes about `most` bytes more of output index at the handle's position; done turns true
    // with its last byte. A volume's recovery packets go out once PrepareFinish has run, each
    // hashed as it is written, its header sealed after its bytes; the set's description that
    // ends every output waits for HashesFinished. Outputs may be written on several threads at
    // once, each with its own cursor.
    bool WriteOutputStep(int32_t index, OutputCursor& at, HANDLE file, uint32_t most) const;
    // Only the set's description is left of the output; and it is laid out.
    bool BlocksWritten(int32_t index, const OutputCursor& at) const;
    bool Described() const { return described; }
    static constexpr uint32_t kWritePieceBytes = 512 * 1024;

    // The padding of a slice longer than this is hashed with the last hashes, not with the run
    // that ends the slice.
    static constexpr uint32_t kLongPadding = 4 << 20;

private:
    struct File {
        uint32_t nameOffset;
        uint32_t nameLength;
        uint64_t size;
        Md5Digest head;
        Md5Digest hash;
        Md5Digest id;
        int32_t firstSlice; // in the order of the stream
        int32_t sliceCount;
        int32_t firstConstant; // in the order of the IDs
        bool headSet;
    };
    struct SliceChecksum {
        Md5Digest hash;
        uint32_t crc;
    };

    void Clear();
    bool Fail(DWORD error);
    bool PlaceFiles();
    // The zeros that pad a slice to the full size, still to be hashed.
    template <class Hash> struct Padding {
        Hash hash;
        uint64_t left = 0;
        int32_t slice = 0;
        bool pending = false;
        // True when the padding is short enough to be hashed at once.
        bool Start(const Hash& from, uint64_t bytes, int32_t ofSlice);
        // Hashes up to `most` bytes of it; true with the last.
        bool Go(uint64_t most);
    };
    // Where the hashing of the stream stands, for the files of one lane.
    struct Hashing {
        Md5 fileHash;
        Md5 headHash;
        Md5 sliceHash;
        Crc32 sliceCrc;
        Padding<Md5> md5Padding;
        Padding<Crc32> crcPadding;
    };
    void FinishSliceHashes(Hashing& h, const Run& last);
    // Hashes up to `most` bytes of the pending padding; its slice's checksum with the last.
    void Pad(Padding<Md5>& padding, uint64_t most);
    void Pad(Padding<Crc32>& padding, uint64_t most);
    // Blocks first to end take the bytes at offset in a slice of constant 2^log.
    void AddToBlocks(const uint8_t* data, size_t size, uint32_t offset, uint32_t log, int32_t first,
                     int32_t end);
    bool FinishFileHashes(Hashing& h, int32_t file);
    void FillMainBody(uint8_t* body) const;
    bool BuildCriticalPackets(DynArray<uint8_t>& out);
    // A recovery packet's header and exponent, with its hash field left empty.
    static constexpr uint32_t kBlockHeaderBytes = par2::kHeaderBytes + par2::RecoveryBody::kDataAt;
    void FillBlockHeader(uint8_t* header, int32_t e) const;
    uint64_t CriticalBytes() const;
    // Makes sure the pages of the lane's blocks up to offset in them are in memory, in large
    // steps: page by page, as the multiply-add first touches them, costs far more on some
    // systems.
    void BringInBlocks(int32_t lane, int32_t first, int32_t end, uint64_t offset);

    DynArray<File> files;
    DynArray<char> names;    // UTF-8, one after the other
    DynArray<int32_t> order; // file indexes, by ID
    DynArray<SliceChecksum> checksums;
    DynArray<uint16_t> constantLogs; // the logarithm of each slice constant, in order of the IDs
    PageMemory recovery;
    uint32_t sliceSize = 0;
    int32_t recoveryCount = 0;
    Md5Digest setId = {};
    // The index and volumes' description of the set, built once every byte is in.
    DynArray<uint8_t> critical;
    bool finishing = false; // the set ID is known: the recovery packets may be written
    bool described = false; // the description is laid out

    // Where the laying out of the stream stands.
    struct Layout {
        int32_t file = 0;
        uint64_t doneInFile = 0;
        uint32_t filled = 0; // of the slice
        int32_t slice = 0;
    } layout;
    Hashing hashing[kMostLanes];
    // Per lane: a byte of the slice whose 16-bit word is not complete yet, and how far into its
    // blocks the pages are in memory.
    struct Carry {
        uint8_t byte = 0;
        bool set = false;
        uint64_t broughtIn = 0;
    } carries[kMostLanes];
    bool placed = false;
    bool broken = true;
};
