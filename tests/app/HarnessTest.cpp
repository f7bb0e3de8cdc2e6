#include <gtest/gtest.h>

#include "support/TestFiles.h"

using namespace testing_support;

// The harness itself: a real file on the prefix's drive, and a display to make windows on.
TEST(Harness, FilesRoundTripOnTheTempDrive) {
    TempDir dir;
    std::vector<uint8_t> data = MakePattern(70000, 3), back;
    ASSERT_TRUE(WriteWholeFile(dir / L"a.bin", data));
    ASSERT_TRUE(ReadWholeFile(dir / L"a.bin", back));
    EXPECT_EQ(data, back);
    EXPECT_EQ(FileSize(dir / L"a.bin"), 70000);
}

TEST(Harness, WindowsCanBeCreated) {
    HWND w = CreateWindowExW(0, L"STATIC", L"x", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(DestroyWindow(w));
}
