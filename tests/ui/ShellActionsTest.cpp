#include "ui/ShellActions.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Explorer itself must never start here (under Wine it would outlive the test and hold its
// output); the opening is recorded instead, after the shell's real parsing.
struct Opened {
    int calls = 0;
    UINT count = 0;
    std::wstring folder;
    std::vector<std::wstring> items;
};
Opened opened;

HRESULT WINAPI RecordOpen(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items,
                          DWORD) {
    ++opened.calls;
    opened.count = count;
    wchar_t text[MAX_PATH];
    opened.folder = ::SHGetPathFromIDListW(folder, text) ? text : L"?";
    opened.items.clear();
    for (UINT i = 0; i < count; ++i) {
        opened.items.push_back(
            ::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(items[i]), text) ? text
                                                                                        : L"?");
    }
    return S_OK;
}

int parsed = 0;
ParseDisplayNameProc realParse = nullptr;
HRESULT WINAPI CountingParse(PCWSTR name, IBindCtx* bindContext, PIDLIST_ABSOLUTE* item,
                             SFGAOF asked, SFGAOF* attributes) {
    ++parsed;
    return realParse(name, bindContext, item, asked, attributes);
}

class ShellActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        InitShellEntryPoints();
        ASSERT_NE(gParseDisplayName, nullptr);
        ASSERT_NE(gOpenFolderAndSelectItems, nullptr);
        realParse = gParseDisplayName;
        gParseDisplayName = CountingParse;
        gOpenFolderAndSelectItems = RecordOpen;
        opened = Opened();
        parsed = 0;
    }
    void TearDown() override {
        gParseDisplayName = nullptr;
        gOpenFolderAndSelectItems = nullptr;
        CoUninitialize();
    }
    TempDir dir{L"shell"};
};

TEST_F(ShellActionsTest, OpeningAFileWithoutAnAssociatedProgramFails) {
    const std::wstring file = dir / L"data.zzqqxy";
    ASSERT_TRUE(WriteWholeFile(file, MakePattern(10)));
    EXPECT_FALSE(OpenWithShell(file.c_str()));
}

TEST_F(ShellActionsTest, SelectingOneFileOpensItsFolderWithIt) {
    const std::wstring file = dir / L"one.bin";
    ASSERT_TRUE(WriteWholeFile(file, MakePattern(10)));
    EXPECT_TRUE(SelectInExplorer(file.c_str()));
    EXPECT_EQ(opened.calls, 1);
    EXPECT_EQ(opened.count, 0u);
    EXPECT_EQ(::lstrcmpiW(opened.folder.c_str(), file.c_str()), 0);
}

TEST_F(ShellActionsTest, SelectingAMissingFileOpensNothing) {
    EXPECT_FALSE(SelectInExplorer((dir / L"missing.bin").c_str()));
    EXPECT_EQ(opened.calls, 0);
}

TEST_F(ShellActionsTest, TenPartsOpenTheirFolderOnceWithAllSelected) {
    std::vector<std::wstring> paths;
    for (unsigned i = 1; i <= 10; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"film.avi.%03u", i);
        paths.push_back(dir / name);
        ASSERT_TRUE(WriteWholeFile(paths.back(), MakePattern(3, i)));
    }
    std::vector<const wchar_t*> texts;
    for (const std::wstring& path : paths)
        texts.push_back(path.c_str());
    EXPECT_TRUE(SelectFilesInExplorer(texts.data(), 10));
    ASSERT_EQ(opened.calls, 1);
    EXPECT_EQ(opened.count, 10u);
    EXPECT_EQ(::lstrcmpiW(opened.folder.c_str(), dir.Path().c_str()), 0);
    ASSERT_EQ(opened.items.size(), 10u);
    for (unsigned i = 0; i < 10; ++i)
        EXPECT_EQ(::lstrcmpiW(opened.items[i].c_str(), paths[i].c_str()), 0);
}

TEST_F(ShellActionsTest, NoFilesMeansNoShellCallAtAll) {
    const wchar_t* none[] = {L"C:\\x"};
    EXPECT_FALSE(SelectFilesInExplorer(none, 0));
    EXPECT_FALSE(SelectFilesInExplorer(none, -1));
    EXPECT_EQ(parsed, 0);
    EXPECT_EQ(opened.calls, 0);
}

TEST_F(ShellActionsTest, OneMissingFileAmongThemOpensNothing) {
    const std::wstring a = dir / L"a.001", b = dir / L"a.002", c = dir / L"a.003";
    ASSERT_TRUE(WriteWholeFile(a, MakePattern(3)));
    ASSERT_TRUE(WriteWholeFile(c, MakePattern(3)));
    const wchar_t* paths[] = {a.c_str(), b.c_str(), c.c_str()};
    EXPECT_FALSE(SelectFilesInExplorer(paths, 3));
    EXPECT_EQ(opened.calls, 0);
}

TEST_F(ShellActionsTest, WithoutTheEntryPointsSelectionFailsAtOnce) {
    gParseDisplayName = nullptr;
    const std::wstring file = dir / L"x.bin";
    ASSERT_TRUE(WriteWholeFile(file, MakePattern(3)));
    const wchar_t* paths[] = {file.c_str()};
    EXPECT_FALSE(SelectInExplorer(file.c_str()));
    EXPECT_FALSE(SelectFilesInExplorer(paths, 1));
    EXPECT_EQ(opened.calls, 0);
}

} // namespace
