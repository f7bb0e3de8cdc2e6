#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The small real volume that scripts/with-small-volume.sh offers to Wine, for the tests that fill
// a disk. Its root ("T:\"), or empty when this run has none.
std::wstring SmallVolumeRoot();
// The root of the drive whose file system is FAT32 ("F:\"), or empty when this run has none.
std::wstring Fat32Root();
// A folder shown read-only, as a disc or a read-only share ("R:\"), and the same folder
// writable ("W:\"), where the test puts what R: then shows; empty when this run has none.
std::wstring ReadOnlyRoot();
std::wstring ReadOnlySourceRoot();
// A file of this size that takes no room: its bytes are all zero.
bool MakeSparseFile(const std::wstring& path, uint64_t size);
// Bytes this user may still write on the volume that holds the folder.
uint64_t AvailableOn(const std::wstring& folder);
// The names of the files in the folder, sorted; subfolders are left out.
std::vector<std::wstring> FilesIn(const std::wstring& folder);
// Deletes every file in the folder.
void EmptyFolder(const std::wstring& folder);

} // namespace testing_support
