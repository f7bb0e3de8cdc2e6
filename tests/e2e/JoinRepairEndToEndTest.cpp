#include "EndToEndSupport.h"

#include "support/Par2TestSets.h"
#include "support/SmallVolume.h"

#include <cstring>

using namespace testing_support;

namespace e2e {
namespace {

class JoinRepairEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettingsKey(); }
    void TearDown() override { RemoveSettingsKey(); }

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
    static std::wstring Join(const std::wstring& whole, const std::wstring& wantedStatus) {
        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        EXPECT_TRUE(run.Found());
        EXPECT_EQ(run.WaitForStatus(wantedStatus), wantedStatus) << Narrow(run.StatusBar());
        const std::wstring statusBar = run.StatusBar();
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(15000), 0u);
        return statusBar;
    }
    TempDir dir{L"e2e"};
};

// A set whose files are named to reach outside the parts' folder, or devices and streams: the
// join opens none of them. A set naming only such files is ignored, and says so; a set that
// also names the parts still rebuilds a lost part, its other files taken as unknown.
TEST_F(JoinRepairEndToEndTest, ASetNeverTouchesAFileThatIsNotAPart) {
    ASSERT_TRUE(::CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    const std::wstring whole = dir / L"sub\\x.bin";
    const std::vector<uint8_t> victim = MakePattern(3000, 9);
    const std::vector<SetFile> parts = {{L"x.bin.001", MakePattern(8192, 1)},
                                        {L"x.bin.002", MakePattern(5000, 2)}};
    const std::vector<SetFile> hostile = {{L"..\\evil.txt", MakePattern(4096, 3)},
                                          {L"..\\victim.txt", MakePattern(3000, 4)},
                                          {L"x.bin.001:stream", MakePattern(100, 5)},
                                          {L"NUL", MakePattern(100, 6)},
                                          {L"COM1.txt", MakePattern(100, 7)}};
    const struct {
        bool withParts;
        unsigned lost;
        const wchar_t* statusBar;
    } cases[] = {{false, 0, L"x.bin.par2 ignored (it names no part of this file); "},
                 {true, 2, L""}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(dir / L"victim.txt", victim));
        const std::vector<uint8_t> all = WriteParts(whole, parts);
        std::vector<SetFile> files = hostile;
        if (c.withParts)
            files.insert(files.begin(), parts.begin(), parts.end());
        // Enough blocks for the lost part and every file the set may not read.
        ASSERT_TRUE(MakeRecoverySet(whole, files, 4096, 12));
        if (c.lost != 0) {
            ASSERT_TRUE(::DeleteFileW(PartName(whole, c.lost).c_str()));
        }
        EXPECT_EQ(Join(whole, L"x.bin joined !"), c.statusBar + whole);
        std::vector<uint8_t> joined, after;
        EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == all);
        EXPECT_TRUE(ReadWholeFile(dir / L"victim.txt", after) && after == victim);
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"victim.txt"});
        std::vector<std::wstring> kept = FilesIn(dir / L"sub\\");
        kept.resize(3); // the set's files come after these
        EXPECT_EQ(kept, (std::vector<std::wstring>{L"x.bin", L"x.bin.001", L"x.bin.002"}));
        EXPECT_FALSE(FileExists(dir / L"sub\\x.bin.001:stream"));
        ASSERT_TRUE(RemoveTree(dir / L"sub") &&
                    ::CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    }
}

// A set left from an earlier split of other data beside new parts: where the checksum list
// vouches for the new parts, where the parts go past the set's last, or where no part matches it,
// the set is ignored and the new parts are joined as they are.
TEST_F(JoinRepairEndToEndTest, ASetOfOtherPartsIsIgnored) {
    const std::wstring whole = dir / L"u.bin";
    const std::vector<SetFile> old = {{L"u.bin.001", MakePattern(8192, 11)},
                                      {L"u.bin.002", MakePattern(8192, 12)},
                                      {L"u.bin.003", MakePattern(8192, 13)}};
    std::vector<SetFile> changed = old;
    changed[2].data[8000] ^= 0x40;
    std::vector<SetFile> longer = old;
    longer.push_back({L"u.bin.004", MakePattern(100, 14)});
    std::vector<SetFile> other = old;
    for (SetFile& part : other)
        part.data = MakePattern(part.data.size(), 20);
    const struct {
        const std::vector<SetFile>& now;
        bool listed;
        const wchar_t* note;
    } cases[] = {{changed, true, L"u.bin.par2 ignored (it disagrees with u.bin.sha256); "},
                 {longer, false, L"u.bin.par2 ignored (it was made for fewer parts); "},
                 {other, false, L"u.bin.par2 ignored (no part matches it); "}};
    for (const auto& c : cases) {
        ASSERT_TRUE(MakeRecoverySet(whole, old, 4096, 3));
        const std::vector<uint8_t> all = WriteParts(whole, c.now);
        if (c.listed) {
            ASSERT_TRUE(WriteText(whole + L".sha256", ChecksumLines(c.now)));
        }
        const std::wstring outcome = c.listed ? L"SHA-256 verified: " : L"";
        EXPECT_EQ(Join(whole, L"u.bin joined !"), c.note + outcome + whole);
        std::vector<uint8_t> joined;
        EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == all);
        for (unsigned i = 1; i <= c.now.size(); ++i)
            EXPECT_FALSE(FileExists(PartName(whole, i) + L".damaged")) << i;
        ASSERT_TRUE(RemoveTree(dir.Path()) && ::CreateDirectoryW(dir.Path().c_str(), nullptr));
    }
}

// par2 run on the whole file before it was split: the parts are joined as ever and the result
// checked against the set, which tells a damaged part that nothing else could.
TEST_F(JoinRepairEndToEndTest, ASetOfTheWholeFileChecksTheJoinedFile) {
    const std::wstring whole = dir / L"y.bin";
    const std::vector<uint8_t> data = MakePattern(20000, 30);
    const std::vector<SetFile> parts = {
        {L"y.bin.001", std::vector<uint8_t>(data.begin(), data.begin() + 12000)},
        {L"y.bin.002", std::vector<uint8_t>(data.begin() + 12000, data.end())}};
    for (const bool damaged : {false, true}) {
        ASSERT_TRUE(MakeRecoverySet(whole, {{L"y.bin", data}}, 4096, 1));
        std::vector<SetFile> now = parts;
        if (damaged)
            now[1].data[100] ^= 1;
        WriteParts(whole, now);
        if (damaged) {
            EXPECT_EQ(Join(whole, L"Error occurred !"),
                      L"Joined file y.bin is damaged: #23 - " + SystemTextOnOneLine(23));
        } else {
            EXPECT_EQ(Join(whole, L"y.bin joined !"), L"Verified by y.bin.par2; " + whole);
            std::vector<uint8_t> joined;
            EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == data);
        }
        ASSERT_TRUE(RemoveTree(dir.Path()) && ::CreateDirectoryW(dir.Path().c_str(), nullptr));
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
    std::vector<uint8_t> joined;
    EXPECT_TRUE(ReadWholeFile(whole, joined) && joined == all);
}

} // namespace
} // namespace e2e
