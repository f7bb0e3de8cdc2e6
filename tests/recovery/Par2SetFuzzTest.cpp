#include "support/Par2TestSets.h"

#include "recovery/Par2Format.h"
#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace testing_support;
using namespace par2;

namespace {

using Bytes = std::vector<uint8_t>;
using Files = std::vector<Bytes>; // the index, the three volumes, a fifth volume; empty: absent
const wchar_t* const kVolumeNames[5] = {L"x.par2", L"x.vol0+1.par2", L"x.vol1+2.par2",
                                        L"x.vol3+3.par2", L"x.vol6+1.par2"};
const char* const kHostileNames[] = {
    "..\\evil.txt", "..\\victim.txt", "C:\\x",        "a:stream", "NUL",
    "COM1.txt",     "name. ",         "\xC3\x28\xFF", "",         "x.001\xE2\x82"};

struct Random : std::minstd_rand {
    using std::minstd_rand::minstd_rand;
    size_t Below(size_t n) { return n == 0 ? 0 : (*this)() % n; }
    template <size_t n> uint64_t Of(const uint64_t (&values)[n]) { return values[Below(n)]; }
};

// A file of the set and where a packet of the type (any when null) starts in it, or null.
Bytes* Pick(Files& f, Random& r, const uint8_t* type, size_t& at) {
    Bytes* file = &f[r.Below(4)];
    std::vector<size_t> starts;
    for (size_t s : PacketStarts(*file)) {
        if (!type || std::equal(type, type + 16, file->begin() + s + 48))
            starts.push_back(s);
    }
    at = starts.empty() ? 0 : starts[r.Below(starts.size())];
    return starts.empty() ? nullptr : file;
}

// The ways of spoiling a set, each picked at random.
const std::function<void(Files&, Random&)> kDamages[] = {
    [](Files& f, Random& r) { // flipped bits
        for (Bytes& b = f[r.Below(4)]; !b.empty() && r.Below(8);)
            b[r.Below(b.size())] ^= static_cast<uint8_t>(1 << r.Below(8));
    },
    [](Files& f, Random& r) { f[r.Below(4)].resize(r.Below(4) ? r.Below(30000) : 0); }, // cut
    [](Files& f, Random& r) { // lying lengths, MD5 right or not
        size_t at;
        if (Bytes* b = Pick(f, r, nullptr, at)) {
            const uint64_t length = GetLe(b->data() + at + 8, 8);
            PutLe(b->data() + at + 8,
                  r.Of({0, 64, 68, length - 4, length + 4, 2 * length, b->size() - at,
                        b->size() - at + 4, uint64_t{1} << 56, r() * 4u}),
                  8);
            if (r.Below(2))
                Rehash(*b, at);
        }
    },
    [](Files& f,
       Random& r) { // the main packet's slice size or file count, with its set's ID or not
        size_t at;
        if (Bytes* b = Pick(f, r, kMainType, at)) {
            if (r.Below(2))
                PutLe(b->data() + at + 64, r.Of({0, 3, 4, 8196, 0xFFFFFFFC, uint64_t{1} << 32}), 8);
            else
                PutLe(b->data() + at + 72, r.Of({0, 2, 4, 32768, 32769, 65535, 0xFFFFFFFF}), 4);
            const size_t length = std::min<size_t>(GetLe(b->data() + at + 8, 8), b->size() - at);
            if (r.Below(2) && length >= 64) { // the set's ID made the body's MD5 again
                const Md5Digest id = Md5Of(Bytes(b->begin() + at + 64, b->begin() + at + length));
                std::copy_n(id.bytes, 16, b->begin() + at + 32);
            }
            Rehash(*b, at);
        }
    },
    [](Files& f, Random& r) { // slice checksums cut short, sizes and exponents that lie
        size_t at;
        const uint32_t kind = r.Below(3);
        const uint8_t* types[] = {kSliceChecksumType, kFileDescType, kRecoveryType};
        if (Bytes* b = Pick(f, r, types[kind], at)) {
            if (kind == 0)
                PutLe(b->data() + at + 8, 80 + 20 * r.Below(8), 8);
            else if (kind == 1)
                PutLe(b->data() + at + 112, r.Of({0, 1, 8193, uint64_t{1} << 40, ~uint64_t{0}}), 8);
            else
                PutLe(b->data() + at + 64, r.Of({1, 5, 32768, 65535, 0xFFFFFFFF}), 4);
            if (r.Below(4))
                Rehash(*b, at);
        }
    },
    [](Files& f, Random& r) { // a packet copied, to a packet's start or anywhere
        size_t at;
        if (Bytes* b = Pick(f, r, nullptr, at)) {
            const Bytes packet(b->begin() + at, b->begin() + at + GetLe(b->data() + at + 8, 8));
            Bytes& to = f[r.Below(4)];
            const std::vector<size_t> starts = PacketStarts(to);
            const size_t where =
                r.Below(2) || starts.empty() ? r.Below(to.size()) : starts[r.Below(starts.size())];
            to.insert(to.begin() + where, packet.begin(), packet.end());
        }
    },
    [](Files& f, Random& r) {
        Describe(f[0], "x.00" + std::to_string(1 + r.Below(3)), r() % 99999 + 1);
    },
    [](Files& f, Random& r) {
        Describe(f[0],
                 r.Below(4) ? kHostileNames[r.Below(std::size(kHostileNames))]
                            : std::string(200 + r.Below(900), 'n'),
                 0);
    },
    [](Files& f, Random& r) { // junk: random bytes, or the magic with lying lengths
        f[4] = MakePattern(1 + r.Below(256 * KiB), r());
        const uint8_t* const types[] = {kMainType, kFileDescType, kSliceChecksumType,
                                        kRecoveryType};
        for (size_t at = 0; r.Below(2) && at + 64 <= f[4].size(); at += 4 * (1 + r.Below(40))) {
            std::copy_n(kMagic, 8, f[4].begin() + at);
            PutLe(f[4].data() + at + 8, r.Below(2) ? f[4].size() - at : r.Below(64 * KiB) * 4, 8);
            std::copy_n(types[r.Below(4)], 16, f[4].begin() + at + 48);
        }
    },
};

// Every entry under the folder: path, size and time of the last write.
void List(const std::wstring& folder, std::vector<std::wstring>& entries) {
    WIN32_FIND_DATAW d;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &d);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &d)) {
        if (d.cFileName[0] == L'.')
            continue;
        entries.push_back(folder + L"\\" + d.cFileName + L" " + std::to_wstring(d.nFileSizeLow) +
                          L" " + std::to_wstring(d.ftLastWriteTime.dwLowDateTime));
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            List(folder + L"\\" + d.cFileName, entries);
    }
    ::FindClose(find);
}

