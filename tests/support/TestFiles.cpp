#include "support/TestFiles.h"

#include <bcrypt.h>

#include <algorithm>

namespace testing_support {

TempDir::TempDir(const wchar_t* tag) {
    wchar_t base[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
    std::wstring root(base, n);
    if (!root.empty() && root.back() == L'\\')
        root.pop_back();
    for (unsigned attempt = 0;; ++attempt) {
        wchar_t name[64];
        swprintf(name, 64, L"\\%ls%lu-%lu-%u", tag, ::GetCurrentProcessId(), ::GetTickCount(),
                 attempt);
        path = root + name;
        if (::CreateDirectoryW(path.c_str(), nullptr))
            break;
    }
}

TempDir::~TempDir() {
    RemoveTree(path);
}

std::vector<uint8_t> MakePattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> data(size);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = static_cast<uint8_t>(x >> 24);
    }
    return data;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 24));
        DWORD written = 0;
        ok = ::WriteFile(h, data.data() + done, piece, &written, nullptr) && written == piece;
        done += written;
    }
    ::CloseHandle(h);
    return ok;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& data) {
    data.clear();
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = ::GetFileSizeEx(h, &size) != 0;
    if (ok) {
        data.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < data.size()) {
            DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 24));
            DWORD got = 0;
            ok = ::ReadFile(h, data.data() + done, piece, &got, nullptr) && got == piece;
            done += got;
        }
    }
    ::CloseHandle(h);
    return ok;
}

bool WritePatternFile(const std::wstring& path, uint64_t size, uint32_t seed) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    constexpr size_t kPiece = 1u << 22;
    bool ok = true;
    uint64_t done = 0;
    uint32_t block = 0;
    while (ok && done < size) {
        std::vector<uint8_t> data = MakePattern(kPiece, seed * 7919u + block++);
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(size - done, kPiece));
        DWORD written = 0;
        ok = ::WriteFile(h, data.data(), n, &written, nullptr) && written == n;
        done += written;
    }
    ::CloseHandle(h);
    return ok;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = path + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                ::DeleteFileW(full.c_str());
        } while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

std::string Narrow(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring PartName(const std::wstring& whole, unsigned i) {
    wchar_t suffix[16];
    swprintf(suffix, 16, L".%03u", i);
    return whole + suffix;
}

bool Holds(const std::wstring& path, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> seen;
    return ReadWholeFile(path, seen) && seen == data;
}

bool PartsHold(const std::wstring& whole, unsigned count, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> all, part;
    for (unsigned i = 1; i <= count; ++i) {
        if (!ReadWholeFile(PartName(whole, i), part))
            return false;
        all.insert(all.end(), part.begin(), part.end());
    }
    return all == data;
}

} // namespace testing_support

namespace testing_support {

std::string SystemHash(const wchar_t* id, const void* data, size_t size) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    UCHAR digest[32] = {};
    ULONG length = 0, got = 0;
    bool ok = ::BCryptOpenAlgorithmProvider(&algorithm, id, nullptr, 0) >= 0 &&
              ::BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                  sizeof length, &got, 0) >= 0 &&
              length <= sizeof digest &&
              ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    const auto* bytes = static_cast<const UCHAR*>(data);
    while (ok && size != 0) {
        ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        ok = ::BCryptHashData(hash, const_cast<UCHAR*>(bytes), piece, 0) >= 0;
        bytes += piece;
        size -= piece;
    }
    ok = ok && ::BCryptFinishHash(hash, digest, length, 0) >= 0;
    if (hash)
        ::BCryptDestroyHash(hash);
    if (algorithm)
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok)
        return std::string();
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (ULONG i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

std::string SystemHash(const wchar_t* id, const std::vector<uint8_t>& data) {
    return SystemHash(id, data.data(), data.size());
}

std::string CrcHex(const std::vector<uint8_t>& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    char hex[9];
    snprintf(hex, sizeof hex, "%08X", ~crc);
    return hex;
}

std::string SystemSha256(const void* data, size_t size) {
    return SystemHash(BCRYPT_SHA256_ALGORITHM, data, size);
}

std::string SystemSha256(const std::vector<uint8_t>& data) {
    return SystemSha256(data.data(), data.size());
}

std::string SystemSha256OfFile(const std::wstring& path) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data))
        return std::string();
    return SystemSha256(data);
}

std::string ExpectedChecksumList(const std::wstring& whole, const std::vector<uint8_t>& data,
                                 uint64_t partSize) {
    auto nameOf = [](const std::wstring& path) {
        return Narrow(path.substr(path.rfind(L'\\') + 1));
    };
    // The whole file's line comes first: the split writes it before any part.
    std::string list = SystemSha256(data) + "  " + nameOf(whole) + "\n";
    const uint64_t count = (data.size() + partSize - 1) / partSize;
    for (uint64_t i = 1; i <= count; ++i) {
        const uint64_t offset = (i - 1) * partSize;
        const uint64_t size = std::min<uint64_t>(partSize, data.size() - offset);
        list += SystemSha256(data.data() + offset, size) + "  " +
                nameOf(PartName(whole, static_cast<unsigned>(i))) + "\n";
    }
    return list;
}

bool WriteText(const std::wstring& path, const std::string& text) {
    return WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::wstring& path) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data))
        return "(unreadable)";
    return std::string(data.begin(), data.end());
}

std::string DigestHex(const Sha256Digest& digest) {
    char hex[65];
    Sha256Hex(digest, hex);
    return hex;
}

} // namespace testing_support
