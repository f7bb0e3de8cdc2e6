#include "EndToEndSupport.h"
#include "ops/Commands.h"

#include <cwchar>

using namespace testing_support;

namespace e2e {
namespace {

// The program next to real peers (split, cat, 7z): scripts/interop-test.sh prepares the files on
// the Linux side, runs these cases with BRINDLECOT_INTEROP_DIR pointing at them, and checks the
// results with the peers afterwards.
class InteropTest : public CleanSettingsTest {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        if (!::GetEnvironmentVariableW(L"BRINDLECOT_INTEROP_DIR", folder, MAX_PATH))
            GTEST_SKIP() << "run through scripts/interop-test.sh";
        dir = folder;
        CleanSettingsTest::SetUp();
    }
    std::wstring dir;
};

// Parts that `split -b 3000000 -d -a 3 --numeric-suffixes=1 peer.bin peer.bin.` wrote, with the
// list `sha256sum -b` wrote for them and for the whole file.
TEST_F(InteropTest, JoinsThePartsOfSplit) {
    MainWindowRun run(L" /j \"" + dir + L"\\peer.bin.001\"");
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"peer.bin joined !"), L"peer.bin joined !")
        << Narrow(run.StatusBar());
    EXPECT_EQ(run.StatusBar(), L"SHA-256 verified: " + dir + L"\\peer.bin");
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
}

// Parts for cat and 7z to put together again, the instructions for a receiver on Linux, and
// recovery data for par2 to check and repair the parts with.
TEST_F(InteropTest, SplitsForThePeers) {
    WriteDword(L"WriteJoinScript", 1);
    WriteDword(L"RecoveryPercent", 20);
    MainWindowRun run(L" /s \"" + dir + L"\\ours.bin\"");
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"3", 2);
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"ours.bin splited !"), L"ours.bin splited !")
        << Narrow(run.StatusBar());
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
}

// A name beyond ASCII in 1,001 parts of 4 KB, with recovery data: par2 must find every part by
// the UTF-8 name the set holds.
constexpr wchar_t kManyName[] = L"tr\x00EFp \x20AC.bin";
TEST_F(InteropTest, SplitsManyPartsWithRecoveryData) {
    WriteDword(L"RecoveryPercent", 5);
    MainWindowRun run(L" /s \"" + dir + L"\\" + kManyName + L"\"");
    ASSERT_TRUE(run.Found());
    run.TypePartSize(L"4", 1);
    run.PressAction();
    const std::wstring done = std::wstring(kManyName) + L" splited !";
    ASSERT_EQ(run.WaitForStatus(done, 120000), done) << Narrow(run.StatusBar());
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
}

// Sets with a part lost and one damaged, and recovery data that the program's split or par2 wrote:
// the join rebuilds both first.
using InteropRepairTest = InteropTest;
TEST_F(InteropRepairTest, RebuildsThenJoins) {
    for (const wchar_t* whole : {L"ours.bin", L"peer.bin", kManyName, L"whole.bin"}) {
        MainWindowRun run(L" /j \"" + dir + L"\\" + whole + L".001\"");
        ASSERT_TRUE(run.Found());
        const std::wstring joined = std::wstring(whole) + L" joined !";
        EXPECT_EQ(run.WaitForStatus(joined, 120000), joined) << Narrow(run.StatusBar());
        // par2's set of the whole file checked what the join made.
        if (wcscmp(whole, L"whole.bin") == 0) {
            EXPECT_EQ(run.StatusBar(), L"Verified by whole.bin.par2; " + dir + L"\\whole.bin");
        }
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    }
}

// Sets that GNU split cut, each beside the checksum file another tool wrote for it: cksfv's .sfv,
// md5sum's and sha1sum's lists, and a .crc written to the file managers' format. Each is joined,
// and the status bar names the file that checked it. (What each kind makes of a damaged part is
// told by the join's own cases.)
using OtherListsInteropTest = InteropTest;
TEST_F(OtherListsInteropTest, JoinsWhatTheirFilesVouchFor) {
    for (const std::wstring kind : {L"sfv", L"md5", L"sha1", L"crc"}) {
        const std::wstring whole = kind + L".bin";
        SCOPED_TRACE(Narrow(whole));
        MainWindowRun run(L" /j \"" + dir + L"\\" + whole + L".001\"");
        ASSERT_TRUE(run.Found());
        ASSERT_EQ(run.WaitForStatus(whole + L" joined !", 120000), whole + L" joined !")
            << Narrow(run.StatusBar());
        EXPECT_EQ(run.StatusBar(),
                  L"Verified by " + whole + L"." + kind + L"; " + dir + L"\\" + whole);
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    }
}

// The program's check on sets the script also gives the peers: its own split with part 3 lost and
// part 5 damaged (sha256sum -c and par2 verify), which it then repairs in place, GNU split's parts
// with the .sfv of cksfv and part 5 damaged (cksfv -f), and GNU split's parts still arriving, six
// of nine (sha256sum -c --ignore-missing). The script compares what it wrote, and that it wrote
// nothing else.
using CheckInteropTest = InteropTest;
TEST_F(CheckInteropTest, TellsWhatThePeersTellAndRepairs) {
    const struct {
        const wchar_t* part;
        const wchar_t* verdict;
        DWORD exitCode;
        const wchar_t* repaired; // the verdict after Repair, or null
    } rows[] = {
        {L"ours.bin.002",
         L"Part 5 is damaged and part 3 missing; the recovery data can rebuild both", 0,
         L"All 9 parts are good (SHA-256, PAR2)"},
        {L"bad-sfv.bin.sfv", L"Part 5 is damaged", 3, nullptr},
        {L"peer.bin.sha256", L"6 of 9 parts present, all good (SHA-256)", 2, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.part));
        MainWindowRun run(L" /c \"" + dir + L"\\" + row.part + L"\"");
        ASSERT_TRUE(run.Found());
        // The blocks the rebuild would take follow the verdict where the set has any.
        std::wstring said;
        for (DWORD start = ::GetTickCount();
             (said = run.Status()).compare(0, wcslen(row.verdict), row.verdict) != 0 &&
             ::GetTickCount() - start < 120000;)
            ::Sleep(50);
        EXPECT_EQ(said.substr(0, wcslen(row.verdict)), row.verdict) << Narrow(said);
        if (row.repaired) {
            EXPECT_EQ(run.ButtonLabel(), L"&Repair");
            run.Choose(kCommandRepair);
            EXPECT_EQ(run.WaitForStatus(row.repaired, 120000), row.repaired);
        }
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), row.exitCode);
    }
}

} // namespace
} // namespace e2e
