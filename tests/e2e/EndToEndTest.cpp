#include "EndToEndSupport.h"

#include "support/MessageBoxProbe.h"

#include "app/ProgramInfo.h"

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace testing_support;

namespace e2e {
namespace {

class EndToEndTest : public CleanSettingsTest {
protected:
    TempDir dir{L"e2e"};
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& all, uint64_t offset, uint64_t size) {
    return std::vector<uint8_t>(all.begin() + offset, all.begin() + offset + size);
}

TEST_F(EndToEndTest, SplitAFileWithSpacesInItsPath) {
    ASSERT_TRUE(::CreateDirectoryW((dir / L"my films").c_str(), nullptr));
    const std::wstring source = dir / L"my films\\trip to the sea.avi";
    const uint64_t size = 40 * MiB + 12345;
    std::vector<uint8_t> original = MakePattern(size, 31);
    ASSERT_TRUE(WriteWholeFile(source, original));

    MainWindowRun run(L" /s \"" + source + L"\"");
    ASSERT_TRUE(run.Found());
    EXPECT_EQ(run.Caption(), L"trip to the sea.avi");
    EXPECT_EQ(run.Status(), L"Waiting user action.");
    EXPECT_EQ(run.StatusBar(), L"Pick Part-Size.");

    run.TypePartSize(L"3", kMegabytes);
    EXPECT_EQ(run.StatusBar(), L"Click Split button to begin (14 parts will be created).");
    EXPECT_EQ(run.ButtonLabel(), L"&Split");
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"trip to the sea.avi splited !"),
              L"trip to the sea.avi splited !");
    EXPECT_EQ(run.Caption(), L"trip to the sea.avi");
    EXPECT_EQ(run.StatusBar(), source);
    EXPECT_EQ(run.ButtonLabel(), L"&Find");

    run.Choose(kCommandExit);
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);

    for (unsigned i = 1; i <= 14; ++i) {
        SCOPED_TRACE(i);
        const uint64_t offset = (i - 1) * 3 * MiB;
        std::vector<uint8_t> part;
        ASSERT_TRUE(ReadWholeFile(PartName(source, i), part));
        EXPECT_TRUE(part == Slice(original, offset, std::min<uint64_t>(3 * MiB, size - offset)));
    }
    EXPECT_FALSE(FileExists(PartName(source, 15)));
}

TEST_F(EndToEndTest, JoinStartedOnPartThreeJoinsFromTheFirstAndDeletesTheParts) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"holiday.mkv";
    std::vector<uint8_t> all;
    const uint64_t sizes[] = {2 * MiB, 2 * MiB, 777777};
    for (unsigned i = 1; i <= 3; ++i) {
        std::vector<uint8_t> part = MakePattern(sizes[i - 1], 40 + i);
        ASSERT_TRUE(WriteWholeFile(PartName(whole, i), part));
        all.insert(all.end(), part.begin(), part.end());
    }
    MainWindowRun run(L" /j " + PartName(whole, 3));
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"holiday.mkv joined !"), L"holiday.mkv joined !");
    EXPECT_EQ(run.ButtonLabel(), L"&Open");
    for (unsigned i = 1; i <= 3; ++i)
        EXPECT_FALSE(FileExists(PartName(whole, i)));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    EXPECT_TRUE(Holds(whole, all));
}

TEST_F(EndToEndTest, AJoinOntoAnExistingFileWritesNothingAndNamesTheFile) {
    const std::wstring whole = dir / L"taken.bin";
    std::vector<uint8_t> before = MakePattern(1000, 50);
    ASSERT_TRUE(WriteWholeFile(whole, before));
    ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), MakePattern(5000, 51)));
    MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(), L"Error opening taken.bin: #80 - " + SystemTextOnOneLine(80));
    EXPECT_EQ(run.ButtonLabel(), L"E&xit");
    run.PressAction();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused
    EXPECT_TRUE(Holds(whole, before));
    EXPECT_TRUE(FileExists(PartName(whole, 1)));
}

