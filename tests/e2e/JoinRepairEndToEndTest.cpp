#include "EndToEndSupport.h"

#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"

#include <algorithm>
#include <cstring>

using namespace testing_support;

namespace e2e {
namespace {

class JoinRepairEndToEndTest : public CleanSettingsTest {
protected:
    // The parts of whole, written as given; returns their bytes joined.
    static std::vector<uint8_t> WriteParts(const std::wstring& whole,
                                           const std::vector<SetFile>& parts) {
        std::vector<uint8_t> all;
        for (size_t i = 0; i < parts.size(); ++i) {
            EXPECT_TRUE(
                WriteWholeFile(PartName(whole, static_cast<unsigned>(i + 1)), parts[i].data));
            all.insert(all.end(), parts[i].data.begin(), parts[i].data.end());
        }
        return all;
    }
    // Joins whole's parts with the real program; the status bar once it ended.
    static std::wstring Join(const std::wstring& whole, const std::wstring& wantedStatus,
                             DWORD exitCode = 0) {
        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        EXPECT_TRUE(run.Found());
        EXPECT_EQ(run.WaitForStatus(wantedStatus), wantedStatus) << Narrow(run.StatusBar());
        const std::wstring statusBar = run.StatusBar();
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(15000), exitCode);
        return statusBar;
    }
    TempDir dir{L"e2e"};
};

// Sets beside the parts in a subfolder, each of which the join may trust only as far as it
// matches them: whatever it says, it touches nothing outside the parts' folder and keeps no part
// aside, and what it joins is the parts as they are.
TEST_F(JoinRepairEndToEndTest, ASetIsUsedOnlyAsFarAsItMatchesTheParts) {
    const std::wstring sub = dir / L"sub", whole = sub + L"\\x.bin", done = L"x.bin joined !";
    const std::vector<uint8_t> victim = MakePattern(3000, 9), data = MakePattern(20000, 30);
    const std::vector<SetFile> two = {{L"x.bin.001", MakePattern(8192, 1)},
                                      {L"x.bin.002", MakePattern(5000, 2)}};
    // Files named to reach outside the parts' folder, or devices and streams.
    const std::vector<SetFile> hostile = {{L"..\\evil.txt", MakePattern(4096, 3)},
                                          {L"..\\victim.txt", MakePattern(3000, 4)},
                                          {L"x.bin.001:stream", MakePattern(100, 5)},
                                          {L"NUL", MakePattern(100, 6)},
                                          {L"COM1.txt", MakePattern(100, 7)}};
    std::vector<SetFile> mixed = two;
    mixed.insert(mixed.end(), hostile.begin(), hostile.end());
    // Parts split again after an earlier split of other data left its set.
    const std::vector<SetFile> old = {{L"x.bin.001", MakePattern(8192, 11)},
                                      {L"x.bin.002", MakePattern(8192, 12)},
                                      {L"x.bin.003", MakePattern(8192, 13)}};
    std::vector<SetFile> changed = old, longer = old, other = old;
    changed[2].data[8000] ^= 0x40;
    longer.push_back({L"x.bin.004", MakePattern(100, 14)});
    for (SetFile& part : other)
        part.data = MakePattern(part.data.size(), 20);
    // par2 run on the whole file before it was split.
    const std::vector<SetFile> ofWhole = {{L"x.bin", data}};
    std::vector<SetFile> halves = {{L"x.bin.001", {data.begin(), data.begin() + 12000}},
                                   {L"x.bin.002", {data.begin() + 12000, data.end()}}},
                         damaged = halves;
    damaged[1].data[100] ^= 1;
    const struct {
        const std::vector<SetFile>& set;
        int32_t blocks; // enough for a lost part and every file the set may not read
        const std::vector<SetFile>& parts;
        bool listed;
        unsigned lost;
        std::wstring status;
        std::wstring statusBar; // followed by the whole file's path once joined
    } rows[] = {
        {hostile, 12, two, false, 0, done, L"x.bin.par2 ignored (it names no part of this file); "},
        {mixed, 12, two, false, 2, done, L"x.bin.002 rebuilt; "}, // the others unknown
        {old, 3, changed, true, 0, done,
         L"x.bin.par2 ignored (it disagrees with x.bin.sha256); SHA-256 verified: "},
        {old, 3, longer, false, 0, done, L"x.bin.par2 ignored (it was made for fewer parts); "},
        {old, 3, other, false, 0, done, L"x.bin.par2 ignored (no part matches it); "},
        {ofWhole, 1, halves, false, 0, done, L"Verified by x.bin.par2; "},
        // The set tells a damaged part that nothing else could.
        {ofWhole, 1, damaged, false, 0, L"Error occurred !",
         L"Joined file x.bin is damaged: #23 - " + SystemTextOnOneLine(23)},
    };
    ASSERT_TRUE(WriteWholeFile(dir / L"victim.txt", victim));
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.statusBar));
        ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
        ASSERT_TRUE(MakeRecoverySet(whole, row.set, 4096, row.blocks));
        const std::vector<uint8_t> all = WriteParts(whole, row.parts);
        ASSERT_TRUE(!row.listed || WriteText(whole + L".sha256", ChecksumLines(row.parts)));
        const std::vector<std::wstring> made = FilesIn(sub + L"\\");
        ASSERT_TRUE(row.lost == 0 || ::DeleteFileW(PartName(whole, row.lost).c_str()));
        const bool joined = row.status == done;
        // The one failure here is damage that nothing could repair.
        EXPECT_EQ(Join(whole, row.status, joined ? 0 : 3),
                  joined ? row.statusBar + whole : row.statusBar);
        EXPECT_TRUE(!joined || Holds(whole, all));
        std::vector<std::wstring> now = FilesIn(sub + L"\\");
        now.erase(std::remove(now.begin(), now.end(), L"x.bin"), now.end());
        EXPECT_EQ(now, made);
        EXPECT_FALSE(FileExists(whole + L".001:stream"));
        EXPECT_TRUE(Holds(dir / L"victim.txt", victim));
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"victim.txt"});
        ASSERT_TRUE(RemoveTree(sub));
    }
}

// A junk index of 16 MiB, a packet magic every 64 bytes with a length to the file's end: it is
// read in steps while the window answers, found to hold no set, and the join goes on.
TEST_F(JoinRepairEndToEndTest, AJunkSetIsReadInStepsAndIgnored) {
    const std::wstring whole = dir / L"k.bin";
    std::vector<uint8_t> junk = MakePattern(16 * MiB, 50);
    for (size_t at = 0; at < junk.size(); at += 64) {
        memcpy(&junk[at], "PAR2\0PKT", 8);
        const uint64_t length = junk.size() - at;
        memcpy(&junk[at + 8], &length, 8);
    }
    ASSERT_TRUE(WriteWholeFile(whole + L".par2", junk));
    const std::vector<uint8_t> all = WriteParts(whole, {{L"", MakePattern(5000, 51)}});
    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    DWORD_PTR answer = 0;
    for (DWORD start = ::GetTickCount(); run.Status() != L"k.bin joined !";) {
        ASSERT_TRUE(
            ::SendMessageTimeoutW(run.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
        ASSERT_LT(::GetTickCount() - start, 60000u) << Narrow(run.Status());
        ::Sleep(20);
    }
    EXPECT_EQ(run.StatusBar(), L"k.bin.par2 ignored (it holds no usable recovery data); " + whole);
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(15000), 0u);
    EXPECT_TRUE(Holds(whole, all));
}

} // namespace
} // namespace e2e
