#include <gtest/gtest.h>

#include "app/WideString.h"
#include "support/SmallAddressSpace.h"

#include <string>

namespace {

std::wstring Repeat(wchar_t c, size_t n) {
    return std::wstring(n, c);
}

} // namespace

TEST(WideString, NewStringReadsEmptyWithoutBuffer) {
    WideString s;
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_STREQ(s.Text(), L"");
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Capacity(), 0u);
}

TEST(WideString, CapacityRule) {
    EXPECT_EQ(WideString::BytesFor(0), 16u);
    EXPECT_EQ(WideString::BytesFor(6), 16u);
    EXPECT_EQ(WideString::BytesFor(7), 32u);
    EXPECT_EQ(WideString::BytesFor(14), 32u);
    EXPECT_EQ(WideString::BytesFor(15), 48u);
    EXPECT_EQ(WideString::BytesFor(16), 48u);
    EXPECT_EQ(WideString::BytesFor(100), 208u);
    for (uint32_t n = 0; n < 300; ++n)
        EXPECT_GT(WideString::BytesFor(n), 2 * n + 2) << n;
}

TEST(WideString, FormatReusesTheBufferUntilItIsOutgrown) {
    WideString s;
    s.Format(L"%s", L"1234567");
    EXPECT_STREQ(s.Text(), L"1234567");
    EXPECT_EQ(s.Length(), 7u);
    EXPECT_EQ(s.Capacity(), 32u);
    wchar_t* first = s.Buffer();

    s.Format(L"%s", L"abcdefghijklmn");
    EXPECT_STREQ(s.Text(), L"abcdefghijklmn");
    EXPECT_EQ(s.Length(), 14u);
    EXPECT_EQ(s.Capacity(), 32u);
    EXPECT_EQ(s.Buffer(), first);

    s.Format(L"%s", L"abcdefghijklmno");
    EXPECT_STREQ(s.Text(), L"abcdefghijklmno");
    EXPECT_EQ(s.Length(), 15u);
    EXPECT_EQ(s.Capacity(), 48u);

    // Shorter texts never shrink the buffer.
    s.Format(L"x");
    EXPECT_STREQ(s.Text(), L"x");
    EXPECT_EQ(s.Length(), 1u);
    EXPECT_EQ(s.Capacity(), 48u);

    std::wstring hundred = Repeat(L'q', 100);
    s.Format(L"%s", hundred.c_str());
    EXPECT_EQ(s.Text(), hundred);
    EXPECT_EQ(s.Capacity(), 208u);
}

TEST(WideString, FormatsFollowTheMicrosoftWideRules) {
    WideString s;
    s.Format(L"%s.%03u", L"D:\\films\\trip.avi", 7u);
    EXPECT_STREQ(s.Text(), L"D:\\films\\trip.avi.007");
    s.Format(L"%s.%03u", L"D:\\films\\trip.avi", 1000u);
    EXPECT_STREQ(s.Text(), L"D:\\films\\trip.avi.1000");
    s.Format(L"Click Split button to begin (%llu parts will be created).", 18446744073709551615ull);
    EXPECT_STREQ(s.Text(),
                 L"Click Split button to begin (18446744073709551615 parts will be created).");
    // A 64-bit argument followed by another must not shift the second one.
    s.Format(L"%llu/%u", 4294967296ull, 5u);
    EXPECT_STREQ(s.Text(), L"4294967296/5");
    s.Format(L"%s [%.00f %%]", L"trip.avi", 12.5);
    EXPECT_STREQ(s.Text(), L"trip.avi [13 %]");
    s.Format(L"%.00f", 99.4);
    EXPECT_STREQ(s.Text(), L"99");
    s.Format(L"%.02f MB", 2.0 / 3.0);
    EXPECT_STREQ(s.Text(), L"0.67 MB");
    s.Format(L"100%%");
    EXPECT_STREQ(s.Text(), L"100%");
    EXPECT_EQ(s.Length(), 4u);
    s.Format(L"Error #%u.", 4294967295u);
    EXPECT_STREQ(s.Text(), L"Error #4294967295.");
    // Characters outside Latin-1 pass through unchanged.
    s.Format(L"%s", L"\x0416\x4E2D\xD83D\xDE00");
    EXPECT_STREQ(s.Text(), L"\x0416\x4E2D\xD83D\xDE00");
    EXPECT_EQ(s.Length(), 4u);
}

