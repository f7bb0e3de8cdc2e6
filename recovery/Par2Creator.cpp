#include "recovery/Par2Creator.h"

#include "app/WideString.h"
#include "recovery/Crc32.h"
#include "recovery/Galois16.h"
#include "recovery/InCachePieces.h"
#include "recovery/Par2Format.h"
#include "toolkit/BringInPages.h"
#include "toolkit/WriteFully.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace par2;

constexpr char kCreatorText[] = "Created by Brindlecot";

// IDs are ordered as 16-byte little-endian numbers: the last byte weighs most.
bool IdLess(const Md5Digest& a, const Md5Digest& b) {
    for (int i = 15; i >= 0; --i) {
        if (a.bytes[i] != b.bytes[i])
            return a.bytes[i] < b.bytes[i];
    }
    return false;
}

// Room for n more bytes at the end of out, zeroed; null when there is none.
uint8_t* Extend(DynArray<uint8_t>& out, uint64_t n) {
    const int32_t at = out.Count();
    if (static_cast<uint64_t>(at) + n > 0x7FFFFFFFu) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!out.ResizeUp(at + static_cast<int32_t>(n)))
        return nullptr;
    memset(out.Items() + at, 0, static_cast<size_t>(n));
    return out.Items() + at;
}

// A packet of the given type and body size at the end of out: the header is filled in by
// Seal once the body is written behind it.
uint8_t* BeginPacket(DynArray<uint8_t>& out, uint64_t bodyBytes, int32_t& start) {
    start = out.Count();
    uint8_t* packet = Extend(out, kHeaderBytes + bodyBytes);
    return packet ? packet + kHeaderBytes : nullptr;
}

void FillHeader(uint8_t* header, uint64_t length, const Md5Digest& setId, const uint8_t* type) {
    PutBytes(header, Header::kMagic, kMagic);
    Put(header, Header::kLength, length);
    PutBytes(header, Header::kSetId, setId.bytes);
    PutBytes(header, Header::kType, type);
}

void Seal(DynArray<uint8_t>& out, int32_t start, const Md5Digest& setId, const uint8_t* type) {
    uint8_t* header = out.Items() + start;
    const uint32_t length = static_cast<uint32_t>(out.Count() - start);
    FillHeader(header, length, setId, type);
    Md5 md5;
    md5.Update(header + Header::kHashedFrom, length - Header::kHashedFrom);
    PutBytes(header, Header::kHash, md5.Finish().bytes);
}

int Digits(uint32_t n) {
    int digits = 1;
    for (; n >= 10; n /= 10)
        ++digits;
    return digits;
}

// Volume v (from 0) holds the blocks from 2^v - 1 on, 2^v of them, the last one what is left:
// as par2 itself lays them out.
int32_t VolumeFirst(int32_t v) {
    return (1 << v) - 1;
}
int32_t VolumeCount(int32_t v, int32_t total) {
    const int32_t left = total - VolumeFirst(v);
    return left < (1 << v) ? left : (1 << v);
}

// File j of the set: 0 the index file, v + 1 volume v.
void SetFileName(WideString& name, const wchar_t* basePath, int32_t j, int32_t total) {
    if (j == 0) {
        name.Format(L"%s.par2", basePath);
        return;
    }
    int32_t largest = 0;
    for (int32_t v = 0; VolumeFirst(v) < total; ++v) {
        if (VolumeCount(v, total) > largest)
            largest = VolumeCount(v, total);
    }
    name.Format(L"%s.vol%0*d+%0*d.par2", basePath, Digits(static_cast<uint32_t>(total)),
                VolumeFirst(j - 1), Digits(static_cast<uint32_t>(largest)),
                VolumeCount(j - 1, total));
}

} // namespace

Par2Creator::~Par2Creator() {
    Clear();
}

void Par2Creator::Clear() {
    recovery.Release();
    files.Clear();
    names.Clear();
    order.Clear();
    checksums.Clear();
    constantLogs.Clear();
    critical.Clear();
    finishing = false;
    described = false;
    layout = Layout{};
    for (Hashing& h : hashing) {
        h.fileHash.Reset();
        h.headHash.Reset();
        h.sliceHash.Reset();
        h.sliceCrc.Reset();
        h.md5Padding.pending = false;
        h.crcPadding.pending = false;
    }
    for (Carry& carry : carries)
        carry = Carry{};
    placed = false;
    broken = true;
}

