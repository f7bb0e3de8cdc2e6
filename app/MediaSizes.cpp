#include "app/MediaSizes.h"

#include <cwctype>

// FAT32 holds no file of 4 GiB; base64 makes an attachment a third larger, and its line ends
// add 2 bytes in 78, so 17 MiB still goes through a 25 MB (25,000,000 bytes) limit with room for
// the message around it.
const MediaSize kMediaSizes[kMediaSizeCount] = {
    {L"FAT32 largest", 4294967295u, kSizeUnitByte},
    {L"CD 700 MB", 700, kSizeUnitMB},
    {L"DVD 4.37 GB", 4480, kSizeUnitMB},
    {L"DVD DL 7.93 GB", 8128, kSizeUnitMB},
    {L"BD 22.5 GB", 23040, kSizeUnitMB},
    {L"E-mail 25 MB", 17, kSizeUnitMB},
};

namespace {

const wchar_t* SkipBlanks(const wchar_t* p) {
    while (*p == L' ')
        ++p;
    return p;
}

bool SameNameLoosely(const wchar_t* given, const wchar_t* name) {
    for (;;) {
        given = SkipBlanks(given);
        name = SkipBlanks(name);
        if (*given == 0 || *name == 0)
            return *given == *name;
        // The names are ASCII: a wider letter matches none of them.
        if (std::towlower(*given) != std::towlower(*name))
            return false;
        ++given;
        ++name;
    }
}

} // namespace

const MediaSize* FindMediaSize(const wchar_t* name) {
    if (name == nullptr || *SkipBlanks(name) == 0)
        return nullptr;
    for (const MediaSize& media : kMediaSizes) {
        if (SameNameLoosely(name, media.name))
            return &media;
    }
    return nullptr;
}
