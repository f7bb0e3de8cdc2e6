#include "recovery/Par2Set.h"

#include "app/WideString.h"
#include "recovery/Par2Format.h"
#include "toolkit/SyncFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

using namespace par2;

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

} // namespace

Par2Set::~Par2Set() = default;

void Par2Set::ClearTaken() {
    sliceSize = 0;
    files.Clear();
    byId.Clear();
    byName.Clear();
    names.Clear();
    slices.Clear();
    blocks.Clear();
}

void Par2Set::Clear() {
    ClearTaken();
    paths.Clear();
    setFiles.Clear();
    scan.reset();
    rescans.Clear();
    phase = Phase::Over;
    at = 0;
    passOpen = false;
    taken = false;
    doneBytes = 0;
    totalBytes = 0;
    progress = 0.0f;
    lastError = 0;
    cost = {};
}

bool Par2Set::Load(const wchar_t* wholePath) {
    if (!BeginLoad(wholePath))
        return false;
    LoadStep step = LoadStep::Working;
    while (step == LoadStep::Working)
        step = LoadMore();
    return step == LoadStep::Done;
}

bool Par2Set::AddSetFile(const wchar_t* path, uint64_t size) {
    const SetFile file = {paths.Count(), size};
    if (!Append(paths, path, static_cast<int32_t>(wcslen(path))) || !setFiles.Append(file))
        return false;
    totalBytes += size;
    return true;
}

