#include "Par2TestSets.h"

#include "recovery/Md5.h"
#include "recovery/Par2Format.h"
#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

struct Random {
    uint32_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(size_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }
    uint64_t Wide() { return uint64_t{Next()} << 32 | Next(); }
};

uint64_t GetLittle(const Bytes& b, size_t at, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | b[at + i];
    return value;
}

void PutLittle(Bytes& b, size_t at, uint64_t value, int count) {
    for (int i = 0; i < count; ++i)
        b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Md5Digest Md5Of(const uint8_t* data, size_t size) {
    Md5 md5;
    md5.Update(data, size);
    return md5.Finish();
}

// The packet at `at` of b with its MD5 made right again.
void Rehash(Bytes& b, size_t at) {
    const size_t length = std::min<size_t>(GetLittle(b, at + 8, 8), b.size() - at);
    if (length < 64)
        return;
    const Md5Digest hash = Md5Of(b.data() + at + 32, length - 32);
    std::copy_n(hash.bytes, 16, b.begin() + at + 16);
}

bool IsType(const Bytes& b, size_t at, const uint8_t* type) {
    return std::equal(type, type + 16, b.begin() + at + 48);
}

// The set's four files, each a list of bytes, and where their packets start.
struct SetFiles {
    Bytes files[5]; // the index, three volumes, and a fifth the case may add
    bool present[5] = {true, true, true, true, false};
};

const wchar_t* const kFileNames[5] = {L"x.par2", L"x.vol0+1.par2", L"x.vol1+2.par2",
                                      L"x.vol3+3.par2", L"x.vol6+1.par2"};

// A packet of the type in one of the set's files: which file, and where.
bool PickPacket(SetFiles& set, Random& random, const uint8_t* type, int& file, size_t& at) {
    for (int tries = 0; tries < 16; ++tries) {
        file = static_cast<int>(random.Below(4));
        const std::vector<size_t> starts = PacketStarts(set.files[file]);
        if (starts.empty())
            continue;
        at = starts[random.Below(starts.size())];
        if (!type || IsType(set.files[file], at, type))
            return true;
    }
    return false;
}

// A description packet for the first file of the index, with this name and the index's MD5s.
Bytes Described(const SetFiles& set, const std::string& name, uint64_t size) {
    const Bytes& index = set.files[0];
    for (size_t at : PacketStarts(index)) {
        if (!IsType(index, at, par2::kFileDescType))
            continue;
        Bytes body((56 + name.size() + 3) / 4 * 4);
        std::copy_n(index.begin() + at + 64, 56, body.begin());
        std::copy(name.begin(), name.end(), body.begin() + 56);
        if (size != 0)
            PutLittle(body, 48, size, 8);
        Md5Digest setId;
        std::copy_n(index.begin() + at + 32, 16, setId.bytes);
        return MakePacket(par2::kFileDescType, setId, body);
    }
    return {};
}

const char* const kHostileNames[] = {
    "..\\evil.txt", "..\\victim.txt", "C:\\x",        "a:stream", "NUL",           "COM1.txt",
    "name. ",       "sub\\x.001",     "\xC3\x28\xFF", "",         "x.001\xE2\x82", "/etc/passwd",
};

// Each way of spoiling the set, picked at random, applied to the set's files in memory.
const std::function<void(SetFiles&, Random&)> kDamages[] = {
    // Flipped bits.
    [](SetFiles& s, Random& r) {
        Bytes& b = s.files[r.Below(4)];
        for (uint32_t n = 1 + r.Below(16); n > 0; --n)
            b[r.Below(b.size())] ^= static_cast<uint8_t>(1 << r.Below(8));
    },
    // A file cut short, or gone.
    [](SetFiles& s, Random& r) {
        const uint32_t file = r.Below(4);
        if (r.Below(4) == 0)
            s.present[file] = false;
        else
            s.files[file].resize(r.Below(s.files[file].size()));
    },
    // A packet's length lies.
    [](SetFiles& s, Random& r) {
        int file = 0;
        size_t at = 0;
        if (!PickPacket(s, r, nullptr, file, at))
            return;
        Bytes& b = s.files[file];
        const uint64_t length = GetLittle(b, at + 8, 8);
        const uint64_t lies[] = {0,
                                 63,
                                 64,
                                 68,
                                 length - 4,
                                 length + 4,
                                 length * 2,
                                 r.Wide(),
                                 b.size() - at,
                                 b.size() - at + 4,
                                 uint64_t{1} << 56,
                                 length + 8260};
        PutLittle(b, at + 8, lies[r.Below(std::size(lies))], 8);
        if (r.Below(2))
            Rehash(b, at);
    },
    // The main packet's counts and slice size lie, its MD5 right; with a new set ID or without.
    [](SetFiles& s, Random& r) {
        int file = 0;
        size_t at = 0;
        if (!PickPacket(s, r, par2::kMainType, file, at))
            return;
        Bytes& b = s.files[file];
        const uint64_t counts[] = {0, 1, 2, 4, 32768, 32769, 65535, 0xFFFFFFFF};
        const uint64_t sizes[] = {0, 3, 4, 8188, 8196, 0xFFFFFFFC, uint64_t{1} << 32, r.Wide()};
        if (r.Below(2))
            PutLittle(b, at + 72, counts[r.Below(std::size(counts))], 4);
        else
            PutLittle(b, at + 64, sizes[r.Below(std::size(sizes))], 8);
        const size_t length = std::min<size_t>(GetLittle(b, at + 8, 8), b.size() - at);
        if (r.Below(2) && length >= 64) {
            const Md5Digest id = Md5Of(b.data() + at + 64, length - 64);
            std::copy_n(id.bytes, 16, b.begin() + at + 32);
        }
        Rehash(b, at);
    },
    // Slice checksums cut short or a file's size that lies, MD5 right.
    [](SetFiles& s, Random& r) {
        int file = 0;
        size_t at = 0;
        const bool sums = r.Below(2);
        if (!PickPacket(s, r, sums ? par2::kSliceChecksumType : par2::kFileDescType, file, at))
            return;
        Bytes& b = s.files[file];
        if (sums) {
            PutLittle(b, at + 8, 64 + 16 + 20 * r.Below(8), 8);
        } else {
            const uint64_t sizes[] = {0, 1, 8192, 8193, uint64_t{1} << 40, ~uint64_t{0}, r.Wide()};
            PutLittle(b, at + 112, sizes[r.Below(std::size(sizes))], 8);
        }
        Rehash(b, at);
    },
    // A block's exponent lies, its MD5 right or not.
    [](SetFiles& s, Random& r) {
        int file = 0;
        size_t at = 0;
        if (!PickPacket(s, r, par2::kRecoveryType, file, at))
            return;
        const uint64_t exponents[] = {0, 1, 5, 32767, 32768, 65535, 65536, 0xFFFFFFFF};
        PutLittle(s.files[file], at + 64, exponents[r.Below(std::size(exponents))], 4);
        if (r.Below(2))
            Rehash(s.files[file], at);
    },
    // A packet copied into another file or the same, at a packet's start or anywhere.
    [](SetFiles& s, Random& r) {
        int file = 0;
        size_t at = 0;
        if (!PickPacket(s, r, nullptr, file, at))
            return;
        const size_t length =
            std::min<size_t>(GetLittle(s.files[file], at + 8, 8), s.files[file].size() - at);
        const Bytes packet(s.files[file].begin() + at, s.files[file].begin() + at + length);
        Bytes& to = s.files[r.Below(4)];
        const std::vector<size_t> starts = PacketStarts(to);
        const size_t where =
            r.Below(2) && !starts.empty() ? starts[r.Below(starts.size())] : r.Below(to.size());
        to.insert(to.begin() + where, packet.begin(), packet.end());
    },
    // A description that conflicts with the set's own, found first.
    [](SetFiles& s, Random& r) {
        const uint64_t sizes[] = {1, 9999, 50001, 8192 * 40, 100000};
        const Bytes packet =
            Described(s, "x.00" + std::to_string(1 + r.Below(3)), sizes[r.Below(std::size(sizes))]);
        s.files[0].insert(s.files[0].begin(), packet.begin(), packet.end());
    },
    // A hostile name, found first.
    [](SetFiles& s, Random& r) {
        std::string name = kHostileNames[r.Below(std::size(kHostileNames))];
        if (r.Below(4) == 0)
            name = std::string(200 + r.Below(900), 'n');
        const Bytes packet = Described(s, name, 0);
        s.files[0].insert(s.files[0].begin(), packet.begin(), packet.end());
    },
    // A fifth volume of junk: random bytes, or the magic with lying lengths.
    [](SetFiles& s, Random& r) {
        Bytes junk = MakePattern(1 + r.Below(256 * KiB), r.Next());
        const uint8_t* const types[] = {par2::kMainType, par2::kFileDescType,
                                        par2::kSliceChecksumType, par2::kRecoveryType};
        for (size_t at = 0; r.Below(2) && at + 64 <= junk.size(); at += 4 * (1 + r.Below(40))) {
            std::copy_n(par2::kMagic, 8, junk.begin() + at);
            PutLittle(junk, at + 8, r.Below(2) ? junk.size() - at : r.Below(64 * KiB) * 4, 8);
            std::copy_n(types[r.Below(4)], 16, junk.begin() + at + 48);
        }
        s.files[4] = junk;
        s.present[4] = true;
    },
};

struct Entry {
    std::wstring name;
    uint64_t size;
    uint64_t written;
    bool operator==(const Entry& o) const {
        return name == o.name && size == o.size && written == o.written;
    }
};

// The folder's entries, and those of its folders, in the order listed.
void List(const std::wstring& folder, std::vector<Entry>& entries) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back({folder + L"\\" + name,
                           uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow,
                           uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
                               data.ftLastWriteTime.dwLowDateTime});
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            List(folder + L"\\" + name, entries);
    }
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
}

