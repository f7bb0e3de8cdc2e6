#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"
#include "recovery/Par2PacketScan.h"

#include <windows.h>

#include <cstdint>
#include <memory>

// A PAR 2.0 recovery set as found on the disk: the index file "<whole>.par2" and the volumes
// "<whole>.vol*.par2" beside it, such as a split writes for its parts or par2 makes for any files.
//
// Every packet whose header and MD5 are right is taken, wherever it is: damaged packets and
// anything between packets are skipped (Par2PacketScan finds them). Recovery blocks are neither
// kept nor read here: a recovery packet is taken on its header alone, and its MD5 checked only
// when the repair reads the block (ReadRecoveryPiece), so that a set whose files are whole reads
// no volume through. Loading goes in steps of bounded work, and costs time in proportion to the
// set's bytes whatever they hold. Names in the set are data: nothing here opens them.
class Par2Set {
public:
    // As many input slices as there are slice constants; a set of more slices or more files is
    // no set.
    static constexpr int32_t kMaxSlices = Par2PacketScan::kMaxSlices;
    static constexpr int32_t kMaxFiles = Par2PacketScan::kMaxFiles;

    enum class LoadStep { Working, Done, Failed };
    // The work of the last load, for its tests and benchmarks: bytes read and hashed, reads, and
    // LoadMore's steps.
    struct LoadCost {
        Par2PacketScan::Cost work;
        int32_t steps;
    };

    Par2Set() = default;
    ~Par2Set();
    Par2Set(const Par2Set&) = delete;
    Par2Set& operator=(const Par2Set&) = delete;

    // Starts reading the set of the whole file; false with ERROR_FILE_NOT_FOUND when no file of
    // the set exists (then nothing more to do), ERROR_NOT_ENOUGH_MEMORY.
    bool BeginLoad(const wchar_t* wholePath);
    // Reads on one step; Done once the set is taken; Failed with the last error:
    // ERROR_INVALID_DATA when the files hold no usable set, ERROR_NOT_ENOUGH_MEMORY. A file that
    // can't be opened or read to its end counts with what was read of it.
    LoadStep LoadMore();
    // How far the loading has come, 0 to 1, by bytes of the set's files.
    float LoadProgress() const { return progress; }
    const LoadCost& Cost() const { return cost; }
    // BeginLoad and LoadMore until done: false with their errors.
    bool Load(const wchar_t* wholePath);

    uint32_t SliceSize() const { return sliceSize; }
    // In the main packet's order, which is the order of the file IDs.
    int32_t FileCount() const { return files.Count(); }
    // As the set holds it, without a folder.
    const wchar_t* FileName(int32_t file) const { return names.Items() + files[file].nameOffset; }
    uint64_t FileSize(int32_t file) const { return files[file].size; }
    const Md5Digest& FileHash(int32_t file) const { return files[file].hash; }
    // Slices are numbered over the set, file after file in that order.
    int32_t FirstSlice(int32_t file) const { return files[file].firstSlice; }
    int32_t SliceCount(int32_t file) const { return files[file].sliceCount; }
    // The file's own bytes in its slice k (of SliceCount): the slice size, but for a last slice
    // that the file's end cuts short.
    uint32_t SliceBytes(int32_t file, int32_t k) const {
        const uint64_t left = files[file].size - static_cast<uint64_t>(k) * sliceSize;
        return left < sliceSize ? static_cast<uint32_t>(left) : sliceSize;
    }
    int32_t TotalSlices() const { return slices.Count(); }
    // Of the slice zero-padded to SliceSize.
    const Md5Digest& SliceHash(int32_t slice) const { return slices[slice].hash; }
    uint32_t SliceCrc(int32_t slice) const { return slices[slice].crc; }
    // The recovery blocks found, by rising exponent, copies of one block each counted: found, not
    // checked, so some may still turn out damaged when read.
    int32_t RecoveryBlockCount() const { return blocks.Count(); }
    uint32_t RecoveryExponent(int32_t block) const { return blocks[block].exponent; }
    // The file with this name compared as Windows does, regardless of case; -1 when there is none.
    int32_t FindFile(const wchar_t* name) const;

    // Reads block's bytes [offset, offset + length) from its volume into data. The pieces come in
    // order, the first at offset 0, which starts md5 over the packet; with the block's last byte
    // the packet's MD5 is checked: false with ERROR_INVALID_DATA when it does not match (or the
    // packet changed since Load), else false when the volume can't be read. Without hashData the
    // bytes are left out of md5 and nothing is checked at the end: md5 then holds the packet's
    // hash up to the block's bytes, for the caller to go on with and hold against RecoveryHash.
    bool ReadRecoveryPiece(int32_t block, uint32_t offset, uint8_t* data, uint32_t length, Md5& md5,
                           bool hashData) const;
    // The packet's MD5 that its header gives.
    const Md5Digest& RecoveryHash(int32_t block) const { return blocks[block].hash; }

private:
    using Block = Par2PacketScan::Block;
    using Packet = Par2PacketScan::Packet;
    struct File {
        Md5Digest id;
        Md5Digest hash;
        uint64_t size;
        int32_t nameOffset;
        int32_t firstSlice;
        int32_t sliceCount;
        bool described;
        bool checksummed;
    };
    struct Slice {
        Md5Digest hash;
        uint32_t crc;
    };
    // A file of the set on the disk.
    struct SetFile {
        int32_t pathOffset; // in paths
        uint64_t size;      // as listed, for the progress
    };
    enum class Phase { Scan, Take, Rescan, Over };

    void Clear();
    void ClearTaken();
    bool AddSetFile(const wchar_t* path, uint64_t size);
    bool LoadStepOnce();
    bool ScanStep();
    bool TakeStep();
    bool RescanStep();
    bool Finish();
    LoadStep Fail(DWORD error);
    void CountProgress(uint64_t current);
    bool TakeSet();
    bool TakeFiles(const uint8_t* main);
    bool TakeDescription(const uint8_t* body, uint32_t length);
    void TakeChecksums(const uint8_t* body, uint32_t length);
    bool SortNames();
    bool TakeBlocks();
    bool Usable(const Block& block) const;
    int32_t FindId(const uint8_t* id) const;

    uint32_t sliceSize = 0;
    DynArray<File> files;
    DynArray<int32_t> byId;   // the files by ID
    DynArray<int32_t> byName; // by name, regardless of case; equal names by number
    DynArray<wchar_t> names;
    DynArray<Slice> slices;
    DynArray<Block> blocks;
    DynArray<wchar_t> paths; // the set's files' full paths, each ending in 0
    DynArray<SetFile> setFiles;
    Md5Digest mainSetId = {};

    // While loading.
    std::unique_ptr<Par2PacketScan> scan;
    Phase phase = Phase::Over;
    int32_t at = 0;            // the file scanned, or the place in rescans
    bool passOpen = false;     // a pass of the scan is under way
    bool taken = false;        // the last TakeSet took a set
    DWORD takeError = 0;       // and why not
    DynArray<int32_t> rescans; // the scan's blocks to go over again
    int32_t foundBefore = 0;   // packets and blocks found before the rescans
    uint64_t doneBytes = 0;
    uint64_t totalBytes = 0;
    float progress = 0.0f;
    DWORD lastError = 0;
    LoadCost cost = {};
};