bool Par2Set::BeginLoad(const wchar_t* wholePath) {
    Clear();
    scan.reset(new (std::nothrow) Par2PacketScan);
    WideString path;
    path.Format(L"%s.par2", wholePath);
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    bool listed = scan && path.Buffer();
    if (listed && ::GetFileAttributesExW(path.Text(), GetFileExInfoStandard, &attributes) &&
        !(attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        listed = AddSetFile(path.Text(),
                            (uint64_t{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow);

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
    FindHandle search(listed && path.Buffer() ? ::FindFirstFileW(path.Text(), &data)
                                              : INVALID_HANDLE_VALUE);
    for (bool more = search.IsSet(); more && listed;
         more = ::FindNextFileW(search.Get(), &data) != 0) {
        const int length = static_cast<int>(wcslen(data.cFileName));
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || length < nameLength + 9 ||
            !EqualNoCase(data.cFileName, nameLength, name, nameLength) ||
            !EqualNoCase(data.cFileName + nameLength, 4, L".vol", 4) ||
            !EqualNoCase(data.cFileName + length - 5, 5, L".par2", 5))
            continue;
        path.Format(L"%.*s%s", folderLength, wholePath, data.cFileName);
        listed = path.Buffer() &&
                 AddSetFile(path.Text(), (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    }
    const DWORD error = !listed                 ? ERROR_NOT_ENOUGH_MEMORY
                        : setFiles.Count() == 0 ? ERROR_FILE_NOT_FOUND
                                                : 0;
    if (error != 0) {
        Clear();
        ::SetLastError(error);
        return false;
    }
    phase = Phase::Scan;
    return true;
}

Par2Set::LoadStep Par2Set::LoadMore() {
    if (phase != Phase::Over) {
        ++cost.steps;
        const bool going = LoadStepOnce();
        if (scan)
            cost.work = scan->Work();
        if (!going)
            return Fail(::GetLastError());
    }
    if (phase != Phase::Over)
        return LoadStep::Working;
    if (lastError != 0) {
        ::SetLastError(lastError);
        return LoadStep::Failed;
    }
    return LoadStep::Done;
}

Par2Set::LoadStep Par2Set::Fail(DWORD error) {
    const LoadCost spent = cost;
    Clear();
    cost = spent;
    lastError = error;
    ::SetLastError(error);
    return LoadStep::Failed;
}

bool Par2Set::LoadStepOnce() {
    switch (phase) {
    case Phase::Scan:
        return ScanStep();
    case Phase::Take:
        return TakeStep();
    case Phase::Rescan:
        return RescanStep();
    case Phase::Over:
        break;
    }
    return true;
}

void Par2Set::CountProgress(uint64_t current) {
    if (totalBytes == 0)
        return;
    const double part = static_cast<double>(doneBytes + current) / static_cast<double>(totalBytes);
    const float now = part < 1.0 ? static_cast<float>(part) : 1.0f;
    if (now > progress)
        progress = now;
}

// A window of the pass over each file of the set.
bool Par2Set::ScanStep() {
    if (at == setFiles.Count()) {
        phase = Phase::Take;
        return true;
    }
    const SetFile& file = setFiles[at];
    if (!passOpen && !scan->Start(paths.Items() + file.pathOffset, at, 0, UINT64_MAX, true))
        return false;
    passOpen = true;
    bool done = false;
    if (!scan->Step(done))
        return false;
    const uint64_t position = scan->Position();
    CountProgress(position < file.size ? position : file.size);
    if (done) {
        doneBytes += file.size;
        passOpen = false;
        ++at;
    }
    return true;
}

// Takes a set from what was found, and goes again over what was jumped and the set can't use.
bool Par2Set::TakeStep() {
    taken = TakeSet();
    const DWORD error = ::GetLastError();
    if (!taken && error != ERROR_INVALID_DATA)
        return false;
    rescans.Clear();
    const DynArray<Block>& found = scan->Blocks();
    for (int32_t i = 0; i < found.Count(); ++i) {
        if (!found[i].jumped || found[i].rescanned || (taken && Usable(found[i])))
            continue;
        if (!rescans.Append(i))
            return false;
        totalBytes += found[i].length;
    }
    if (rescans.Count() == 0)
        return Finish();
    foundBefore = scan->Packets().Count() + found.Count();
    phase = Phase::Rescan;
    at = 0;
    passOpen = false;
    return true;
}

bool Par2Set::RescanStep() {
    if (at == rescans.Count()) {
        if (scan->Packets().Count() + scan->Blocks().Count() != foundBefore) {
            phase = Phase::Take;
            return true;
        }
        return Finish();
    }
    const Block block = scan->Blocks()[rescans[at]];
    if (!passOpen) {
        scan->SetRescanned(rescans[at]);
        if (!scan->Start(paths.Items() + setFiles[block.file].pathOffset, block.file,
                         block.offset + 1, block.offset + block.length, false))
            return false;
        passOpen = true;
    }
    bool done = false;
    if (!scan->Step(done))
        return false;
    CountProgress(scan->Position() - block.offset);
    if (done) {
        doneBytes += block.length;
        passOpen = false;
        ++at;
    }
    return true;
}

// The end of the loading, with the set taken last or without one.
bool Par2Set::Finish() {
    if (!taken) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    scan.reset();
    rescans.Clear();
    phase = Phase::Over;
    lastError = 0;
    progress = 1.0f;
    return true;
}

bool Par2Set::Usable(const Block& block) const {
    return block.setId == mainSetId &&
           block.length == kHeaderBytes + RecoveryBody::Bytes(sliceSize);
}

int32_t Par2Set::FindId(const uint8_t* id) const {
    const int32_t* first = byId.begin();
    const int32_t* last = byId.end();
    const int32_t* hit =
        std::lower_bound(first, last, id, [this](int32_t file, const uint8_t* key) {
            return memcmp(files[file].id.bytes, key, 16) < 0;
        });
    return hit != last && memcmp(files[*hit].id.bytes, id, 16) == 0 ? *hit : -1;
}

// The files the main packet lists for recovery, and their order by ID.
bool Par2Set::TakeFiles(const uint8_t* main) {
    const int32_t count = static_cast<int32_t>(Get(main, MainBody::kFileCount));
    if (!files.Reserve(count) || !byId.ResizeUp(count))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        File file = {};
        file.id = GetDigest(main, MainBody::kFileId.Nth(i));
        files.Append(file);
        byId[i] = i;
    }
    std::sort(byId.begin(), byId.end(), [this](int32_t a, int32_t b) {
        return memcmp(files[a].id.bytes, files[b].id.bytes, 16) < 0;
    });
    for (int32_t i = 1; i < count; ++i) {
        if (files[byId[i - 1]].id == files[byId[i]].id) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
    }
    return true;
}

bool Par2Set::TakeDescription(const uint8_t* body, uint32_t length) {
    const int32_t file =
        length >= DescriptionBody::kNameAt ? FindId(body + DescriptionBody::kFileId.at) : -1;
    if (file < 0 || files[file].described)
        return true;
    File& entry = files[file];
    entry.hash = GetDigest(body, DescriptionBody::kFileHash);
    entry.size = Get(body, DescriptionBody::kFileSize);
    // The name is UTF-8, padded with zeros to whole words; the scan kept no longer ones.
    const char* text = reinterpret_cast<const char*>(body + DescriptionBody::kNameAt);
    int bytes = static_cast<int>(length - DescriptionBody::kNameAt);
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

void Par2Set::TakeChecksums(const uint8_t* body, uint32_t length) {
    constexpr Field kEntry = ChecksumsBody::kEntry;
    const int32_t file = length >= kEntry.at ? FindId(body + ChecksumsBody::kFileId.at) : -1;
    if (file < 0 || files[file].checksummed ||
        (length - kEntry.at) / kEntry.bytes < static_cast<uint32_t>(files[file].sliceCount))
        return;
    File& entry = files[file];
    for (int32_t s = 0; s < entry.sliceCount; ++s) {
        Slice& slice = slices[entry.firstSlice + s];
        const uint8_t* sums = body + kEntry.Nth(s).at;
        slice.hash = GetDigest(sums, ChecksumsBody::kSliceHash);
        slice.crc = static_cast<uint32_t>(Get(sums, ChecksumsBody::kSliceCrc));
    }
    entry.checksummed = true;
}

// The files by name, for FindFile.
bool Par2Set::SortNames() {
    if (!byName.ResizeUp(files.Count()))
        return false;
    for (int32_t i = 0; i < files.Count(); ++i)
        byName[i] = i;
    std::sort(byName.begin(), byName.end(), [this](int32_t a, int32_t b) {
        const int order = ::CompareStringOrdinal(FileName(a), -1, FileName(b), -1, TRUE);
        return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
    });
    return true;
}

// The blocks of this set that have the right size, by rising exponent. Copies of a block are
// all kept, as some may be damaged.
bool Par2Set::TakeBlocks() {
    for (const Block& block : scan->Blocks()) {
        if (Usable(block) && !blocks.Append(block))
            return false;
    }
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Block& a, const Block& b) { return a.exponent < b.exponent; });
    return true;
}

// Picks the set of the first usable main packet and takes what belongs to it.
bool Par2Set::TakeSet() {
    ClearTaken();
    const uint8_t* kept = scan->Kept();
    const Packet* main = nullptr;
    for (const Packet& packet : scan->Packets()) {
        constexpr Field kFileId = MainBody::kFileId;
        if (packet.type != Par2PacketScan::Type::Main ||
            static_cast<uint32_t>(packet.length) < kFileId.at)
            continue;
        const uint64_t size = Get(kept + packet.at, MainBody::kSliceSize);
        const uint64_t count = Get(kept + packet.at, MainBody::kFileCount);
        if (size != 0 && size % 4 == 0 && size <= 0xFFFFFFFFu && count != 0 &&
            count <= static_cast<uint64_t>(kMaxFiles) &&
            count <= static_cast<uint64_t>(packet.length - kFileId.at) / kFileId.bytes) {
            main = &packet;
            break;
        }
    }
    if (!main) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    mainSetId = main->setId;
    sliceSize = static_cast<uint32_t>(Get(kept + main->at, MainBody::kSliceSize));
    if (!TakeFiles(kept + main->at))
        return false;
    for (const Packet& packet : scan->Packets()) {
        if (packet.type == Par2PacketScan::Type::Description && packet.setId == mainSetId &&
            !TakeDescription(kept + packet.at, packet.length))
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
    for (const Packet& packet : scan->Packets()) {
        if (packet.type == Par2PacketScan::Type::Checksums && packet.setId == mainSetId)
            TakeChecksums(kept + packet.at, packet.length);
    }
    for (const File& file : files) {
        if (!file.checksummed && file.sliceCount > 0) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
    }
    return SortNames() && TakeBlocks();
}

int32_t Par2Set::FindFile(const wchar_t* name) const {
    const int32_t* first = byName.begin();
    const int32_t* last = byName.end();
    const int32_t* hit =
        std::lower_bound(first, last, name, [this](int32_t file, const wchar_t* key) {
            return ::CompareStringOrdinal(FileName(file), -1, key, -1, TRUE) == CSTR_LESS_THAN;
        });
    return hit != last && EqualNoCase(FileName(*hit), -1, name, -1) ? *hit : -1;
}

bool Par2Set::ReadRecoveryPiece(int32_t index, uint32_t offset, uint8_t* data, uint32_t length,
                                Md5& md5, bool hashData) const {
    const Block& block = blocks[index];
    SyncFile file;
    if (!file.OpenForReading(paths.Items() + setFiles[block.file].pathOffset,
                             FILE_FLAG_SEQUENTIAL_SCAN))
        return false;
    if (offset == 0) {
        uint8_t header[kHeaderBytes + RecoveryBody::kDataAt];
        if (!file.ReadAt(block.offset, header, sizeof(header)))
            return false;
        if (!Holds(header, Header::kMagic, kMagic) ||
            Get(header, Header::kLength) != block.length ||
            GetDigest(header, Header::kHash) != block.hash ||
            Get(header + kHeaderBytes, RecoveryBody::kExponent) != block.exponent) {
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        md5.Reset();
        md5.Update(header + Header::kHashedFrom, sizeof(header) - Header::kHashedFrom);
    }
    if (!file.ReadAt(block.offset + kHeaderBytes + RecoveryBody::kDataAt + offset, data, length))
        return false;
    if (!hashData)
        return true;
    md5.Update(data, length);
    if (offset + length == sliceSize && md5.Finish() != block.hash) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}
