#include "recovery/Par2Set.h"

#include "app/WideString.h"
#include "recovery/Par2Format.h"
#include "toolkit/Handle.h"

#include <cstring>
#include <new>

namespace {

using namespace par2;

// Reads go through a buffer of this size; the description packets must fit in it whole.
constexpr uint32_t kReadBytes = 1024 * 1024;

enum PacketType { kOther, kMain, kDescription, kChecksums, kRecovery };

uint64_t GetLittle(const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

PacketType TypeOf(const uint8_t* type) {
    if (memcmp(type, kMainType, 16) == 0)
        return kMain;
    if (memcmp(type, kFileDescType, 16) == 0)
        return kDescription;
    if (memcmp(type, kSliceChecksumType, 16) == 0)
        return kChecksums;
    if (memcmp(type, kRecoveryType, 16) == 0)
        return kRecovery;
    return kOther;
}

Md5Digest DigestAt(const uint8_t* at) {
    Md5Digest digest;
    memcpy(digest.bytes, at, 16);
    return digest;
}

// size bytes at offset of a file opened for synchronous reading; false at its end or on an error.
bool ReadAt(HANDLE file, uint64_t offset, void* data, size_t size) {
    uint8_t* out = static_cast<uint8_t*>(data);
    while (size != 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(file, out, chunk, &got, &at))
            return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        out += got;
        offset += got;
        size -= got;
    }
    return true;
}

HANDLE OpenForReading(const wchar_t* path) {
    return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool Append(DynArray<wchar_t>& to, const wchar_t* text, int32_t length) {
    const int32_t at = to.Count();
    if (!to.ResizeUp(at + length + 1))
        return false;
    memcpy(to.Items() + at, text, sizeof(wchar_t) * static_cast<size_t>(length));
    to[at + length] = 0;
    return true;
}

bool EqualNoCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return ::CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

struct BufferOwner {
    uint8_t* bytes;
    ~BufferOwner() { delete[] bytes; }
};

} // namespace

void Par2Set::ClearTaken() {
    sliceSize = 0;
    files.Clear();
    names.Clear();
    slices.Clear();
    blocks.Clear();
}

void Par2Set::Clear() {
    ClearTaken();
    paths.Clear();
    kept.Clear();
    packets.Clear();
    found.Clear();
    foundSets.Clear();
}

bool Par2Set::Load(const wchar_t* wholePath) {
    Clear();
    if (LoadFiles(wholePath))
        return true;
    const DWORD error = ::GetLastError();
    Clear();
    ::SetLastError(error);
    return false;
}

bool Par2Set::LoadFiles(const wchar_t* wholePath) {
    BufferOwner buffer = {new (std::nothrow) uint8_t[kReadBytes]};
    WideString path;
    path.Format(L"%s.par2", wholePath);
    if (!buffer.bytes || !path.Buffer()) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bool any = ::GetFileAttributesW(path.Text()) != INVALID_FILE_ATTRIBUTES;
    if (any && !ScanFile(path.Text(), buffer.bytes))
        return false;

    // The volumes. The whole's name holds no * or ?, so the pattern takes it as it is; what the
    // search finds is checked again, as it matches short names too.
    path.Format(L"%s.vol*.par2", wholePath);
    const wchar_t* name = wholePath;
    for (const wchar_t* c = wholePath; *c; ++c) {
        if (*c == L'\\' || *c == L'/')
            name = c + 1;
    }
    const int folderLength = static_cast<int>(name - wholePath);
    const int nameLength = static_cast<int>(wcslen(name));
    WIN32_FIND_DATAW data;
    FindHandle search(::FindFirstFileW(path.Text(), &data));
    for (bool more = search.IsSet(); more; more = ::FindNextFileW(search.Get(), &data) != 0) {
        const int length = static_cast<int>(wcslen(data.cFileName));
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || length < nameLength + 9 ||
            !EqualNoCase(data.cFileName, nameLength, name, nameLength) ||
            !EqualNoCase(data.cFileName + nameLength, 4, L".vol", 4) ||
            !EqualNoCase(data.cFileName + length - 5, 5, L".par2", 5))
            continue;
        any = true;
        path.Format(L"%.*s%s", folderLength, wholePath, data.cFileName);
        if (!path.Buffer() || !ScanFile(path.Text(), buffer.bytes)) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    if (!any) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Again while the checks of blocks the set leaves unused turn up more packets.
    bool taken = false;
    for (int32_t seen = -1; seen != found.Count() + packets.Count();) {
        seen = found.Count() + packets.Count();
        ClearTaken();
        taken = TakeSet();
        const DWORD error = ::GetLastError();
        if (!taken && error != ERROR_INVALID_DATA)
            return false;
        if (!RecheckUnused(taken, buffer.bytes)) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        ::SetLastError(error);
    }
    kept.Clear();
    packets.Clear();
    found.Clear();
    foundSets.Clear();
    return taken;
}

bool Par2Set::ScanFile(const wchar_t* path, uint8_t* buffer) {
    FileHandle file(OpenForReading(path));
    LARGE_INTEGER size;
    if (!file.IsSet() || !::GetFileSizeEx(file.Get(), &size))
        return true;
    const int32_t pathOffset = paths.Count();
    if (!Append(paths, path, static_cast<int32_t>(wcslen(path))))
        return false;
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    return ScanRange(file.Get(), fileSize, 0, fileSize, pathOffset, buffer);
}

// Takes the packets that start in [at, end).
bool Par2Set::ScanRange(HANDLE file, uint64_t fileSize, uint64_t at, uint64_t end,
                        int32_t pathOffset, uint8_t* buffer) {
    while (at < end && at + kHeaderBytes <= fileSize) {
        uint64_t length = 0;
        if (!TryPacket(file, fileSize, at, pathOffset, buffer, length))
            return false;
        if (length != 0) {
            at += length;
            continue;
        }
        // No intact packet here: on to the next magic.
        for (++at; at < end;) {
            const uint64_t left = fileSize - at;
            const uint32_t n = left < kReadBytes ? static_cast<uint32_t>(left) : kReadBytes;
            if (n < kHeaderBytes || !ReadAt(file, at, buffer, n))
                return true;
            uint32_t hit = 0;
            while (hit + sizeof(kMagic) <= n && memcmp(buffer + hit, kMagic, sizeof(kMagic)) != 0) {
                const void* p = memchr(buffer + hit + 1, 'P', n - hit - 1);
                hit = p ? static_cast<uint32_t>(static_cast<const uint8_t*>(p) - buffer) : n;
            }
            if (hit + sizeof(kMagic) <= n) {
                at += hit;
                break;
            }
            at += n - (sizeof(kMagic) - 1);
        }
    }
    return true;
}

// Whether the packet's MD5 matches its body, read through buffer; a body that fits is left there.
bool Par2Set::BodyMatches(HANDLE file, uint64_t at, const uint8_t* header, uint64_t packetLength,
                          uint8_t* buffer) {
    const uint64_t bodyLength = packetLength - kHeaderBytes;
    Md5 md5;
    md5.Update(header + 32, kHeaderBytes - 32);
    for (uint64_t done = 0; done < bodyLength;) {
        const uint64_t left = bodyLength - done;
        const uint32_t n = left < kReadBytes ? static_cast<uint32_t>(left) : kReadBytes;
        if (!ReadAt(file, at + kHeaderBytes + done, buffer, n))
            return false;
        md5.Update(buffer, n);
        done += n;
    }
    return md5.Finish() == DigestAt(header + 16);
}

// length is the packet's when there is an intact one at `at`, else 0. False only when memory
// runs out.
bool Par2Set::TryPacket(HANDLE file, uint64_t fileSize, uint64_t at, int32_t pathOffset,
                        uint8_t* buffer, uint64_t& length) {
    length = 0;
    uint8_t header[kHeaderBytes];
    if (!ReadAt(file, at, header, kHeaderBytes) || memcmp(header, kMagic, sizeof(kMagic)) != 0)
        return true;
    const uint64_t packetLength = GetLittle(header + 8, 8);
    if (packetLength < kHeaderBytes || packetLength % 4 != 0 || packetLength > fileSize - at)
        return true;
    const PacketType type = TypeOf(header + 48);
    const Md5Digest setId = DigestAt(header + 32);
    uint8_t next[sizeof(kMagic)];
    const uint64_t end = at + packetLength;
    if (type == kRecovery && packetLength >= kHeaderBytes + 4 &&
        (end == fileSize ||
         (ReadAt(file, end, next, sizeof(next)) && memcmp(next, kMagic, sizeof(kMagic)) == 0))) {
        // Its length leads to the next packet, so a damaged body costs no more than this block:
        // the body is checked when the block is read.
        uint8_t exponent[4];
        if (!ReadAt(file, at + kHeaderBytes, exponent, sizeof(exponent)))
            return true;
        length = packetLength;
        const Block block = {static_cast<uint32_t>(GetLittle(exponent, 4)),
                             pathOffset,
                             at,
                             packetLength,
                             DigestAt(header + 16),
                             false};
        return found.Append(block) && foundSets.Append(setId);
    }
    const bool keep = type == kMain || type == kDescription || type == kChecksums;
    const uint64_t bodyLength = packetLength - kHeaderBytes;
    if ((keep && bodyLength > kReadBytes) || !BodyMatches(file, at, header, packetLength, buffer))
        return true;
    length = packetLength;
    if (type == kRecovery) {
        uint8_t exponent[4];
        if (bodyLength < 4 || !ReadAt(file, at + kHeaderBytes, exponent, sizeof(exponent)))
            return true;
        const Block block = {static_cast<uint32_t>(GetLittle(exponent, 4)),
                             pathOffset,
                             at,
                             packetLength,
                             DigestAt(header + 16),
                             true};
        return found.Append(block) && foundSets.Append(setId);
    }
    if (!keep)
        return true;
    const Packet packet = {kept.Count(), static_cast<int32_t>(bodyLength), setId, type};
    // Grown by half again, not to the byte: a set of many files has thousands of these.
    const int32_t need = kept.Count() + packet.length;
    if ((need > kept.Capacity() &&
         !kept.Reserve(need < 0x40000000 ? DynArray<uint8_t>::GrownCapacity(need) : need)) ||
        !kept.ResizeUp(need) || !packets.Append(packet))
        return false;
    memcpy(kept.Items() + packet.at, buffer, static_cast<size_t>(bodyLength));
    return true;
}

// A recovery packet taken unread that the set has no use for may be a damaged one whose length
// led the scan over intact packets: it is checked whole now, and scanned inside when damaged.
// Without a set (setTaken false), every one taken unread is.
bool Par2Set::RecheckUnused(bool setTaken, uint8_t* buffer) {
    const uint64_t blockLength = kHeaderBytes + 4 + uint64_t{sliceSize};
    for (int32_t i = 0; i < found.Count(); ++i) {
        const Block block = found[i]; // found may grow below
        if (block.checked || (setTaken && foundSets[i] == mainSetId && block.length == blockLength))
            continue;
        found[i].checked = true;
        FileHandle file(OpenForReading(paths.Items() + block.pathOffset));
        LARGE_INTEGER size;
        uint8_t header[kHeaderBytes];
        if (!file.IsSet() || !::GetFileSizeEx(file.Get(), &size) ||
            !ReadAt(file.Get(), block.offset, header, kHeaderBytes))
            continue;
        if (BodyMatches(file.Get(), block.offset, header, block.length, buffer))
            continue;
        found[i].length = 0; // which no set takes
        if (!ScanRange(file.Get(), static_cast<uint64_t>(size.QuadPart), block.offset + 1,
                       block.offset + block.length, block.pathOffset, buffer))
            return false;
    }
    return true;
}

int32_t Par2Set::FindId(const uint8_t* id) const {
    for (int32_t i = 0; i < files.Count(); ++i) {
        if (memcmp(files[i].id.bytes, id, 16) == 0)
            return i;
    }
    return -1;
}

bool Par2Set::TakeDescription(const uint8_t* body, uint64_t length) {
    const int32_t file = length >= 56 ? FindId(body) : -1;
    if (file < 0 || files[file].described)
        return true;
    File& entry = files[file];
    entry.hash = DigestAt(body + 16);
    entry.size = GetLittle(body + 48, 8);
    // The name is UTF-8, padded with zeros to whole words.
    const char* text = reinterpret_cast<const char*>(body + 56);
    int bytes = static_cast<int>(length - 56);
    while (bytes > 0 && text[bytes - 1] == 0)
        --bytes;
    const int units = bytes > 0 ? ::MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0) : 0;
    entry.nameOffset = names.Count();
    if (!names.ResizeUp(entry.nameOffset + units + 1))
        return false;
    if (units > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text, bytes, names.Items() + entry.nameOffset, units);
    names[entry.nameOffset + units] = 0;
    entry.described = true;
    return true;
}