bool Par2Creator::Fail(DWORD error) {
    broken = true;
    ::SetLastError(error);
    return false;
}

bool Par2Creator::Start(const wchar_t* const* fileNames, const uint64_t* sizes, int32_t fileCount,
                        uint32_t size, int32_t blocks) {
    Clear();
    if (fileCount <= 0 || size == 0 || size % 4 != 0 || blocks < 0 || blocks > kMaxRecoveryBlocks)
        return Fail(ERROR_INVALID_PARAMETER);
    sliceSize = size;
    recoveryCount = blocks;
    if (!files.Reserve(fileCount) || !order.Reserve(fileCount))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    int32_t totalSlices = 0;
    for (int32_t i = 0; i < fileCount; ++i) {
        const wchar_t* name = fileNames[i];
        if (sizes[i] == 0 || !name[0] || wcschr(name, L'\\') || wcschr(name, L'/'))
            return Fail(ERROR_INVALID_PARAMETER);
        const uint64_t count = (sizes[i] + sliceSize - 1) / sliceSize;
        if (count > static_cast<uint64_t>(kMaxSlices - totalSlices))
            return Fail(ERROR_INVALID_PARAMETER);
        const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, nullptr, 0,
                                                nullptr, nullptr);
        if (bytes <= 1)
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        File file = {};
        file.nameOffset = static_cast<uint32_t>(names.Count());
        file.nameLength = static_cast<uint32_t>(bytes - 1);
        file.size = sizes[i];
        file.firstSlice = totalSlices;
        file.sliceCount = static_cast<int32_t>(count);
        if (!names.ResizeUp(names.Count() + bytes))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1,
                              names.Items() + file.nameOffset, bytes, nullptr, nullptr);
        files.Append(file);
        totalSlices += file.sliceCount;
    }
    if (!checksums.ResizeUp(totalSlices) || !constantLogs.ResizeUp(totalSlices))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    uint32_t exponent = 0;
    for (int32_t k = 0; k < totalSlices; ++k) {
        exponent = Galois16::NextFullOrderExponent(exponent);
        constantLogs[k] = static_cast<uint16_t>(exponent);
    }
    const uint64_t recoveryBytes = static_cast<uint64_t>(recoveryCount) * sliceSize;
    if (recoveryBytes > SIZE_MAX / 2)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    // Zeroed by the system as first touched: hundreds of megabytes are not cleared up front,
    // within the Split command.
    if (recoveryCount > 0 && !recovery.Allocate(static_cast<size_t>(recoveryBytes)))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    broken = false;
    return true;
}

bool Par2Creator::SetFileHead(int32_t index, const void* head, size_t size) {
    if (broken || placed || index < 0 || index >= files.Count())
        return Fail(ERROR_INVALID_PARAMETER);
    File& file = files[index];
    if (size != (file.size < kHeadBytes ? file.size : kHeadBytes))
        return Fail(ERROR_INVALID_PARAMETER);
    Md5 md5;
    md5.Update(head, size);
    file.head = md5.Finish();
    // The ID hashes the head's hash, the length and the name.
    uint8_t length[DescriptionBody::kFileSize.bytes];
    PutLe(length, file.size, sizeof length);
    md5.Update(file.head.bytes, sizeof file.head.bytes);
    md5.Update(length, sizeof length);
    md5.Update(names.Items() + file.nameOffset, file.nameLength);
    file.id = md5.Finish();
    file.headSet = true;
    return true;
}

bool Par2Creator::PlaceFiles() {
    for (int32_t i = 0; i < files.Count(); ++i) {
        if (!files[i].headSet)
            return Fail(ERROR_INVALID_FUNCTION);
        order.Append(i); // reserved for every file
    }
    std::sort(order.begin(), order.end(),
              [this](int32_t a, int32_t b) { return IdLess(files[a].id, files[b].id); });
    for (int32_t k = 1; k < order.Count(); ++k) {
        if (files[order[k - 1]].id == files[order[k]].id)
            return Fail(ERROR_DUP_NAME);
    }
    int32_t constant = 0;
    for (int32_t i : order) {
        files[i].firstConstant = constant;
        constant += files[i].sliceCount;
    }
    placed = true;
    return true;
}

