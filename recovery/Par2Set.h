#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"

#include <windows.h>

#include <cstdint>

// A PAR 2.0 recovery set as found on the disk: the index file "<whole>.par2" and the volumes
// "<whole>.vol*.par2" beside it, such as a split writes for its parts or par2 makes for any files.
//
// Every packet whose header and MD5 are right is taken, wherever it is: damaged packets and
// anything between packets are skipped. Recovery blocks are neither kept nor, mostly, read here:
// a recovery packet that ends where the file does or another packet begins is taken on its
// header alone, and its MD5 checked only when the repair reads the block (ReadRecoveryPiece), so
// that a set whose files are whole reads no volume through. Such a packet that the set has no use
// for is checked whole after all: a damaged length may have led the scan over intact packets.
class Par2Set {
public:
    // As many input slices as there are slice constants.
    static constexpr int32_t kMaxSlices = 32768;

    Par2Set() = default;
    Par2Set(const Par2Set&) = delete;
    Par2Set& operator=(const Par2Set&) = delete;

    // False with ERROR_FILE_NOT_FOUND when there is no file of the set at all, ERROR_INVALID_DATA
    // when the files hold no usable main packet or lack a file's description or slice checksums.
    // A file that can't be opened or read to its end counts with what was read of it.
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
    // packet changed since Load), else false when the volume can't be read.
    bool ReadRecoveryPiece(int32_t block, uint32_t offset, uint8_t* data, uint32_t length,
                           Md5& md5) const;

private:
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
    struct Block {
        uint32_t exponent;
        int32_t pathOffset; // in paths
        uint64_t offset;    // of its packet in that file
        uint64_t length;    // of the packet
        Md5Digest hash;     // of the packet, from its header
        bool checked;       // the packet's MD5 was checked at Load
    };
    // A packet kept until the set is known: where in kept, its set ID and type.
    struct Packet {
        int32_t at;
        int32_t length;
        Md5Digest setId;
        int type;
    };

    void Clear();
    void ClearTaken();
    bool LoadFiles(const wchar_t* wholePath);
    // These four are false only when memory runs out; buffer is Load's, for reading.
    bool ScanFile(const wchar_t* path, uint8_t* buffer);
    bool ScanRange(HANDLE file, uint64_t fileSize, uint64_t at, uint64_t end, int32_t pathOffset,
                   uint8_t* buffer);
    bool TryPacket(HANDLE file, uint64_t fileSize, uint64_t at, int32_t pathOffset, uint8_t* buffer,
                   uint64_t& length);
    bool RecheckUnused(bool setTaken, uint8_t* buffer);
    bool BodyMatches(HANDLE file, uint64_t at, const uint8_t* header, uint64_t packetLength,
                     uint8_t* buffer);
    bool TakeSet();
    bool TakeDescription(const uint8_t* body, uint64_t length);
    bool TakeChecksums(const uint8_t* body, uint64_t length);
    int32_t FindId(const uint8_t* id) const;

    uint32_t sliceSize = 0;
    DynArray<File> files;
    DynArray<wchar_t> names;
    DynArray<Slice> slices;
    DynArray<Block> blocks;
    DynArray<wchar_t> paths; // the volumes' full paths, each ending in 0
    DynArray<uint8_t> kept;
    DynArray<Packet> packets;
    // Recovery packets of every set seen, sorted out by TakeSet.
    DynArray<Block> found;
    DynArray<Md5Digest> foundSets;
    Md5Digest mainSetId = {};
};