bool Par2Set::TakeChecksums(const uint8_t* body, uint64_t length) {
    const int32_t file = length >= 16 ? FindId(body) : -1;
    if (file < 0 || files[file].checksummed ||
        (length - 16) / 20 < static_cast<uint64_t>(files[file].sliceCount))
        return true;
    File& entry = files[file];
    for (int32_t s = 0; s < entry.sliceCount; ++s) {
        Slice& slice = slices[entry.firstSlice + s];
        slice.hash = DigestAt(body + 16 + 20 * s);
        slice.crc = static_cast<uint32_t>(GetLittle(body + 32 + 20 * s, 4));
    }
    entry.checksummed = true;
    return true;
}

// Picks the set of the first intact main packet and takes what belongs to it.
bool Par2Set::TakeSet() {
    const Packet* main = nullptr;
    for (const Packet& packet : packets) {
        const uint8_t* body = kept.Items() + packet.at;
        if (packet.type != kMain || packet.length < 12)
            continue;
        Md5 md5;
        md5.Update(body, static_cast<size_t>(packet.length));
        const uint64_t size = GetLittle(body, 8);
        const uint64_t count = GetLittle(body + 8, 4);
        if (md5.Finish() == packet.setId && size != 0 && size % 4 == 0 && size <= 0xFFFFFFFFu &&
            count != 0 && count <= static_cast<uint64_t>(packet.length - 12) / 16) {
            main = &packet;
            break;
        }
    }
    if (!main) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    mainSetId = main->setId;
    const uint8_t* body = kept.Items() + main->at;
    sliceSize = static_cast<uint32_t>(GetLittle(body, 8));
    const int32_t count = static_cast<int32_t>(GetLittle(body + 8, 4));
    if (!files.Reserve(count))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        File file = {};
        file.id = DigestAt(body + 12 + 16 * i);
        if (FindId(file.id.bytes) >= 0) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        files.Append(file);
    }
    for (const Packet& packet : packets) {
        if (packet.type == kDescription && packet.setId == main->setId &&
            !TakeDescription(kept.Items() + packet.at, static_cast<uint64_t>(packet.length)))
            return false;
    }
    int32_t total = 0;
    for (File& file : files) {
        const uint64_t sliceCount = file.size / sliceSize + (file.size % sliceSize != 0);
        if (!file.described || sliceCount > static_cast<uint64_t>(kMaxSlices - total)) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        file.firstSlice = total;
        file.sliceCount = static_cast<int32_t>(sliceCount);
        total += file.sliceCount;
    }
    if (total > 0 && !slices.ResizeUp(total))
        return false;
    for (const Packet& packet : packets) {
        if (packet.type == kChecksums && packet.setId == main->setId)
            TakeChecksums(kept.Items() + packet.at, static_cast<uint64_t>(packet.length));
    }
    for (const File& file : files) {
        if (!file.checksummed && file.sliceCount > 0) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
    }
    // The blocks of this set that have the right size, in rising order of exponent. Copies of a
    // block are all kept, as some may be damaged.
    for (int32_t i = 0; i < found.Count(); ++i) {
        const Block& block = found[i];
        if (foundSets[i] != main->setId || block.length != kHeaderBytes + 4 + uint64_t{sliceSize})
            continue;
        int32_t at = blocks.Count();
        while (at > 0 && blocks[at - 1].exponent > block.exponent)
            --at;
        if (!blocks.Append(block))
            return false;
        for (int32_t j = blocks.Count() - 1; j > at; --j)
            blocks[j] = blocks[j - 1];
        blocks[at] = block;
    }
    return true;
}