namespace {

// Zeros to pad a slice's hashes with.
const uint8_t kZeros[64 * 1024] = {};

template <class Hash> void AddZeros(Hash& hash, uint64_t count) {
    while (count != 0) {
        const size_t n = count < sizeof kZeros ? static_cast<size_t>(count) : sizeof kZeros;
        hash.Update(kZeros, n);
        count -= n;
    }
}

} // namespace

void Par2Creator::AddToBlocks(const uint8_t* data, size_t size, uint32_t offset, uint32_t log,
                              int32_t first, int32_t end) {
    // Block e adds this slice times its constant to the power e: 2^(log * e).
    for (int32_t e = first; e < end; ++e) {
        Galois16::MultiplyAdd(Galois16::PowerOfTwo(log * static_cast<uint32_t>(e)), data,
                              recovery.Get() + static_cast<size_t>(e) * sliceSize + offset, size);
    }
}

bool Par2Creator::PlanData(size_t size, DynArray<Run>& runs) {
    if (broken)
        return Fail(ERROR_INVALID_FUNCTION);
    if (!placed && !PlaceFiles())
        return false;
    uint32_t at = 0;
    while (size != 0) {
        if (layout.file == files.Count())
            return Fail(ERROR_INVALID_PARAMETER); // more bytes than the sizes said
        const File& file = files[layout.file];
        uint64_t take = file.size - layout.doneInFile;
        if (take > sliceSize - layout.filled)
            take = sliceSize - layout.filled;
        if (take > size)
            take = size;
        Run run = {};
        run.fileOffset = layout.doneInFile;
        run.at = at;
        run.size = static_cast<uint32_t>(take);
        run.sliceOffset = layout.filled;
        run.file = layout.file;
        run.slice = layout.slice;
        layout.doneInFile += take;
        layout.filled += run.size;
        run.endsFile = layout.doneInFile == file.size;
        run.endsSlice = layout.filled == sliceSize || run.endsFile;
        if (!runs.Append(run))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        if (run.endsSlice) {
            ++layout.slice;
            layout.filled = 0;
        }
        if (run.endsFile) {
            ++layout.file;
            layout.doneInFile = 0;
        }
        at += run.size;
        size -= run.size;
    }
    return true;
}

bool Par2Creator::HashRuns(const uint8_t* data, const Run* runs, int32_t count, int32_t lane,
                           int32_t lanes) {
    Hashing& h = hashing[lane];
    for (int32_t r = 0; r < count; ++r) {
        const Run& run = runs[r];
        if (run.file % lanes != lane)
            continue;
        const File& file = files[run.file];
        const uint8_t* in = data + run.at;
        if (run.fileOffset < kHeadBytes) {
            const uint64_t headLeft = kHeadBytes - run.fileOffset;
            h.headHash.Update(in, static_cast<size_t>(run.size < headLeft ? run.size : headLeft));
        }
        // A file of one slice has its slice's MD5.
        const bool sliceMd5 = file.sliceCount != 1;
        InCachePieces(in, run.size, [&](const uint8_t* piece, size_t size) {
            if (sliceMd5)
                Md5::UpdateBoth(h.fileHash, h.sliceHash, piece, size);
            else
                h.fileHash.Update(piece, size);
            h.sliceCrc.Update(piece, size);
        });
        if (run.endsSlice)
            FinishSliceHashes(h, run);
        if (run.endsFile && !FinishFileHashes(h, run.file))
            return false;
    }
    return true;
}