// Sets the creator wrote, each spoilt in one to three ways, read from a folder in a scratch
// folder while parts are lost or damaged in memory: every load ends in bounded steps and leaves
// every file as it was; the repair then rebuilds the original of every part it rebuilds to the
// set's MD5, or it or the set is refused.
TEST(Par2SetFuzz, DamagedAndHostileSetsAreReadOrRefused) {
    constexpr int kRuns = 1500;
    TempDir scratch;
    const std::wstring folder = scratch / L"set";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteText(scratch / L"victim.txt", "the user's own"));
    std::vector<Bytes> originals;
    Files made(5), onDisk(5);
    ASSERT_NO_FATAL_FAILURE(MakeSet(scratch, originals));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(ReadWholeFile(scratch / kVolumeNames[i], made[i]));
        ASSERT_TRUE(::DeleteFileW((scratch / kVolumeNames[i]).c_str()));
    }
    int outcomes[3] = {}; // rebuilt, set refused, repair refused
    int hostileNames = 0; // read as they are
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        Random random(run + 1);
        Files files = made;
        for (size_t n = 1 + random.Below(3); n > 0; --n)
            kDamages[random.Below(std::size(kDamages))](files, random);
        uint64_t bytes = 0;
        for (int i = 0; i < 5; ++i) {
            bytes += files[i].size();
            const std::wstring path = folder + L"\\" + kVolumeNames[i];
            if (files[i] != onDisk[i]) {
                ASSERT_TRUE(files[i].empty() ? ::DeleteFileW(path.c_str())
                                             : WriteWholeFile(path, files[i]));
            }
            onDisk[i] = files[i];
        }
        std::vector<std::wstring> before, after;
        List(scratch.Path(), before);
        Par2Set set;
        Par2Set::LoadStep step = Par2Set::LoadStep::Failed;
        if (set.BeginLoad((folder + L"\\x").c_str())) {
            for (int steps = 0; (step = set.LoadMore()) == Par2Set::LoadStep::Working; ++steps)
                ASSERT_LT(static_cast<uint64_t>(steps),
                          2 * bytes / Par2PacketScan::kProbeBytes + 64);
        }
        const DWORD error = ::GetLastError();
        List(scratch.Path(), after);
        ASSERT_TRUE(before == after);
        if (step != Par2Set::LoadStep::Done) {
            EXPECT_TRUE(error == ERROR_INVALID_DATA || error == ERROR_FILE_NOT_FOUND) << error;
            ++outcomes[1];
            continue;
        }
        // The parts the set knows by their MD5, and one part lost or damaged.
        std::vector<Bytes> present(set.FileCount()), rebuilt;
        for (int32_t f = 0; f < set.FileCount(); ++f) {
            for (const Bytes& original : originals)
                present[f] = Md5Of(original) == set.FileHash(f) ? original : present[f];
            hostileNames += wcspbrk(set.FileName(f), L"\\:") != nullptr;
        }
        Bytes& spoilt = present[random.Below(present.size())];
        random.Below(2) || spoilt.empty() ? spoilt.clear()
                                          : void(spoilt[random.Below(spoilt.size())] ^= 1);
        int32_t moreNeeded = 0;
        // What a join refuses for want of memory, this test does too.
        if (uint64_t{set.SliceSize()} * set.TotalSlices() > 64 * MiB ||
            !Repair(set, present, 3000, rebuilt, moreNeeded)) {
            ++outcomes[2];
            continue;
        }
        bool whole = true;
        for (int32_t f = 0; f < set.FileCount(); ++f) {
            whole = whole && Md5Of(rebuilt[f]) == set.FileHash(f);
            for (const Bytes& original : originals)
                ASSERT_TRUE(Md5Of(rebuilt[f]) != Md5Of(original) || rebuilt[f] == original);
        }
        ++outcomes[whole ? 0 : 2];
    }
    printf("%d sets: %d rebuilt, %d refused, %d not repaired\n", kRuns, outcomes[0], outcomes[1],
           outcomes[2]);
    for (int outcome : outcomes)
        EXPECT_GT(outcome, kRuns / 20);
    EXPECT_GT(hostileNames, 0);
    EXPECT_EQ(ReadText(scratch / L"victim.txt"), "the user's own");
}

} // namespace
