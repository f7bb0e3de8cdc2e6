#include "recovery/Par2PacketScan.h"

#include "recovery/Par2Format.h"

#include <cstring>
#include <new>

namespace {

using namespace par2;

// A packet's header and a recovery packet's exponent after it: what the pass looks at where the
// magic is. Packets shorter than this are of no use.
constexpr uint32_t kLeadBytes = kHeaderBytes + RecoveryBody::kDataAt;

bool IsEmpty(const Md5Digest& digest) {
    for (uint8_t byte : digest.bytes) {
        if (byte != 0)
            return false;
    }
    return true;
}

// The slot of a digest in a table of `size` slots, a power of two.
int32_t SlotOf(const Md5Digest& digest, int32_t size) {
    return static_cast<int32_t>((GetLe(digest.bytes, 8) * 0x9E3779B97F4A7C15u) >> 32) & (size - 1);
}

} // namespace

bool Par2PacketScan::Start(const wchar_t* path, int32_t number, uint64_t from, uint64_t to,
                           bool mayJump) {
    if (!window && windowMemory.Allocate(kWindowBytes))
        window = windowMemory.Get();
    if (!probe && probeMemory.Allocate(kProbeBytes))
        probe = probeMemory.Get();
    if (!window || !probe) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    DropOpen();
    probed = 0;
    if (number != fileNumber) {
        fileNumber = number;
        fileSize = 0;
        uint64_t size = 0;
        if (file.OpenForReading(path, FILE_FLAG_SEQUENTIAL_SCAN) && file.Size(size))
            fileSize = size;
    }
    position = from;
    end = to < fileSize ? to : fileSize;
    jump = mayJump;
    if (position > end)
        position = end;
    return true;
}

bool Par2PacketScan::Read(uint64_t offset, uint8_t* data, uint32_t size) {
    ++cost.reads;
    if (!file.ReadAt(offset, data, size))
        return false;
    cost.bytesRead += size;
    return true;
}

bool Par2PacketScan::Finish(bool& done) {
    DropOpen();
    position = end;
    done = true;
    return true;
}

bool Par2PacketScan::Step(bool& done) {
    done = false;
    if (end - position < kLeadBytes)
        return Finish(done);
    windowStart = position;
    uint32_t length = probed;
    if (length != 0) {
        memcpy(window, probe, length);
        probed = 0;
    } else {
        const uint64_t left = end - position;
        length = left < kWindowBytes ? static_cast<uint32_t>(left) : kWindowBytes;
        if (!Read(position, window, length))
            return Finish(done);
    }
    const uint64_t windowEnd = windowStart + length;
    // Where a packet's lead fits in the window; the next window starts after the last such place.
    const uint32_t last = length - kLeadBytes;
    bool tried = false;
    for (uint32_t i = 0; i <= last;) {
        const void* hit = memchr(window + i, kMagic[0], last + 1 - i);
        if (!hit)
            break;
        i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - window);
        if (!Holds(window + i, Header::kMagic, kMagic)) {
            ++i;
            continue;
        }
        bool jumped = false;
        if (!TakeMagic(window + i, windowStart + i, windowEnd, tried, jumped))
            return false;
        if (jumped)
            return true;
        ++i;
    }
    if (!CloseEnded(windowEnd))
        return false;
    for (Open& packet : open) {
        if (packet.used && !Feed(packet, windowEnd))
            return false;
    }
    position = windowEnd == end ? end : windowEnd - (kLeadBytes - 1);
    return true;
}

// The magic at `at`, its header and lead in the window. A recovery packet that runs past
// windowEnd is jumped over when a packet or the file's end follows it; one try a window (tried),
// so that a window full of lying lengths costs one read more.
bool Par2PacketScan::TakeMagic(const uint8_t* header, uint64_t at, uint64_t windowEnd, bool& tried,
                               bool& jumped) {
    jumped = false;
    if (!CloseEnded(at))
        return false;
    const uint64_t length = Get(header, Header::kLength);
    if (length < kLeadBytes || length % kPacketAlign != 0 || length > end - at)
        return true;
    const uint64_t body = length - kHeaderBytes;
    if (Holds(header, Header::kType, kRecoveryType)) {
        if (blocks.Count() >= kMaxBlocks)
            return true;
        const Block block = {
            static_cast<uint32_t>(Get(header + kHeaderBytes, RecoveryBody::kExponent)),
            fileNumber,
            at,
            length,
            GetDigest(header, Header::kHash),
            GetDigest(header, Header::kSetId),
            false,
            false};
        if (!blocks.Append(block))
            return false;
        if (jump && !tried && at + length > windowEnd) {
            tried = true;
            jumped = TryJump(at + length);
            blocks[blocks.Count() - 1].jumped = jumped;
        }
        return true;
    }
    if (Holds(header, Header::kType, kMainType) && body <= kMaxMainBody)
        return OpenPacket(header, at, at + length, Type::Main);
    if (Holds(header, Header::kType, kFileDescType) && body <= kMaxDescriptionBody)
        return OpenPacket(header, at, at + length, Type::Description);
    if (Holds(header, Header::kType, kSliceChecksumType) && body <= kMaxChecksumsBody)
        return OpenPacket(header, at, at + length, Type::Checksums);
    return true;
}