void Par2Creator::AddRunsToBlocks(const uint8_t* data, const Run* runs, int32_t count, int32_t lane,
                                  int32_t lanes) {
    const int32_t first = static_cast<int32_t>(static_cast<int64_t>(recoveryCount) * lane / lanes);
    const int32_t end =
        static_cast<int32_t>(static_cast<int64_t>(recoveryCount) * (lane + 1) / lanes);
    if (first == end)
        return;
    // The blocks take whole 16-bit words: a byte left over waits for the next. Each lane keeps
    // its own, as it goes through the same bytes for its own blocks.
    Carry& carry = carries[lane];
    for (int32_t r = 0; r < count; ++r) {
        const Run& run = runs[r];
        const File& file = files[run.file];
        const uint32_t log = constantLogs[file.firstConstant + (run.slice - file.firstSlice)];
        const uint8_t* in = data + run.at;
        size_t n = run.size;
        uint32_t offset = run.sliceOffset;
        if (offset + n > carry.broughtIn)
            BringInBlocks(lane, first, end, offset + n);
        if (carry.set && n != 0) {
            const uint8_t word[2] = {carry.byte, in[0]};
            AddToBlocks(word, 2, offset - 1, log, first, end);
            carry.set = false;
            ++in;
            --n;
            ++offset;
        }
        const size_t even = n & ~size_t{1};
        AddToBlocks(in, even, offset, log, first, end);
        if (even != n) {
            carry.byte = in[even];
            carry.set = true;
        }
        if (run.endsSlice && carry.set) {
            // The padding's zero makes the word's high byte.
            const uint8_t word[2] = {carry.byte, 0};
            AddToBlocks(word, 2, run.sliceOffset + run.size - 1, log, first, end);
            carry.set = false;
        }
    }
}

void Par2Creator::BringInBlocks(int32_t lane, int32_t first, int32_t end, uint64_t offset) {
    // A step of several megabytes at once, as the first slice goes through.
    constexpr uint64_t kStep = 16 << 20;
    Carry& carry = carries[lane];
    uint64_t to = (offset + kStep - 1) / kStep * kStep;
    to = to < sliceSize ? to : sliceSize;
    for (int32_t e = first; e < end; ++e) {
        uint8_t* from = recovery.Get() + static_cast<size_t>(e) * sliceSize + carry.broughtIn;
        const size_t bytes = static_cast<size_t>(to - carry.broughtIn);
        BringInPages(from, bytes);
    }
    carry.broughtIn = to;
}

template <class Hash>
bool Par2Creator::Padding<Hash>::Start(const Hash& from, uint64_t bytes, int32_t ofSlice) {
    hash = from;
    left = bytes;
    slice = ofSlice;
    pending = true;
    // A long padding, such as a short last part's, is hashed with the last hashes.
    return left <= kLongPadding;
}

template <class Hash> bool Par2Creator::Padding<Hash>::Go(uint64_t most) {
    const uint64_t n = most < left ? most : left;
    AddZeros(hash, n);
    left -= n;
    if (left != 0)
        return false;
    pending = false;
    return true;
}

void Par2Creator::FinishSliceHashes(Hashing& h, const Run& last) {
    const uint64_t padBytes = sliceSize - (last.sliceOffset + last.size);
    if (h.md5Padding.pending)
        Pad(h.md5Padding, h.md5Padding.left);
    // A file of one slice has hashed the slice's bytes already, as the file's: the slice's hash
    // goes on from there, rather than over every byte again.
    const Md5& from = files[last.file].sliceCount == 1 ? h.fileHash : h.sliceHash;
    if (h.md5Padding.Start(from, padBytes, last.slice))
        Pad(h.md5Padding, padBytes);
    h.sliceHash.Reset();
    if (h.crcPadding.pending)
        Pad(h.crcPadding, h.crcPadding.left);
    if (h.crcPadding.Start(h.sliceCrc, padBytes, last.slice))
        Pad(h.crcPadding, padBytes);
    h.sliceCrc.Reset();
}

void Par2Creator::Pad(Padding<Md5>& padding, uint64_t most) {
    if (padding.Go(most))
        checksums[padding.slice].hash = padding.hash.Finish();
}

void Par2Creator::Pad(Padding<Crc32>& padding, uint64_t most) {
    if (padding.Go(most))
        checksums[padding.slice].crc = padding.hash.Value();
}