TEST_F(EndToEndTest, ClosingDuringASplitRemovesThePartsMadeSoFar) {
    const std::wstring source = dir / L"long.bin";
    ASSERT_TRUE(WritePatternFile(source, 200 * MiB, 60));
    MainWindowRun run(L" /s " + source);
    ASSERT_TRUE(run.Found());
    run.AnnounceTaskbarButton();
    run.TypePartSize(L"10", kMegabytes);
    run.PressAction();
    // Wait until some parts exist, then close the window.
    DWORD start = ::GetTickCount();
    while (!FileExists(PartName(source, 3)) && ::GetTickCount() - start < 30000)
        ::Sleep(10);
    ASSERT_TRUE(FileExists(PartName(source, 3)));
    // Read again while the window is too busy to answer within the read's time limit.
    ASSERT_EQ(run.WaitForStatus(L"Processing long.bin...", 10000), L"Processing long.bin...");
    run.Close();
    // The question while busy; Yes leaves.
    MessageBoxSeen seen = WatchForMessageBox(kProgramCaption, run.Program().Id(), 10000, IDYES);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"Do you really want to exit Brindlecot ?");
    EXPECT_EQ(run.Program().WaitForExit(15000), 6u); // cancelled
    for (unsigned i = 1; i <= 20; ++i)
        EXPECT_FALSE(FileExists(PartName(source, i))) << i;
    EXPECT_EQ(FileSize(source), int64_t(200 * MiB));
}

TEST_F(EndToEndTest, AJoinThatFailsAtPartFiveOfSevenLeavesNothingUnderTheRealName) {
    WriteDword(L"BufferSize", 131072);
    const std::wstring whole = dir / L"broken.bin";
    for (unsigned i = 1; i <= 7; ++i)
        ASSERT_TRUE(WritePatternFile(PartName(whole, i), 1 * MiB, 70 + i));
    // Another program holds part 5: the join gets through four parts and fails there.
    HANDLE held = ::CreateFileW(PartName(whole, 5).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    MainWindowRun run(L" /j " + PartName(whole, 1));
    ASSERT_TRUE(run.Found());
    run.AnnounceTaskbarButton();
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(), L"Error BeginIoPair: #32 - " + SystemTextOnOneLine(32));
    EXPECT_FALSE(FileExists(whole));
    run.Close(); // no question after an error
    // An I/O error while the work was under way.
    EXPECT_EQ(run.Program().WaitForExit(10000), 5u);
    ::CloseHandle(held);
    EXPECT_FALSE(FileExists(whole));
    EXPECT_FALSE(FileExists(whole + L".partial"));
    for (unsigned i = 1; i <= 7; ++i)
        EXPECT_EQ(FileSize(PartName(whole, i)), int64_t(1 * MiB)) << i;
}

// Task Manager ends the program at 40 %: a join then refuses the split's parts, and a join's
// output never has the real name; the next join of the set replaces what the last one left.
TEST_F(EndToEndTest, ASplitOrAJoinEndedFromOutsideLeavesNothingThatPassesForWhole) {
    WriteDword(L"BufferSize", 131072);
    WriteDword(L"IoPairCount", 1);
    const uint64_t size = 48 * MiB;
    const std::wstring source = dir / L"cut.bin", aside = dir / L"cut.bin.orig";
    ASSERT_TRUE(WritePatternFile(source, size, 90));
    auto partsSize = [&] {
        int64_t sum = 0;
        for (unsigned i = 1; i <= 12; ++i)
            sum += std::max<int64_t>(FileSize(PartName(source, i)), 0);
        return sum;
    };
    // Polls what the program has written until it passes 40 %, then ends it; false when it got
    // to the end first.
    auto endAtFortyPercent = [&](MainWindowRun& run, const std::function<int64_t()>& written) {
        DWORD start = ::GetTickCount();
        while (written() < int64_t(size * 2 / 5) && ::GetTickCount() - start < 60000)
            ::Sleep(1);
        const int64_t seen = written();
        EXPECT_TRUE(run.Program().Terminate());
        return seen >= int64_t(size * 2 / 5) && seen < int64_t(size);
    };
    {
        MainWindowRun run(L" /s " + source);
        ASSERT_TRUE(run.Found());
        run.TypePartSize(L"4", kMegabytes);
        run.PressAction();
        ASSERT_TRUE(endAtFortyPercent(run, partsSize)) << "the split ended before 40 %";
    }
    ASSERT_TRUE(::MoveFileW(source.c_str(), aside.c_str()));
    {
        MainWindowRun run(L" /j " + PartName(source, 1));
        ASSERT_TRUE(run.Found());
        ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
        EXPECT_EQ(run.StatusBar(),
                  L"The split of cut.bin did not finish: #38 - " + SystemTextOnOneLine(38));
    }
    EXPECT_FALSE(FileExists(source));
    EXPECT_FALSE(FileExists(source + L".partial"));

    // A whole set of parts, and a join of it ended midway.
    for (unsigned i = 1; i <= 12; ++i)
        ::DeleteFileW(PartName(source, i).c_str());
    ASSERT_TRUE(::DeleteFileW((source + L".sha256").c_str()));
    std::vector<uint8_t> original;
    ASSERT_TRUE(ReadWholeFile(aside, original));
    for (unsigned i = 1; i <= 12; ++i)
        ASSERT_TRUE(
            WriteWholeFile(PartName(source, i), Slice(original, (i - 1) * 4 * MiB, 4 * MiB)));
    {
        MainWindowRun run(L" /j " + PartName(source, 1));
        ASSERT_TRUE(run.Found());
        ASSERT_TRUE(endAtFortyPercent(run, [&] { return FileSize(source + L".partial"); }))
            << "the join ended before 40 %";
    }
    EXPECT_FALSE(FileExists(source));
    EXPECT_TRUE(FileExists(source + L".partial"));
    RemoveSettingsKey();
    MainWindowRun run(L" /j " + PartName(source, 1));
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"cut.bin joined !"), L"cut.bin joined !")
        << Narrow(run.StatusBar());
    run.Choose(kCommandExit);
    EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    EXPECT_TRUE(Holds(source, original));
    EXPECT_FALSE(FileExists(source + L".partial"));
}

