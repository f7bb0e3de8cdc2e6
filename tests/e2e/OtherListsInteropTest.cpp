#include "EndToEndSupport.h"

using namespace testing_support;

namespace e2e {
namespace {

// Sets that GNU split cut, each beside the checksum file another tool wrote for it: cksfv's .sfv,
// md5sum's and sha1sum's lists, and a .crc written to the file managers' format.
// scripts/interop-test.sh makes them, runs these cases with BRINDLECOT_INTEROP_DIR pointing at
// them, and compares the joined files with the original afterwards.
class OtherListsInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        if (!::GetEnvironmentVariableW(L"BRINDLECOT_INTEROP_DIR", folder, MAX_PATH))
            GTEST_SKIP() << "run through scripts/interop-test.sh";
        dir = folder;
        RemoveSettingsKey();
    }
    std::wstring dir;
};

const wchar_t* const kKinds[] = {L"sfv", L"md5", L"sha1", L"crc"};

// Whole sets: joined, and the status bar names the file that checked them.
TEST_F(OtherListsInteropTest, JoinsWhatTheirFilesVouchFor) {
    for (const wchar_t* kind : kKinds) {
        const std::wstring whole = std::wstring(kind) + L".bin";
        SCOPED_TRACE(Narrow(whole));
        MainWindowRun run(L" /j \"" + dir + L"\\" + whole + L".001\"");
        ASSERT_TRUE(run.Found());
        const std::wstring joined = whole + L" joined !";
        ASSERT_EQ(run.WaitForStatus(joined, 120000), joined) << Narrow(run.StatusBar());
        EXPECT_EQ(run.StatusBar(),
                  L"Verified by " + whole + L"." + kind + L"; " + dir + L"\\" + whole);
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    }
}

// Part 5 of each set damaged: the lists of parts name it, the .crc finds the whole file wrong,
// and nothing is joined.
TEST_F(OtherListsInteropTest, NamesTheDamage) {
    for (const wchar_t* kind : kKinds) {
        const std::wstring whole = std::wstring(L"bad-") + kind + L".bin";
        SCOPED_TRACE(Narrow(whole));
        MainWindowRun run(L" /j \"" + dir + L"\\" + whole + L".001\"");
        ASSERT_TRUE(run.Found());
        ASSERT_EQ(run.WaitForStatus(L"Error occurred !", 120000), L"Error occurred !");
        const std::wstring said = wcscmp(kind, L"crc") == 0
                                      ? L"Joined file " + whole + L" is damaged"
                                      : L"Part " + whole + L".005 is damaged";
        EXPECT_EQ(run.StatusBar().rfind(said, 0), 0u) << Narrow(run.StatusBar());
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 3u); // damaged
    }
}

} // namespace
} // namespace e2e
