#pragma once

#include <windows.h>

#include "recovery/Sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the user's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const wchar_t* tag = L"bc");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path; }
    // The full path of a name inside the folder.
    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }

private:
    std::wstring path;
};

// Bytes that differ from position to position and from seed to seed, so that a slice in the
// wrong place or order never compares equal.
std::vector<uint8_t> MakePattern(size_t size, uint32_t seed = 1);

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data);
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& data);
// Whether the file can be read and holds these bytes, and no more.
bool Holds(const std::wstring& path, const std::vector<uint8_t>& data);
bool WriteText(const std::wstring& path, const std::string& text);
// "(unreadable)" when the file can't be read.
std::string ReadText(const std::wstring& path);
// Writes a file of the given size in pieces, without holding it in memory.
bool WritePatternFile(const std::wstring& path, uint64_t size, uint32_t seed = 1);
bool FileExists(const std::wstring& path);
// -1 when the file can't be asked.
int64_t FileSize(const std::wstring& path);
bool RemoveTree(const std::wstring& path);

std::string Narrow(const std::wstring& text);

constexpr uint64_t KiB = 1024;
constexpr uint64_t MiB = 1024 * 1024;

// SHA-256 in lowercase hex, from the system's own implementation (CNG), so that the program's
// digests are checked against code that is not its own.
std::string SystemSha256(const void* data, size_t size);
// The same for another of the system's hashes (BCRYPT_MD5_ALGORITHM, BCRYPT_SHA1_ALGORITHM ...).
std::string SystemHash(const wchar_t* id, const void* data, size_t size);
std::string SystemHash(const wchar_t* id, const std::vector<uint8_t>& data);
// The CRC-32 of cksfv and the file managers, in upper-case hex, bit by bit.
std::string CrcHex(const std::vector<uint8_t>& data);
std::string SystemSha256(const std::vector<uint8_t>& data);
// The file's digest; empty when it can't be read.
std::string SystemSha256OfFile(const std::wstring& path);
// The list GNU sha256sum writes for the parts of this size of data and for the whole file.
std::string ExpectedChecksumList(const std::wstring& whole, const std::vector<uint8_t>& data,
                                 uint64_t partSize);
// One of the program's digests in the same form.
std::string DigestHex(const Sha256Digest& digest);

// Part i of a whole file: "whole.%03u".
std::wstring PartName(const std::wstring& whole, unsigned i);
// Whether parts 1 to count of whole can be read and hold these bytes one after the other.
bool PartsHold(const std::wstring& whole, unsigned count, const std::vector<uint8_t>& data);

} // namespace testing_support
