#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// One file of a recovery set to make: its name as the set gives it (anything at all) and its bytes.
struct SetFile {
    std::wstring name;
    std::vector<uint8_t> data;
};

// Writes "<wholePath>.par2" and its volumes, made by the program's own creator, for these files
// whatever their names, with slices of sliceSize bytes and the given number of recovery blocks.
bool MakeRecoverySet(const std::wstring& wholePath, const std::vector<SetFile>& files,
                     uint32_t sliceSize, int32_t blocks);

// The lines of a sha256sum list for these files, as a split leaves it.
std::string ChecksumLines(const std::vector<SetFile>& files);

} // namespace testing_support