bool Par2Creator::FinishFileHashes(Hashing& h, int32_t index) {
    File& file = files[index];
    file.hash = h.fileHash.Finish();
    if (h.headHash.Finish() != file.head) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

bool Par2Creator::AddData(const void* data, size_t size) {
    DynArray<Run> runs;
    const auto* in = static_cast<const uint8_t*>(data);
    if (!PlanData(size, runs))
        return false;
    if (!HashRuns(in, runs.Items(), runs.Count(), 0, 1))
        return Fail(::GetLastError());
    AddRunsToBlocks(in, runs.Items(), runs.Count(), 0, 1);
    return true;
}

void Par2Creator::FillMainBody(uint8_t* body) const {
    Put(body, MainBody::kSliceSize, sliceSize);
    Put(body, MainBody::kFileCount, static_cast<uint32_t>(files.Count()));
    for (int32_t i = 0; i < files.Count(); ++i)
        PutBytes(body, MainBody::kFileId.Nth(i), files[order[i]].id.bytes);
}

bool Par2Creator::PrepareFinish() {
    if (broken || !placed || layout.file != files.Count())
        return Fail(ERROR_INVALID_FUNCTION);
    // The set ID heads every recovery packet: it hashes the main packet's body, which the file
    // IDs make up.
    DynArray<uint8_t> body;
    const uint64_t bytes = MainBody::Bytes(files.Count());
    if (!body.ResizeUp(static_cast<int32_t>(bytes)))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    memset(body.Items(), 0, static_cast<size_t>(bytes));
    FillMainBody(body.Items());
    Md5 md5;
    md5.Update(body.Items(), static_cast<size_t>(bytes));
    setId = md5.Finish();
    finishing = true;
    return true;
}

void Par2Creator::FinishHashes(int32_t lane, int32_t lanes) {
    for (int32_t k = lane; k < kMostLanes; k += lanes) {
        Hashing& h = hashing[k];
        if (h.md5Padding.pending)
            Pad(h.md5Padding, h.md5Padding.left);
        if (h.crcPadding.pending)
            Pad(h.crcPadding, h.crcPadding.left);
    }
}

bool Par2Creator::HashesFinished() {
    critical.Clear();
    if (!BuildCriticalPackets(critical))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    described = true;
    return true;
}

bool Par2Creator::FinishAll() {
    if (!PrepareFinish())
        return false;
    FinishHashes(0, 1);
    return HashesFinished();
}

void Par2Creator::FillBlockHeader(uint8_t* header, int32_t e) const {
    memset(header, 0, kBlockHeaderBytes);
    FillHeader(header, kBlockHeaderBytes + static_cast<uint64_t>(sliceSize), setId, kRecoveryType);
    Put(header + kHeaderBytes, RecoveryBody::kExponent, static_cast<uint32_t>(e));
}

bool Par2Creator::BuildCriticalPackets(DynArray<uint8_t>& out) {
    // The main packet's body names the set: its hash is the set ID every header carries.
    const int32_t count = files.Count();
    int32_t start = 0;
    uint8_t* body = BeginPacket(out, MainBody::Bytes(count), start);
    if (!body)
        return false;
    FillMainBody(body);
    Md5 md5;
    md5.Update(body, static_cast<size_t>(MainBody::Bytes(count)));
    setId = md5.Finish();
    Seal(out, start, setId, kMainType);

    for (int32_t i : order) {
        const File& file = files[i];
        body = BeginPacket(out, DescriptionBody::Bytes(file.nameLength), start);
        if (!body)
            return false;
        PutBytes(body, DescriptionBody::kFileId, file.id.bytes);
        PutBytes(body, DescriptionBody::kFileHash, file.hash.bytes);
        PutBytes(body, DescriptionBody::kHeadHash, file.head.bytes);
        Put(body, DescriptionBody::kFileSize, file.size);
        memcpy(body + DescriptionBody::kNameAt, names.Items() + file.nameOffset, file.nameLength);
        Seal(out, start, setId, kFileDescType);

        body = BeginPacket(out, ChecksumsBody::Bytes(file.sliceCount), start);
        if (!body)
            return false;
        PutBytes(body, ChecksumsBody::kFileId, file.id.bytes);
        for (int32_t s = 0; s < file.sliceCount; ++s) {
            const SliceChecksum& sum = checksums[file.firstSlice + s];
            uint8_t* entry = body + ChecksumsBody::kEntry.Nth(s).at;
            PutBytes(entry, ChecksumsBody::kSliceHash, sum.hash.bytes);
            Put(entry, ChecksumsBody::kSliceCrc, sum.crc);
        }
        Seal(out, start, setId, kSliceChecksumType);
    }

    body = BeginPacket(out, CreatorBody::Bytes(sizeof(kCreatorText) - 1), start);
    if (!body)
        return false;
    memcpy(body + CreatorBody::kTextAt, kCreatorText, sizeof(kCreatorText) - 1);
    Seal(out, start, setId, kCreatorType);
    return true;
}

uint64_t Par2Creator::CriticalBytes() const {
    uint64_t bytes = kHeaderBytes + MainBody::Bytes(files.Count());
    for (const File& file : files)
        bytes += 2 * kHeaderBytes + DescriptionBody::Bytes(file.nameLength) +
                 ChecksumsBody::Bytes(file.sliceCount);
    return bytes + kHeaderBytes + CreatorBody::Bytes(sizeof(kCreatorText) - 1);
}

int32_t Par2Creator::OutputCount() const {
    int32_t volumes = 0;
    while (VolumeFirst(volumes) < recoveryCount)
        ++volumes;
    return volumes + 1;
}

bool Par2Creator::OutputName(const wchar_t* basePath, int32_t index, WideString& name) const {
    SetFileName(name, basePath, index, recoveryCount);
    if (name.Buffer())
        return true;
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

uint64_t Par2Creator::OutputBytes(int32_t index) const {
    if (index == 0)
        return CriticalBytes();
    return static_cast<uint64_t>(VolumeCount(index - 1, recoveryCount)) *
               (kHeaderBytes + RecoveryBody::Bytes(sliceSize)) +
           CriticalBytes();
}

bool Par2Creator::BlocksWritten(int32_t index, const OutputCursor& at) const {
    return index > 0 && index < OutputCount() ? at.block == VolumeCount(index - 1, recoveryCount)
                                              : index == 0;
}

bool Par2Creator::WriteOutputStep(int32_t index, OutputCursor& at, HANDLE file,
                                  uint32_t most) const {
    if (broken || !finishing || index < 0 || index >= OutputCount()) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    const int32_t count = index == 0 ? 0 : VolumeCount(index - 1, recoveryCount);
    for (uint32_t left = most; left != 0 && at.block < count;) {
        const int32_t e = VolumeFirst(index - 1) + at.block;
        uint8_t header[kBlockHeaderBytes];
        FillBlockHeader(header, e);
        if (at.offset == 0) {
            // The header holds the hash of the bytes after it: it goes out without it now, and
            // again once they are all hashed, as they are written.
            LARGE_INTEGER here = {};
            if (!::SetFilePointerEx(file, here, &here, FILE_CURRENT) ||
                !WriteFully(file, header, sizeof header))
                return false;
            at.headerAt = static_cast<uint64_t>(here.QuadPart);
            at.packet.Reset();
            at.packet.Update(header + Header::kHashedFrom, sizeof header - Header::kHashedFrom);
        }
        const uint32_t n = sliceSize - at.offset < left ? sliceSize - at.offset : left;
        const uint8_t* block = recovery.Get() + static_cast<size_t>(e) * sliceSize;
        // Hashed and written a piece at a time, so that the write finds the bytes in the cache.
        for (uint32_t done = 0; done < n;) {
            const uint32_t piece = n - done < kWritePieceBytes ? n - done : kWritePieceBytes;
            at.packet.Update(block + at.offset + done, piece);
            if (!WriteFully(file, block + at.offset + done, piece))
                return false;
            done += piece;
        }
        left -= n;
        at.offset += n;
        if (at.offset == sliceSize) {
            PutBytes(header, Header::kHash, at.packet.Finish().bytes);
            LARGE_INTEGER sealAt, end;
            sealAt.QuadPart = static_cast<LONGLONG>(at.headerAt);
            end.QuadPart = static_cast<LONGLONG>(at.headerAt + sizeof header + sliceSize);
            if (!::SetFilePointerEx(file, sealAt, nullptr, FILE_BEGIN) ||
                !WriteFully(file, header, sizeof header) ||
                !::SetFilePointerEx(file, end, nullptr, FILE_BEGIN))
                return false;
            ++at.block;
            at.offset = 0;
        }
    }
    // Every volume carries the set's description too, so that any one of them is enough. It is
    // known once the last hashes are in: until then the output waits here.
    if (at.block == count && !at.done && described) {
        if (!WriteFully(file, critical.Items(), static_cast<size_t>(critical.Count())))
            return false;
        at.done = true;
    }
    return true;
}
