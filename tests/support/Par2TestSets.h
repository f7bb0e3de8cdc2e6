#pragma once

#include "recovery/Par2Set.h"

#include "support/TestFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The files of the set "x" that MakeSet makes, and their sizes: 7, 5 and 2 slices of 8192 bytes.
extern const wchar_t* const kSetNames[3];
extern const uint64_t kSetSizes[3];

// The set "x" of the files above, beside them in dir, with six recovery blocks; seed decides
// their bytes.
void MakeSet(const TempDir& dir, std::vector<std::vector<uint8_t>>& originals, uint32_t seed = 7);

Md5Digest Md5Of(const std::vector<uint8_t>& data);

// How many calls the blocks' reading and the solving took.
struct RepairCalls {
    int reads = 0;
    int solves = 0;
};

// Rebuilds the files of a loaded set from present[f], the bytes found of file f (any size), where
// slices are absent or differ from their checksums. Present slices go in as pieces of `piece`
// bytes, last piece first; the blocks are read and the system solved in calls of `budget` bytes
// of work. files[f] comes out FileSize(f) long.
bool Repair(const Par2Set& set, const std::vector<std::vector<uint8_t>>& present, uint32_t piece,
            std::vector<std::vector<uint8_t>>& files, int32_t& moreNeeded,
            uint32_t budget = 1u << 30, RepairCalls* calls = nullptr);
// The same with the files as they are in folder, under the set's names.
bool RepairFolder(const Par2Set& set, const std::wstring& folder, uint32_t piece,
                  std::vector<std::vector<uint8_t>>& files, int32_t& moreNeeded,
                  uint32_t budget = 1u << 30, RepairCalls* calls = nullptr);

// Makes the MD5 of the packet at `at` right again, as far as the bytes go.
void Rehash(std::vector<uint8_t>& bytes, size_t at);
// A packet of the type with this body (a multiple of 4 bytes), its MD5 right.
std::vector<uint8_t> MakePacket(const uint8_t* type, const Md5Digest& setId,
                                const std::vector<uint8_t>& body);
// Puts first in a file of the set a description of its first described file, with this name
// and, unless 0, size.
void Describe(std::vector<uint8_t>& file, const std::string& name, uint64_t size);
// Where each packet starts in a file the creator wrote, up to the first length that lies.
std::vector<size_t> PacketStarts(const std::vector<uint8_t>& bytes);

// A file that MakeIndex describes: at most one slice.
struct IndexFile {
    std::string name;
    uint64_t size;
};
// An index file as a set of these files would have it, with file IDs 0, 1, ... (which do not
// sort in that order as bytes): the main packet, then for each file from the last a description
// (its hashes zero) and, unless it is empty, the checksums of its slice (zero too).
std::vector<uint8_t> MakeIndex(uint64_t sliceSize, const std::vector<IndexFile>& files,
                               Md5Digest* setId = nullptr);

// One file of a recovery set to make: its name as the set gives it (anything at all) and its bytes.
struct SetFile {
    std::wstring name;
    std::vector<uint8_t> data;
};
// Writes "<wholePath>.par2" and its volumes, made by the program's own creator, for these files
// whatever their names, with slices of sliceSize bytes and the given number of recovery blocks;
// with alsoFiles the files themselves beside them.
bool MakeRecoverySet(const std::wstring& wholePath, const std::vector<SetFile>& files,
                     uint32_t sliceSize, int32_t blocks, bool alsoFiles = false);
// Twelve parts of 8 KiB, "<wholePath>.001" to ".012", with a recovery set of four blocks in
// slices of 4 KiB; then part 2 damaged in its second slice and part 3 gone. files holds the parts
// as they were made.
bool MakeTwelvePartsToRepair(const std::wstring& wholePath, std::vector<SetFile>& files);
// The lines of a sha256sum list for these files, as a split leaves it.
std::string ChecksumLines(const std::vector<SetFile>& files);

} // namespace testing_support
