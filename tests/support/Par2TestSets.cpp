#include "support/Par2TestSets.h"

#include "recovery/Md5.h"
#include "recovery/Par2Creator.h"
#include "recovery/Par2Format.h"
#include "recovery/Par2Repair.h"
#include "recovery/RecoveryFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace testing_support {

using namespace par2;

const wchar_t* const kSetNames[3] = {L"x.001", L"x.002", L"x.003"};
const uint64_t kSetSizes[3] = {50001, 40000, 9999};

void MakeSet(const TempDir& dir, std::vector<std::vector<uint8_t>>& originals, uint32_t seed) {
    std::vector<SetFile> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back({kSetNames[i], MakePattern(kSetSizes[i], i + seed)});
        originals.push_back(files[i].data);
    }
    ASSERT_TRUE(MakeRecoverySet(dir / L"x", files, 8192, 6, true));
}

Md5Digest Md5Of(const std::vector<uint8_t>& data) {
    Md5 md5;
    md5.Update(data.data(), data.size());
    return md5.Finish();
}

bool Repair(const Par2Set& set, const std::vector<std::vector<uint8_t>>& present, uint32_t piece,
            std::vector<std::vector<uint8_t>>& files, int32_t& moreNeeded, uint32_t budget,
            RepairCalls* calls) {
    RepairCalls counted;
    calls = calls ? calls : &counted;
    const uint32_t size = set.SliceSize();
    files.assign(set.FileCount(), {});
    std::vector<std::vector<uint8_t>> slices(set.TotalSlices(), std::vector<uint8_t>(size));
    DynArray<int32_t> missing;
    for (int32_t f = 0; f < set.FileCount(); ++f) {
        files[f] = present[f];
        files[f].resize(set.FileSize(f));
        for (int32_t s = 0; s < set.SliceCount(f); ++s) {
            const size_t at = size_t{size} * s, n = std::min<size_t>(size, files[f].size() - at);
            std::vector<uint8_t>& slice = slices[set.FirstSlice(f) + s];
            std::copy_n(files[f].begin() + at, n, slice.begin());
            if (Md5Of(slice) != set.SliceHash(set.FirstSlice(f) + s))
                missing.Append(set.FirstSlice(f) + s);
        }
    }
    Par2Repair repair;
    moreNeeded = 0;
    if (!repair.Plan(set, missing))
        return false;
    for (bool done = false; !done; ++calls->reads) {
        if (!repair.ReadBlocks(budget, done)) {
            moreNeeded = repair.MoreNeeded();
            return false;
        }
    }
    for (int32_t i = 0, next = 0; i < set.TotalSlices(); ++i) {
        if (next < missing.Count() && missing[next] == i && ++next)
            continue;
        for (uint32_t at = (size - 1) / piece * piece;; at -= piece) {
            const uint32_t n = std::min(piece, size - at);
            if (!repair.AddSlice(i, at, slices[i].data() + at, n) || at == 0)
                break;
        }
    }
    for (bool done = false; !done; ++calls->solves) {
        if (!repair.Solve(budget, done))
            return false;
    }
    for (int32_t f = 0; f < set.FileCount(); ++f) {
        for (int32_t k = 0; k < missing.Count(); ++k) {
            const size_t at = size_t{size} * (missing[k] - set.FirstSlice(f));
            if (missing[k] >= set.FirstSlice(f) && at < files[f].size())
                std::copy_n(repair.RebuiltSlice(k), std::min<size_t>(size, files[f].size() - at),
                            files[f].begin() + at);
        }
    }
    return true;
}

bool RepairFolder(const Par2Set& set, const std::wstring& folder, uint32_t piece,
                  std::vector<std::vector<uint8_t>>& files, int32_t& moreNeeded, uint32_t budget,
                  RepairCalls* calls) {
    std::vector<std::vector<uint8_t>> present(set.FileCount());
    for (int32_t f = 0; f < set.FileCount(); ++f) {
        if (!ReadWholeFile(folder + L"\\" + set.FileName(f), present[f]))
            present[f].clear();
    }
    return Repair(set, present, piece, files, moreNeeded, budget, calls);
}