// The list a split leaves, then a join over a part damaged since: the join stops at that part,
// names it, and with DeleteFiles on still deletes nothing.
TEST_F(EndToEndTest, TheSplitsChecksumsCatchADamagedPartInTheJoin) {
    WriteDword(L"BufferSize", 131072);
    WriteDword(L"IoPairCount", 16);
    WriteDword(L"DeleteFiles", 1);
    const std::wstring source = dir / L"report.pdf";
    const uint64_t size = 7 * MiB + 4321;
    std::vector<uint8_t> original = MakePattern(size, 80);
    ASSERT_TRUE(WriteWholeFile(source, original));
    {
        MainWindowRun run(L" /s \"" + source + L"\"");
        ASSERT_TRUE(run.Found());
        run.TypePartSize(L"2", kMegabytes);
        run.PressAction();
        ASSERT_EQ(run.WaitForStatus(L"report.pdf splited !"), L"report.pdf splited !")
            << Narrow(run.StatusBar());
        run.Choose(kCommandExit);
        EXPECT_EQ(run.Program().WaitForExit(10000), 0u);
    }
    EXPECT_EQ(ReadText(source + L".sha256"), ExpectedChecksumList(source, original, 2 * MiB));

    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    std::vector<uint8_t> second;
    ASSERT_TRUE(ReadWholeFile(PartName(source, 2), second));
    second[12345] ^= 0x10;
    ASSERT_TRUE(WriteWholeFile(PartName(source, 2), second));
    MainWindowRun run(L" /j \"" + PartName(source, 1) + L"\"");
    ASSERT_TRUE(run.Found());
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(), L"Part report.pdf.002 is damaged: #23 - " + SystemTextOnOneLine(23));
    EXPECT_EQ(run.Caption(), L"report.pdf");
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 3u); // damaged
    for (unsigned i = 1; i <= 4; ++i)
        EXPECT_TRUE(FileExists(PartName(source, i))) << i;
    EXPECT_TRUE(FileExists(source + L".sha256"));
}