// Thousands of sets made from one the creator wrote, each spoilt in one to three ways, read from
// a folder inside a scratch folder while the parts are damaged or lost in memory: every load
// ends in bounded steps, touches no file, and either the repair rebuilds the parts the set
// vouches for exactly, or the set or the repair is refused.
TEST(Par2SetFuzz, DamagedAndHostileSetsAreReadOrRefused) {
    constexpr int kRuns = 1500;
    TempDir scratch;
    const std::wstring folder = scratch / L"set";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteText(scratch / L"victim.txt", "the user's own"));
    std::vector<Bytes> originals;
    SetFiles made;
    {
        TempDir maker;
        ASSERT_NO_FATAL_FAILURE(MakeSet(maker, originals));
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(ReadWholeFile(maker / kFileNames[i], made.files[i]));
    }
    std::vector<Md5Digest> hashes;
    for (const Bytes& data : originals)
        hashes.push_back(Md5Of(data.data(), data.size()));

    SetFiles onDisk; // what the folder holds
    for (bool& present : onDisk.present)
        present = false;
    int rebuilt = 0, refusedSet = 0, refusedRepair = 0, hostileNamesRead = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        Random random = {2654435761u * static_cast<uint32_t>(run + 1)};
        SetFiles set = made;
        for (uint32_t n = 1 + random.Below(3); n > 0; --n)
            kDamages[random.Below(std::size(kDamages))](set, random);
        for (int i = 0; i < 5; ++i) {
            if (set.present[i] == onDisk.present[i] && set.files[i] == onDisk.files[i])
                continue;
            if (set.present[i])
                ASSERT_TRUE(WriteWholeFile(folder + L"\\" + kFileNames[i], set.files[i]));
            else
                ASSERT_TRUE(::DeleteFileW((folder + L"\\" + kFileNames[i]).c_str()));
            onDisk.present[i] = set.present[i];
            onDisk.files[i] = set.files[i];
        }
        std::vector<Entry> before, after;
        List(scratch.Path(), before);
        uint64_t bytes = 0;
        for (int i = 0; i < 5; ++i)
            bytes += set.present[i] ? set.files[i].size() : 0;

        Par2Set loaded;
        Par2Set::LoadStep step = Par2Set::LoadStep::Failed;
        DWORD error = ERROR_FILE_NOT_FOUND;
        if (loaded.BeginLoad((folder + L"\\x").c_str())) {
            const int most = static_cast<int>(2 * bytes / Par2PacketScan::kProbeBytes) + 64;
            int steps = 0;
            for (step = Par2Set::LoadStep::Working; step == Par2Set::LoadStep::Working; ++steps) {
                ASSERT_LT(steps, most);
                step = loaded.LoadMore(0);
            }
            error = ::GetLastError();
        }
        List(scratch.Path(), after);
        ASSERT_TRUE(before == after);
        if (step != Par2Set::LoadStep::Done) {
            EXPECT_TRUE(error == ERROR_INVALID_DATA || error == ERROR_FILE_NOT_FOUND) << error;
            ++refusedSet;
            continue;
        }
        ASSERT_GE(loaded.FileCount(), 1);
        ASSERT_LE(loaded.TotalSlices(), Par2Set::kMaxSlices);
        // What a join would refuse for want of memory, this test too.
        if (uint64_t{loaded.SliceSize()} * loaded.TotalSlices() > 64 * MiB) {
            ++refusedRepair;
            continue;
        }
        // The parts, each as the set knows it by its MD5: one lost, one damaged, or all whole.
        std::vector<Bytes> present(loaded.FileCount());
        for (int32_t f = 0; f < loaded.FileCount(); ++f) {
            const auto known = std::find(hashes.begin(), hashes.end(), loaded.FileHash(f));
            if (known != hashes.end())
                present[f] = originals[known - hashes.begin()];
            hostileNamesRead +=
                wcschr(loaded.FileName(f), L'\\') || wcschr(loaded.FileName(f), L':');
        }
        const int32_t spoilt = static_cast<int32_t>(random.Below(3 * loaded.FileCount()));
        if (spoilt < loaded.FileCount())
            present[spoilt].clear();
        else if (spoilt < 2 * loaded.FileCount() && !present[spoilt % loaded.FileCount()].empty())
            present[spoilt % loaded.FileCount()]
                   [random.Below(present[spoilt % loaded.FileCount()].size())] ^= 0x81;
        std::vector<Bytes> files;
        int32_t moreNeeded = 0;
        if (!Repair(loaded, present, 3000, files, moreNeeded)) {
            EXPECT_TRUE(::GetLastError() == ERROR_INVALID_DATA ||
                        ::GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
                << ::GetLastError();
            ++refusedRepair;
            continue;
        }
        // A rebuilt part whose MD5 is the set's is the original part: else the join refuses it.
        bool whole = true;
        for (int32_t f = 0; f < loaded.FileCount(); ++f) {
            if (Md5Of(files[f].data(), files[f].size()) != loaded.FileHash(f)) {
                whole = false;
                continue;
            }
            const auto known = std::find(hashes.begin(), hashes.end(), loaded.FileHash(f));
            if (known != hashes.end()) {
                ASSERT_TRUE(files[f] == originals[known - hashes.begin()]) << f;
            }
        }
        whole ? ++rebuilt : ++refusedRepair;
    }
    printf("%d runs: %d rebuilt, %d sets refused, %d repairs refused, %d hostile names read\n",
           kRuns, rebuilt, refusedSet, refusedRepair, hostileNamesRead);
    EXPECT_GT(rebuilt, kRuns / 4);
    EXPECT_GT(refusedSet, kRuns / 20);
    EXPECT_GT(refusedRepair, kRuns / 20);
    EXPECT_GT(hostileNamesRead, 0);
    EXPECT_EQ(ReadText(scratch / L"victim.txt"), "the user's own");
}

} // namespace