TEST(WideString, FormatOfAnEmptyTextKeepsABuffer) {
    WideString s;
    s.Format(L"%s", L"");
    ASSERT_NE(s.Buffer(), nullptr);
    EXPECT_EQ(s.Capacity(), 16u);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_STREQ(s.Text(), L"");
}

TEST(WideString, AppendFormatKeepsTheContentWhenGrowing) {
    WideString s;
    s.Format(L"%s", L"Error opening");
    EXPECT_EQ(s.Capacity(), 32u);
    s.AppendFormat(L": #%u - %s", 5u, L"Access denied.");
    EXPECT_STREQ(s.Text(), L"Error opening: #5 - Access denied.");
    EXPECT_EQ(s.Length(), 34u);
    EXPECT_EQ(s.Capacity(), WideString::BytesFor(34));

    // Appending within the capacity writes in place.
    WideString t;
    t.Format(L"ab");
    wchar_t* buffer = t.Buffer();
    t.AppendFormat(L"%u", 1234u);
    EXPECT_EQ(t.Buffer(), buffer);
    EXPECT_STREQ(t.Text(), L"ab1234");
    EXPECT_EQ(t.Length(), 6u);

    // Onto a string that has no buffer yet.
    WideString u;
    u.AppendFormat(L"%s.%03u", L"x", 2u);
    EXPECT_STREQ(u.Text(), L"x.002");
    EXPECT_EQ(u.Length(), 5u);
}

TEST(WideString, AssignCopiesExactlyTheGivenUnits) {
    WideString s;
    s.Assign(nullptr, 0);
    ASSERT_NE(s.Buffer(), nullptr);
    EXPECT_EQ(s.Capacity(), 16u);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Buffer()[0], L'\0');

    s.Assign(L"D:\\my files\\movie.avi\" tail", 21);
    EXPECT_STREQ(s.Text(), L"D:\\my files\\movie.avi");
    EXPECT_EQ(s.Length(), 21u);
    EXPECT_EQ(s.Capacity(), 48u);

    // A shorter text goes into the same buffer.
    wchar_t* buffer = s.Buffer();
    s.Assign(L"abc", 3);
    EXPECT_EQ(s.Buffer(), buffer);
    EXPECT_STREQ(s.Text(), L"abc");
    EXPECT_EQ(s.Capacity(), 48u);
}

TEST(WideString, ReserveDropsAndReserveKeepKeepsTheContent) {
    WideString s;
    s.Assign(L"abcdef", 6);
    wchar_t* buffer = s.Buffer();
    EXPECT_EQ(s.Reserve(6), buffer);
    EXPECT_STREQ(s.Text(), L"abcdef");
    EXPECT_EQ(s.Length(), 6u);

    ASSERT_NE(s.Reserve(20), nullptr);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Capacity(), 48u);
    EXPECT_STREQ(s.Text(), L"");

    WideString k;
    k.Assign(L"abcdef", 6);
    ASSERT_NE(k.ReserveKeep(40), nullptr);
    EXPECT_STREQ(k.Text(), L"abcdef");
    EXPECT_EQ(k.Length(), 6u);
    EXPECT_EQ(k.Capacity(), 96u);
}

// Runs in a process that can't get 2 GiB in one piece, whatever its size.
TEST(SmallAddressSpace, FailedWideStringAllocationLeavesTheStringEmpty) {
    ASSERT_TRUE(testing_support::CannotReserve(testing_support::kAlmostTwoGiB));
    WideString s;
    s.Assign(L"abc", 3);
    ::SetLastError(0);
    EXPECT_EQ(s.Reserve(0x3FFFFFF0u), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Capacity(), 0u);
    EXPECT_STREQ(s.Text(), L"");

    // The next call tries again.
    s.Format(L"%u", 42u);
    EXPECT_STREQ(s.Text(), L"42");

    ::SetLastError(0);
    EXPECT_EQ(s.ReserveKeep(0x7FFFFFF8u), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.Capacity(), 0u);
}

