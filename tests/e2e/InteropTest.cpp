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
    // The window program's command line for a file of the folder.
    std::wstring On(const wchar_t* option, const std::wstring& name) const {
        return std::wstring(L" ") + option + L" \"" + dir + L"\\" + name + L"\"";
    }
    // Waits for the status line to say `ended` and closes the window: the program must exit with
    // 0. Returns the status bar as it was then.
    std::wstring Finish(MainWindowRun& run, const std::wstring& ended) {
        EXPECT_EQ(run.WaitForStatus(ended, 120000), ended) << Narrow(run.StatusBar());
        const std::wstring bar = run.StatusBar();
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
        return bar;
    }
    std::wstring dir;
};

// Parts that `split -b 3000000 -d -a 3 --numeric-suffixes=1 peer.bin peer.bin.` wrote, with the
// list `sha256sum -b` wrote for them and for the whole file.
TEST_F(InteropTest, JoinsThePartsOfSplit) {
    MainWindowRun run(On(L"/j", L"peer.bin.001"));
    ASSERT_TRUE(run.Found());
    EXPECT_EQ(Finish(run, L"peer.bin joined !"), L"SHA-256 verified: " + dir + L"\\peer.bin");
}

// Parts for cat and 7z to put together again, the instructions for a receiver on Linux, and
// recovery data for par2 to check and repair the parts with; and a name beyond ASCII in 1,001
// parts of 4 KB, with recovery data: par2 must find every part by the UTF-8 name the set holds.
constexpr wchar_t kManyName[] = L"tr\x00EFp \x20AC.bin";
TEST_F(InteropTest, SplitsForThePeers) {
    const struct {
        const wchar_t* name;
        DWORD joinScript, recoveryPercent;
        const wchar_t* size;
        int unit; // KB, MB ...
    } splits[] = {{L"ours.bin", 1, 20, L"3", 2}, {kManyName, 0, 5, L"4", 1}};
    for (const auto& split : splits) {
        WriteDword(L"WriteJoinScript", split.joinScript);
        WriteDword(L"RecoveryPercent", split.recoveryPercent);
        MainWindowRun run(On(L"/s", split.name));
        ASSERT_TRUE(run.Found());
        run.TypePartSize(split.size, split.unit);
        run.PressAction();
        Finish(run, split.name + std::wstring(L" splited !"));
    }
}

// Sets with a part lost and one damaged, and recovery data that the program's split or par2 wrote:
// the join rebuilds both first. Sets that GNU split cut, beside the recovery data par2 made of the
// whole file or the checksum file another tool wrote for the parts (cksfv's .sfv, md5sum's and
// sha1sum's lists, a .crc written to the file managers' format): joined, and the status bar names
// the file that checked the set. (What each kind makes of a damaged part is told by the join's own
// cases.)
using JoinInteropTest = InteropTest;
TEST_F(JoinInteropTest, RebuildsOrChecksThenJoins) {
    const struct {
        std::wstring whole;
        const wchar_t* checkedBy;
    } joins[] = {{L"ours.bin", nullptr},   {L"peer.bin", nullptr}, {kManyName, nullptr},
                 {L"whole.bin", L".par2"}, {L"sfv.bin", L".sfv"},  {L"md5.bin", L".md5"},
                 {L"sha1.bin", L".sha1"},  {L"crc.bin", L".crc"}};
    for (const auto& join : joins) {
        SCOPED_TRACE(Narrow(join.whole));
        MainWindowRun run(On(L"/j", join.whole + L".001"));
        ASSERT_TRUE(run.Found());
        const std::wstring bar = Finish(run, join.whole + L" joined !");
        if (join.checkedBy) {
            EXPECT_EQ(bar, L"Verified by " + join.whole + join.checkedBy + L"; " + dir + L"\\" +
                               join.whole);
        }
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
        MainWindowRun run(On(L"/c", row.part));
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