// Whether a packet or the file's end starts at packetEnd; if so the pass goes on from there.
bool Par2PacketScan::TryJump(uint64_t packetEnd) {
    const uint64_t left = end - packetEnd;
    const uint32_t length = left < kProbeBytes ? static_cast<uint32_t>(left) : kProbeBytes;
    if (left != 0 && (length < Header::kMagic.End() || !Read(packetEnd, probe, length) ||
                      !Holds(probe, Header::kMagic, kMagic)))
        return false;
    DropOpen();
    position = packetEnd;
    probed = left != 0 ? length : 0;
    return true;
}

bool Par2PacketScan::OpenPacket(const uint8_t* header, uint64_t at, uint64_t packetEnd, Type type) {
    const Md5Digest hash = GetDigest(header, Header::kHash);
    if (Seen(hash))
        return true;
    // A free slot, else the one that reaches farthest, if farther than this packet does.
    Open* slot = nullptr;
    for (Open& packet : open) {
        if (!packet.used) {
            slot = &packet;
            break;
        }
        if (packet.end > packetEnd && (!slot || packet.end > slot->end))
            slot = &packet;
    }
    if (!slot)
        return true;
    if (!slot->body.Reserve(static_cast<int32_t>(packetEnd - at - kHeaderBytes)))
        return false;
    slot->body.Clear();
    slot->at = at;
    slot->end = packetEnd;
    slot->hashedTo = at + kHeaderBytes;
    slot->md5.Reset();
    slot->md5.Update(header + Header::kHashedFrom, kHeaderBytes - Header::kHashedFrom);
    cost.bytesHashed += kHeaderBytes - Header::kHashedFrom;
    slot->hash = hash;
    slot->setId = GetDigest(header, Header::kSetId);
    slot->type = type;
    slot->used = true;
    return true;
}

// Hashes and keeps the packet's bytes up to `to`, which the window holds from where it stands.
bool Par2PacketScan::Feed(Open& packet, uint64_t to) {
    if (to <= packet.hashedTo)
        return true;
    const uint8_t* data = window + (packet.hashedTo - windowStart);
    const uint32_t length = static_cast<uint32_t>(to - packet.hashedTo);
    packet.md5.Update(data, length);
    cost.bytesHashed += length;
    const int32_t at = packet.body.Count();
    if (!packet.body.ResizeUp(at + static_cast<int32_t>(length)))
        return false;
    memcpy(packet.body.Items() + at, data, length);
    packet.hashedTo = to;
    return true;
}

// Checks the packets that end by `before` and keeps the intact ones.
bool Par2PacketScan::CloseEnded(uint64_t before) {
    for (Open& packet : open) {
        if (!packet.used || packet.end > before)
            continue;
        packet.used = false;
        if (!Feed(packet, packet.end) || !Keep(packet))
            return false;
    }
    return true;
}

bool Par2PacketScan::Keep(Open& packet) {
    if (packet.md5.Finish() != packet.hash || Seen(packet.hash))
        return true;
    const int32_t length = packet.body.Count();
    if (packet.type == Type::Main) {
        // The set's ID is the MD5 of its main packet's body: a main packet that is not its set's
        // own names no set.
        Md5 md5;
        md5.Update(packet.body.Items(), static_cast<size_t>(length));
        cost.bytesHashed += static_cast<uint32_t>(length);
        if (md5.Finish() != packet.setId)
            return true;
    }
    if (packets.Count() >= kMaxKeptPackets ||
        static_cast<uint64_t>(kept.Count()) + static_cast<uint32_t>(length) > kMaxKeptBytes)
        return true;
    const int32_t at = kept.Count();
    if (!kept.ResizeUp(at + length) || !packets.Append({at, length, packet.setId, packet.type}) ||
        !AddSeen(packet.hash))
        return false;
    memcpy(kept.Items() + at, packet.body.Items(), static_cast<size_t>(length));
    cost.bytesKept += static_cast<uint32_t>(length);
    return true;
}

bool Par2PacketScan::Seen(const Md5Digest& hash) const {
    if (seen.Count() == 0)
        return false;
    for (int32_t slot = SlotOf(hash, seen.Count());; slot = (slot + 1) & (seen.Count() - 1)) {
        if (seen[slot] == hash)
            return true;
        if (IsEmpty(seen[slot]))
            return false;
    }
}

// The table is kept at most half full, so that a search ends soon; it starts small, as touching
// fresh memory is what a small set's loading costs most.
bool Par2PacketScan::AddSeen(const Md5Digest& hash) {
    if (2 * (seenCount + 1) > seen.Count()) {
        const int32_t oldSize = seen.Count();
        DynArray<Md5Digest> old;
        if (oldSize > 0 && !old.ResizeUp(oldSize))
            return false;
        if (oldSize > 0)
            memcpy(static_cast<void*>(old.Items()), seen.Items(), sizeof(Md5Digest) * oldSize);
        const int32_t size = oldSize > 0 ? 2 * oldSize : 256;
        if (!seen.ResizeUp(size))
            return false;
        memset(static_cast<void*>(seen.Items()), 0, sizeof(Md5Digest) * size);
        seenCount = 0;
        for (int32_t i = 0; i < oldSize; ++i) {
            if (!IsEmpty(old[i]) && !AddSeen(old[i]))
                return false;
        }
    }
    int32_t slot = SlotOf(hash, seen.Count());
    while (!IsEmpty(seen[slot]))
        slot = (slot + 1) & (seen.Count() - 1);
    seen[slot] = hash;
    ++seenCount;
    return true;
}

void Par2PacketScan::DropOpen() {
    for (Open& packet : open)
        packet.used = false;
}