void Rehash(std::vector<uint8_t>& bytes, size_t at) {
    const size_t length = std::min<size_t>(Get(&bytes[at], Header::kLength), bytes.size() - at);
    Md5 md5;
    md5.Update(bytes.data() + at + Header::kHashedFrom,
               length < kHeaderBytes ? 0 : length - Header::kHashedFrom);
    PutBytes(&bytes[at], Header::kHash, md5.Finish().bytes);
}

std::vector<uint8_t> MakePacket(const uint8_t* type, const Md5Digest& setId,
                                const std::vector<uint8_t>& body) {
    std::vector<uint8_t> packet(kHeaderBytes + body.size());
    PutBytes(packet.data(), Header::kMagic, kMagic);
    Put(packet.data(), Header::kLength, packet.size());
    PutBytes(packet.data(), Header::kSetId, setId.bytes);
    PutBytes(packet.data(), Header::kType, type);
    std::copy(body.begin(), body.end(), packet.begin() + kHeaderBytes);
    Rehash(packet, 0);
    return packet;
}

std::vector<size_t> PacketStarts(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> starts;
    for (size_t at = 0; at + kHeaderBytes <= bytes.size();) {
        const uint64_t length = Get(&bytes[at], Header::kLength);
        if (length < kHeaderBytes || length > bytes.size() - at)
            break;
        starts.push_back(at);
        at += static_cast<size_t>(length);
    }
    return starts;
}

std::vector<uint8_t> MakeIndex(uint64_t sliceSize, const std::vector<IndexFile>& files,
                               Md5Digest* setId) {
    std::vector<uint8_t> main(MainBody::Bytes(files.size()));
    Put(main.data(), MainBody::kSliceSize, sliceSize);
    Put(main.data(), MainBody::kFileCount, files.size());
    for (uint32_t i = 0; i < files.size(); ++i)
        PutLe(&main[MainBody::kFileId.Nth(i).at], i, 4);
    const Md5Digest id = Md5Of(main);
    std::vector<uint8_t> index = MakePacket(kMainType, id, main);
    for (size_t i = files.size(); i-- > 0;) {
        const std::string& name = files[i].name;
        std::vector<uint8_t> description(DescriptionBody::Bytes(name.size())),
            checksums(ChecksumsBody::Bytes(1));
        PutLe(&description[DescriptionBody::kFileId.at], i, 4);
        PutLe(&checksums[ChecksumsBody::kFileId.at], i, 4);
        Put(description.data(), DescriptionBody::kFileSize, files[i].size);
        std::copy(name.begin(), name.end(), description.begin() + DescriptionBody::kNameAt);
        std::vector<uint8_t> packets = MakePacket(kFileDescType, id, description);
        if (files[i].size != 0) {
            const std::vector<uint8_t> more = MakePacket(kSliceChecksumType, id, checksums);
            packets.insert(packets.end(), more.begin(), more.end());
        }
        index.insert(index.end(), packets.begin(), packets.end());
    }
    if (setId)
        *setId = id;
    return index;
}

void Describe(std::vector<uint8_t>& file, const std::string& name, uint64_t size) {
    for (size_t at : PacketStarts(file)) {
        if (!par2::Holds(&file[at], Header::kType, kFileDescType))
            continue;
        std::vector<uint8_t> body(DescriptionBody::Bytes(name.size()));
        std::copy_n(file.begin() + at + kHeaderBytes, DescriptionBody::kNameAt, body.begin());
        std::copy(name.begin(), name.end(), body.begin() + DescriptionBody::kNameAt);
        if (size)
            Put(body.data(), DescriptionBody::kFileSize, size);
        const Md5Digest setId = GetDigest(&file[at], Header::kSetId);
        const std::vector<uint8_t> packet = MakePacket(kFileDescType, setId, body);
        file.insert(file.begin(), packet.begin(), packet.end());
        return;
    }
}

