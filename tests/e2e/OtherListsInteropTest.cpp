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

// Each set joined, and the status bar names the file that checked it; in a copy with part 5
// damaged the lists of parts name it, the .crc finds the whole file wrong, and nothing is joined.
TEST_F(OtherListsInteropTest, JoinsWhatTheirFilesVouchForAndNamesTheDamage) {
    for (const wchar_t* kind : {L"sfv", L"md5", L"sha1", L"crc"}) {
        for (const bool bad : {false, true}) {
            const std::wstring whole = std::wstring(bad ? L"bad-" : L"") + kind + L".bin";
            SCOPED_TRACE(Narrow(whole));
            MainWindowRun run(L" /j \"" + dir + L"\\" + whole + L".001\"");
            ASSERT_TRUE(run.Found());
            const std::wstring ended = bad ? L"Error occurred !" : whole + L" joined !";
            ASSERT_EQ(run.WaitForStatus(ended, 120000), ended) << Narrow(run.StatusBar());
            const std::wstring said =
                !bad ? L"Verified by " + whole + L"." + kind + L"; " + dir + L"\\" + whole
                : wcscmp(kind, L"crc") == 0 ? L"Joined file " + whole + L" is damaged"
                                            : L"Part " + whole + L".005 is damaged";
            // Joined: the whole status bar; not joined: the step, before the system's text.
            EXPECT_EQ(bad ? run.StatusBar().substr(0, said.size()) : run.StatusBar(), said);
            run.Close();
            EXPECT_EQ(run.Program().WaitForExit(10000), bad ? 3u : 0u); // damaged, or done
        }
    }
}

} // namespace
} // namespace e2e
