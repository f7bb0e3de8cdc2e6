#pragma once

#include "app/DynArray.h"
#include "recovery/Md5.h"
#include "recovery/Par2Format.h"
#include "toolkit/SyncFile.h"
#include "toolkit/PageMemory.h"

#include <windows.h>

#include <cstdint>

// Finds the packets in the files of a PAR 2.0 set, one forward pass over each file, a window of
// it a step. The packets that describe the set (main, file descriptions, slice checksums) are
// kept once their MD5 is checked, each copy once; recovery packets are noted on their header
// alone, as the repair checks every block it reads.
//
// A hostile file costs no more than its bytes: a packet to keep is hashed while the pass goes
// over it, alongside at most kOpenMost others that overlap it, so no packet is hashed twice and no
// byte more than kOpenMost times; junk is only looked through for the magic. A recovery packet
// that runs past the window is jumped over when another packet or the file's end starts where it
// ends, so that volumes are not read through. A damaged length may have led such a jump over
// intact packets: a pass over the jumped range that does not jump (Start with jump false) finds
// them.
class Par2PacketScan {
public:
    static constexpr int32_t kMaxSlices = par2::kMaxSlices;
    // A file for each slice at most.
    static constexpr int32_t kMaxFiles = par2::kMaxSlices;
    // A name of 255 UTF-16 units, as long as a name in a Windows folder can be, in UTF-8.
    static constexpr uint32_t kMaxNameBytes = 255 * 3;
    // The main packet lists the files it can rebuild, and may list as many it can't.
    static constexpr uint32_t kMaxMainBody = par2::MainBody::Bytes(2 * kMaxFiles);
    static constexpr uint32_t kMaxDescriptionBody = par2::DescriptionBody::Bytes(kMaxNameBytes);
    static constexpr uint32_t kMaxChecksumsBody = par2::ChecksumsBody::Bytes(kMaxSlices);
    // What the largest set needs kept: one main packet, and a description and checksums for
    // each file. Packets beyond that are passed over.
    static constexpr uint32_t kMaxKeptBytes =
        kMaxMainBody + kMaxFiles * (kMaxDescriptionBody + par2::ChecksumsBody::kEntry.at) +
        par2::ChecksumsBody::kEntry.bytes * kMaxSlices;
    static constexpr int32_t kMaxKeptPackets = 2 * kMaxFiles + 64;
    static constexpr int32_t kMaxBlocks = 2 * kMaxSlices;
    // Packets to keep hashed at once.
    static constexpr int32_t kOpenMost = 4;
    static constexpr uint32_t kWindowBytes = 1024 * 1024;
    // Read after a jump: a volume's blocks cost this much each.
    static constexpr uint32_t kProbeBytes = 16 * 1024;

    enum class Type : uint8_t { Main, Description, Checksums };
    // A kept packet: its body is Kept() + at.
    struct Packet {
        int32_t at;
        int32_t length;
        Md5Digest setId;
        Type type;
    };
    struct Block {
        uint32_t exponent;
        int32_t file;    // the caller's number of its file
        uint64_t offset; // of its packet in that file
        uint64_t length; // of the packet
        Md5Digest hash;  // of the packet, from its header
        Md5Digest setId;
        bool jumped;    // the pass went over its body unread
        bool rescanned; // and has been back
    };
    // The work done, for tests and benchmarks.
    struct Cost {
        uint64_t bytesRead;
        uint64_t bytesHashed;
        uint64_t bytesKept;
        int32_t reads;
    };

    Par2PacketScan() = default;
    Par2PacketScan(const Par2PacketScan&) = delete;
    Par2PacketScan& operator=(const Par2PacketScan&) = delete;

    // Starts a pass over the packets that start in [from, end) of the file and end by end (at most
    // its size); the file is opened unless it is the last one's. False when memory runs out; a
    // file that can't be opened is a pass with nothing in it.
    bool Start(const wchar_t* path, int32_t file, uint64_t from, uint64_t end, bool jump);
    // A window of the pass: false when memory runs out; done once the pass is through.
    bool Step(bool& done);
    // Where the pass stands: from Start's from to its end.
    uint64_t Position() const { return position; }

    const DynArray<Packet>& Packets() const { return packets; }
    const uint8_t* Kept() const { return kept.Items(); }
    const DynArray<Block>& Blocks() const { return blocks; }
    void SetRescanned(int32_t block) { blocks[block].rescanned = true; }
    const Cost& Work() const { return cost; }

private:
    // A packet to keep whose bytes are being hashed: at is where it starts, end where it ends.
    struct Open {
        uint64_t at;
        uint64_t end;
        uint64_t hashedTo;
        Md5 md5;
        Md5Digest hash;
        Md5Digest setId;
        Type type;
        bool used;
        DynArray<uint8_t> body;
    };

    bool Read(uint64_t offset, uint8_t* data, uint32_t size);
    bool Finish(bool& done);
    bool TakeMagic(const uint8_t* header, uint64_t at, uint64_t windowEnd, bool& tried,
                   bool& jumped);
    bool TryJump(uint64_t packetEnd);
    bool OpenPacket(const uint8_t* header, uint64_t at, uint64_t packetEnd, Type type);
    bool Feed(Open& packet, uint64_t to);
    bool CloseEnded(uint64_t before);
    bool Keep(Open& packet);
    bool Seen(const Md5Digest& hash) const;
    bool AddSeen(const Md5Digest& hash);
    void DropOpen();

    SyncFile file;
    int32_t fileNumber = -1;
    uint64_t fileSize = 0;
    uint64_t position = 0;
    uint64_t end = 0;
    bool jump = false;
    PageMemory windowMemory;
    PageMemory probeMemory;
    uint8_t* window = nullptr; // kWindowBytes of windowMemory
    uint8_t* probe = nullptr;  // kProbeBytes of probeMemory
    uint64_t windowStart = 0;
    uint32_t probed = 0; // bytes the last jump read at its end, which are the next window
    Open open[kOpenMost];

    DynArray<uint8_t> kept;
    DynArray<Packet> packets;
    DynArray<Block> blocks;
    DynArray<Md5Digest> seen; // the kept packets' MD5s, a table by their first bytes
    int32_t seenCount = 0;
    Cost cost = {};
};