namespace {

// The creator takes no name with a folder in it; such a name is made with '_' for each separator
// and written into the description packets of every file of the set afterwards.
std::wstring Placeholder(std::wstring name) {
    std::replace(name.begin(), name.end(), L'\\', L'_');
    std::replace(name.begin(), name.end(), L'/', L'_');
    return name;
}

bool RenameInSet(const std::wstring& wholePath, const std::string& from, const std::string& to) {
    const std::wstring folder = wholePath.substr(0, wholePath.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((wholePath + L"*.par2").c_str(), &found);
    bool ok = search != INVALID_HANDLE_VALUE;
    for (bool more = ok; more; more = ::FindNextFileW(search, &found) != 0) {
        std::vector<uint8_t> bytes;
        ok = ok && ReadWholeFile(folder + found.cFileName, bytes);
        for (size_t at : PacketStarts(bytes)) {
            const size_t name = at + kHeaderBytes + DescriptionBody::kNameAt;
            if (par2::Holds(&bytes[at], Header::kType, kFileDescType) &&
                name + from.size() <= bytes.size() &&
                memcmp(&bytes[name], from.data(), from.size()) == 0 &&
                (name + from.size() == bytes.size() || bytes[name + from.size()] == 0)) {
                memcpy(&bytes[name], to.data(), to.size());
                Rehash(bytes, at);
            }
        }
        ok = ok && WriteWholeFile(folder + found.cFileName, bytes);
    }
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    return ok;
}

} // namespace

bool MakeRecoverySet(const std::wstring& wholePath, const std::vector<SetFile>& files,
                     uint32_t sliceSize, int32_t blocks, bool alsoFiles) {
    std::vector<std::wstring> stands;
    std::vector<const wchar_t*> names;
    std::vector<uint64_t> sizes;
    for (const SetFile& file : files) {
        stands.push_back(Placeholder(file.name));
        sizes.push_back(file.data.size());
    }
    for (const std::wstring& stand : stands)
        names.push_back(stand.c_str());
    Par2Creator creator;
    if (!creator.Start(names.data(), sizes.data(), static_cast<int32_t>(files.size()), sliceSize,
                       blocks))
        return false;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!creator.SetFileHead(static_cast<int32_t>(i), files[i].data.data(),
                                 std::min<size_t>(files[i].data.size(), Par2Creator::kHeadBytes)))
            return false;
    }
    for (const SetFile& file : files) {
        if (!creator.AddData(file.data.data(), file.data.size()))
            return false;
    }
    RecoveryFiles written;
    if (!written.Create(creator, wholePath.c_str()) || !written.Complete(creator))
        return false;
    written.Drop();
    const std::wstring folder = wholePath.substr(0, wholePath.find_last_of(L'\\') + 1);
    for (size_t i = 0; i < files.size(); ++i) {
        if (stands[i] != files[i].name &&
            !RenameInSet(wholePath, Narrow(stands[i]), Narrow(files[i].name)))
            return false;
        if (alsoFiles && !WriteWholeFile(folder + files[i].name, files[i].data))
            return false;
    }
    return true;
}

bool MakeTwelvePartsToRepair(const std::wstring& wholePath, std::vector<SetFile>& files) {
    const std::wstring name = wholePath.substr(wholePath.find_last_of(L'\\') + 1);
    files.clear();
    for (unsigned i = 1; i <= 12; ++i)
        files.push_back({PartName(name, i), MakePattern(8192, i)});
    std::vector<uint8_t> damaged = files[1].data;
    damaged[5000] ^= 1;
    return MakeRecoverySet(wholePath, files, 4096, 4, true) &&
           WriteWholeFile(PartName(wholePath, 2), damaged) &&
           ::DeleteFileW(PartName(wholePath, 3).c_str());
}

std::string ChecksumLines(const std::vector<SetFile>& files) {
    std::string text;
    for (const SetFile& file : files)
        text += SystemSha256(file.data) + "  " + Narrow(file.name) + "\n";
    return text;
}

} // namespace testing_support