// Sets the program must refuse to join, whatever DeleteFiles says: it creates nothing, and every
// part stays as it was.
TEST_F(EndToEndTest, ASetWithAHoleOrAPartOfTheWrongSizeIsNeverJoined) {
    WriteDword(L"DeleteFiles", 1);
    constexpr int64_t kLost = -1, kFolder = -2, kPart = 4096;
    struct Case {
        std::wstring name;
        std::vector<int64_t> sizes;
        std::wstring said;
        DWORD code;
        DWORD exitCode;      // missing or incomplete 2, a part that grew 3
        bool listed = false; // a list would check the sizes byte for byte
    };
    // Sets of 4,000 parts with their list: part 2 lost, and all after the first 100 lost.
    std::vector<int64_t> many(4000, kPart), tail(4000, kLost);
    many[1] = kLost;
    std::fill(tail.begin(), tail.begin() + 100, kPart);
    const Case cases[] = {
        {L"hole.bin", {kPart, kPart, kLost, kPart, 100}, L"Part hole.bin.003 is missing", 2, 2},
        {L"folder.bin",
         {kPart, kPart, kFolder, kPart, 100},
         L"Part folder.bin.003 is missing",
         2,
         2},
        {L"short.bin",
         {kPart, kPart - 1, kPart, 100},
         L"Part short.bin.002 has 4095 bytes, not 4096 as short.bin.001",
         38,
         2},
        {L"long.bin",
         {kPart, kPart, kPart + 1},
         L"Part long.bin.003 has 4097 bytes, more than the 4096 of long.bin.001",
         1006,
         3},
        {L"many.bin", many, L"Part many.bin.002 is missing", 2, 2, true},
        {L"tail.bin", tail, L"Part tail.bin.101 is missing", 2, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        const std::wstring whole = dir / c.name;
        const std::vector<uint8_t> all = MakePattern(c.sizes.size() * kPart, 90);
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            const std::wstring part = PartName(whole, static_cast<unsigned>(i + 1));
            const bool made = c.sizes[i] == kFolder ? ::CreateDirectoryW(part.c_str(), nullptr)
                              : c.sizes[i] == kLost
                                  ? true
                                  : WriteWholeFile(part, Slice(all, i * kPart, c.sizes[i]));
            ASSERT_TRUE(made);
        }
        if (c.listed) {
            ASSERT_TRUE(WriteText(whole + L".sha256", ExpectedChecksumList(whole, all, kPart)));
        }
        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        ASSERT_TRUE(run.Found());
        // The window asks for a part the set's own files name; Cancel ends the join.
        if (c.code == ERROR_FILE_NOT_FOUND) {
            const HWND prompt = run.Program().WaitForDialog(kProgramCaption, 60000);
            ASSERT_NE(prompt, nullptr);
            ::PostMessageW(prompt, WM_COMMAND, IDCANCEL, 0);
        }
        ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
        EXPECT_EQ(run.StatusBar(),
                  c.said + L": #" + std::to_wstring(c.code) + L" - " + SystemTextOnOneLine(c.code));
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), c.exitCode);
        EXPECT_FALSE(FileExists(whole));
        for (size_t i = 0; i < c.sizes.size(); ++i)
            EXPECT_EQ(FileSize(PartName(whole, static_cast<unsigned>(i + 1))),
                      c.sizes[i] == kFolder ? 0 : c.sizes[i]);
    }
}

// A file under the name of a part, here one past the last of this split, left by an earlier one
// that every later join would take: the split is refused before it creates anything. The path is
// given relative to the drive's current folder, and is taken whole.
TEST_F(EndToEndTest, ASplitIsRefusedByAPartOfAnEarlierSet) {
    const std::wstring source = dir / L"x.bin";
    ASSERT_TRUE(WritePatternFile(source, 5 * MiB, 91));
    ASSERT_TRUE(WriteWholeFile(PartName(source, 6), MakePattern(10, 92)));
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    MainWindowRun run(L" /s " + source.substr(0, 2) + L"x.bin");
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    ASSERT_TRUE(run.Found());
    EXPECT_EQ(run.Caption(), L"x.bin");
    run.TypePartSize(L"1", kMegabytes);
    run.PressAction();
    ASSERT_EQ(run.WaitForStatus(L"Error occurred !"), L"Error occurred !");
    EXPECT_EQ(run.StatusBar(),
              L"Error opening " + PartName(source, 6) + L": #80 - " + SystemTextOnOneLine(80));
    run.Close();
    EXPECT_EQ(run.Program().WaitForExit(10000), 4u); // refused
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_EQ(FileSize(PartName(source, 6)), 10);
}

TEST_F(EndToEndTest, NoSwitchOpensTheSetupDialogAndMakesNoSettings) {
    RunningProgram program(L"");
    ASSERT_TRUE(program.Started());
    HWND setup = program.WaitForDialog(kProgramCaption, 30000);
    ASSERT_NE(setup, nullptr);
    EXPECT_FALSE(SettingsKeyExists());
    ::PostMessageW(setup, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(10000), 0u);
    EXPECT_FALSE(SettingsKeyExists());
}

} // namespace
} // namespace e2e