// Too large for the capacity rule itself: refused before the system is asked, in any process.
TEST(WideString, TooLargeForTheCapacityRuleLeavesTheStringEmpty) {
    WideString s;
    s.Assign(L"abc", 3);
    ::SetLastError(0);
    s.Assign(L"", 0xFFFFFFFFu);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Length(), 0u);
    ::SetLastError(0);
    EXPECT_EQ(s.ReserveKeep(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(WideString, CutAfterLastBackslash) {
    WideString s;
    s.Assign(L"D:\\films\\movie.avi", 18);
    EXPECT_TRUE(s.CutAfterLastBackslash());
    EXPECT_STREQ(s.Text(), L"D:\\films\\");
    EXPECT_EQ(s.Length(), 9u);
    // A trailing backslash is its own last one.
    EXPECT_TRUE(s.CutAfterLastBackslash());
    EXPECT_STREQ(s.Text(), L"D:\\films\\");

    s.Assign(L"D:\\movie.avi", 12);
    EXPECT_TRUE(s.CutAfterLastBackslash());
    EXPECT_STREQ(s.Text(), L"D:\\");
    EXPECT_EQ(s.Length(), 3u);

    s.Assign(L"movie.avi", 9);
    EXPECT_FALSE(s.CutAfterLastBackslash());
    EXPECT_STREQ(s.Text(), L"movie.avi");
    EXPECT_EQ(s.Length(), 9u);

    s.Assign(L"\\movie.avi", 10);
    EXPECT_FALSE(s.CutAfterLastBackslash());
    EXPECT_STREQ(s.Text(), L"\\movie.avi");
    EXPECT_EQ(s.Length(), 10u);

    WideString empty;
    EXPECT_FALSE(empty.CutAfterLastBackslash());
    empty.Assign(L"", 0);
    EXPECT_FALSE(empty.CutAfterLastBackslash());
}

TEST(WideString, CopyTakesTheSourceCapacityAndItsOwnBuffer) {
    WideString source;
    source.Assign(L"D:\\films\\trip.avi.001", 21);
    source.Reserve(21); // no change: it fits
    WideString grown;
    grown.Format(L"%s", L"a much longer text than the copy will hold later on");
    grown.Format(L"abc");

    WideString copy(grown);
    EXPECT_STREQ(copy.Text(), L"abc");
    EXPECT_EQ(copy.Length(), 3u);
    EXPECT_EQ(copy.Capacity(), grown.Capacity());
    EXPECT_NE(copy.Buffer(), grown.Buffer());
    copy.Buffer()[0] = L'X';
    EXPECT_STREQ(grown.Text(), L"abc");

    WideString none;
    WideString copyOfNone(none);
    EXPECT_EQ(copyOfNone.Buffer(), nullptr);
    EXPECT_EQ(copyOfNone.Capacity(), 0u);
    EXPECT_STREQ(copyOfNone.Text(), L"");

    WideString assigned;
    assigned = source;
    EXPECT_STREQ(assigned.Text(), L"D:\\films\\trip.avi.001");
    EXPECT_EQ(assigned.Length(), 21u);
    EXPECT_NE(assigned.Buffer(), source.Buffer());
}

TEST(WideString, BuffersComeFromTheProcessHeap) {
    WideString s;
    s.Format(L"%s", L"abcdefghij");
    ASSERT_NE(s.Buffer(), nullptr);
    EXPECT_TRUE(::HeapValidate(::GetProcessHeap(), 0, s.Buffer()));
    EXPECT_EQ(::HeapSize(::GetProcessHeap(), 0, s.Buffer()), static_cast<SIZE_T>(s.Capacity()));
}