int32_t Par2Set::FindFile(const wchar_t* name) const {
    for (int32_t i = 0; i < files.Count(); ++i) {
        if (EqualNoCase(name, -1, FileName(i), -1))
            return i;
    }
    return -1;
}

bool Par2Set::ReadRecoveryPiece(int32_t index, uint32_t offset, uint8_t* data, uint32_t length,
                                Md5& md5) const {
    const Block& block = blocks[index];
    FileHandle file(OpenForReading(paths.Items() + block.pathOffset));
    if (!file.IsSet())
        return false;
    if (offset == 0) {
        uint8_t header[kHeaderBytes + 4];
        if (!ReadAt(file.Get(), block.offset, header, sizeof(header)))
            return false;
        if (memcmp(header, kMagic, sizeof(kMagic)) != 0 ||
            GetLittle(header + 8, 8) != block.length || DigestAt(header + 16) != block.hash ||
            GetLittle(header + kHeaderBytes, 4) != block.exponent) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        md5.Reset();
        md5.Update(header + 32, sizeof(header) - 32);
    }
    if (!ReadAt(file.Get(), block.offset + kHeaderBytes + 4 + offset, data, length))
        return false;
    md5.Update(data, length);
    if (offset + length == sliceSize && md5.Finish() != block.hash) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}
