#include "support/RecoverySets.h"

#include "support/TestFiles.h"

#include "recovery/Md5.h"
#include "recovery/Par2Creator.h"
#include "recovery/Par2Format.h"
#include "recovery/RecoveryFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace testing_support {

namespace {

// The creator takes no name with a folder in it; such a name is made with '_' in place of each
// separator and written into the set's description packets afterwards, each packet sealed anew.
std::wstring Placeholder(const std::wstring& name) {
    std::wstring stand = name;
    std::replace(stand.begin(), stand.end(), L'\\', L'_');
    std::replace(stand.begin(), stand.end(), L'/', L'_');
    return stand;
}

bool RenameInFile(const std::wstring& path, const std::string& from, const std::string& to) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes))
        return false;
    for (size_t at = 0; at + par2::kHeaderBytes <= bytes.size();) {
        uint64_t length = 0;
        for (int i = 7; i >= 0; --i)
            length = (length << 8) | bytes[at + 8 + i];
        if (length < par2::kHeaderBytes || length > bytes.size() - at)
            return false;
        uint8_t* packet = bytes.data() + at;
        char* name = reinterpret_cast<char*>(packet + par2::kHeaderBytes + 56);
        if (memcmp(packet + 48, par2::kFileDescType, 16) == 0 &&
            length >= par2::kHeaderBytes + 56 + from.size() &&
            memcmp(name, from.data(), from.size()) == 0 &&
            (length == par2::kHeaderBytes + 56 + from.size() || name[from.size()] == 0)) {
            memcpy(name, to.data(), to.size());
            Md5 seal;
            seal.Update(packet + 32, static_cast<size_t>(length - 32));
            const Md5Digest sealed = seal.Finish();
            memcpy(packet + 16, sealed.bytes, 16);
        }
        at += static_cast<size_t>(length);
    }
    return WriteWholeFile(path, bytes);
}

bool RenameInSet(const std::wstring& wholePath, const std::string& from, const std::string& to) {
    const std::wstring folder = wholePath.substr(0, wholePath.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((wholePath + L"*.par2").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do
        ok = ok && RenameInFile(folder + found.cFileName, from, to);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ok;
}

} // namespace

bool MakeRecoverySet(const std::wstring& wholePath, const std::vector<SetFile>& files,
                     uint32_t sliceSize, int32_t blocks) {
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
        const size_t head = files[i].data.size() < Par2Creator::kHeadBytes
                                ? files[i].data.size()
                                : Par2Creator::kHeadBytes;
        if (!creator.SetFileHead(static_cast<int32_t>(i), files[i].data.data(),
                                 static_cast<uint32_t>(head)))
            return false;
    }
    for (const SetFile& file : files) {
        if (!file.data.empty() && !creator.AddData(file.data.data(), file.data.size()))
            return false;
    }
    RecoveryFiles written;
    if (!written.Create(creator, wholePath.c_str()) || !written.Complete(creator))
        return false;
    written.Drop();
    for (size_t i = 0; i < files.size(); ++i) {
        if (stands[i] != files[i].name &&
            !RenameInSet(wholePath, Narrow(stands[i]), Narrow(files[i].name)))
            return false;
    }
    return true;
}

std::string ChecksumLines(const std::vector<SetFile>& files) {
    std::string text;
    for (const SetFile& file : files)
        text += SystemSha256(file.data) + "  " + Narrow(file.name) + "\n";
    return text;
}

} // namespace testing_support
