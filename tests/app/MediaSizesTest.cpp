#include <gtest/gtest.h>

#include "app/MediaSizes.h"

#include <string>

namespace {

TEST(MediaSizes, EveryNameIsFoundLooselyAndNothingElse) {
    for (const MediaSize& media : kMediaSizes) {
        EXPECT_EQ(FindMediaSize(media.name), &media);
        std::wstring loose;
        for (const wchar_t* p = media.name; *p; ++p)
            if (*p != L' ')
                loose += static_cast<wchar_t>(*p >= L'A' && *p <= L'Z' ? *p + 32 : *p);
        EXPECT_EQ(FindMediaSize((L"  " + loose + L" ").c_str()), &media)
            << testing::PrintToString(loose);
    }
    for (const wchar_t* name : {L"DVD", L"DVD 4.37 GB x", L"email 25 MB", L" "})
        EXPECT_EQ(FindMediaSize(name), nullptr) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(FindMediaSize(nullptr), nullptr);
    EXPECT_EQ(MediaSizeBytes(*FindMediaSize(L"BD 22.5 GB")), 23040ull << 20);
}

} // namespace
