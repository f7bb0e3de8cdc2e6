#include "OpsTestSupport.h"
#include "support/SettingsValues.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"
#include "support/MessageLoop.h"

#include <winioctl.h>

#include <cstdio>
#include <cstring>

using namespace testing_support;

namespace ops_tests {
namespace {

class ErrorTest : public OperationTest {
protected:
    // Every report shows the same frame around its text.
    void ExpectReported(const RecordingDisplay& shown, const std::wstring& name,
                        const std::wstring& text) {
        EXPECT_EQ(shown.title, name);
        EXPECT_EQ(shown.status, L"Error occurred !");
        EXPECT_EQ(shown.statusBar, text);
        EXPECT_EQ(shown.actionId, kCommandExit);
        EXPECT_EQ(shown.actionFlags, kActionRunGroup | kActionResultGroup);
        EXPECT_EQ(shown.endedMessages, 0);
    }
};

TEST_F(ErrorTest, MissingSource) {
    const std::wstring source = dir / L"nowhere.bin";
    RecordingDisplay shown;
    SplitOperation split(shown);
    split.Start(Wide(source));
    EXPECT_EQ(split.State(), OperationState::Failed);
    ExpectReported(shown, L"nowhere.bin", ErrorText(L"Error opening " + source, 2));
    // Failed ignores every command.
    shown.partSize = 100;
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(split.State(), OperationState::Failed);
    split.Abort();
    EXPECT_EQ(split.State(), OperationState::Idle);
}

TEST_F(ErrorTest, SourceHeldOpenByAnotherProgram) {
    const std::wstring source = dir / L"held.bin";
    ASSERT_TRUE(WritePatternFile(source, 4096, 1));
    RecordingDisplay shown;
    shown.partSize = 1024;
    SplitOperation split(shown);
    split.Start(Wide(source));
    ASSERT_EQ(split.State(), OperationState::Waiting);
    HANDLE other =
        ::CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    split.OnCommand(kCommandSplit);
    ::CloseHandle(other);
    EXPECT_EQ(split.State(), OperationState::Failed);
    ExpectReported(shown, L"held.bin",
                   ErrorText(L"Error opening " + source, ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    split.Abort();
}

TEST_F(ErrorTest, FirstPartMissingAlwaysSaysFileNotFound) {
    const std::wstring whole = dir / L"lost.bin";
    ASSERT_TRUE(WriteWholeFile(PartName(whole, 2), MakePattern(100)));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 2)));
    EXPECT_EQ(join.State(), OperationState::Failed);
    ExpectReported(shown, L"lost.bin", ErrorText(L"Error opening " + PartName(whole, 1), 2));
    EXPECT_FALSE(FileExists(whole));
    join.Abort();
}

TEST_F(ErrorTest, OutputThatExistsIsNeverOverwritten) {
    const std::wstring whole = dir / L"there.bin";
    std::vector<uint8_t> before = MakePattern(777, 5);
    ASSERT_TRUE(WriteWholeFile(whole, before));
    ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), MakePattern(5000, 6)));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 1)));
    EXPECT_EQ(join.State(), OperationState::Failed);
    // The file name alone, not the path.
    ExpectReported(shown, L"there.bin", ErrorText(L"Error opening there.bin", ERROR_FILE_EXISTS));
    join.Abort();
    EXPECT_TRUE(Holds(whole, before));
    EXPECT_TRUE(FileExists(PartName(whole, 1)));
}

// A name the split would make, taken already: the split is refused before it creates anything,
// so that it never stops halfway with half a set made.
TEST_F(ErrorTest, APartThatAlreadyExistsRefusesTheSplit) {
    const std::wstring source = dir / L"clash.bin";
    ASSERT_TRUE(WritePatternFile(source, 5000, 7));
    std::vector<uint8_t> foreign = MakePattern(33, 8);
    ASSERT_TRUE(WriteWholeFile(PartName(source, 3), foreign));
    ASSERT_TRUE(::CreateDirectoryW(PartName(source, 9).c_str(), nullptr));
    RecordingDisplay shown;
    shown.partSize = 2000;
    SplitOperation split(shown);
    split.Start(Wide(source));
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(split.State(), OperationState::Failed);
    ExpectReported(shown, L"clash.bin",
                   ErrorText(L"Error opening " + PartName(source, 3), ERROR_FILE_EXISTS));
    split.Abort();
    EXPECT_FALSE(FileExists(PartName(source, 1)));
    EXPECT_FALSE(FileExists(source + L".sha256"));
    EXPECT_TRUE(Holds(PartName(source, 3), foreign));
}

TEST_F(ErrorTest, APathWithPercentSignsIsShownAsItIs) {
    const std::wstring source = dir / L"100% %s %u.bin";
    ASSERT_TRUE(WritePatternFile(source, 3000, 9));
    RecordingDisplay shown;
    shown.partSize = 1000;
    SplitOperation split(shown);
    split.Start(Wide(source));
    EXPECT_EQ(shown.title, L"100% %s %u.bin");
    split.OnCommand(kCommandSplit);
    EXPECT_EQ(shown.statusBar, source);
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done);
    EXPECT_EQ(shown.status, L"100% %s %u.bin splited !");
    EXPECT_EQ(shown.statusBar, source);
    split.Abort();

    RecordingDisplay missing;
    SplitOperation again(missing);
    again.Start(Wide(dir / L"50% gone.bin"));
    ExpectReported(missing, L"50% gone.bin",
                   ErrorText(L"Error opening " + (dir / L"50% gone.bin"), 2));
    again.Abort();
}

// A part that grows or shrinks after the join listed it, before it is opened, fails the join:
// a failed join leaves no output, and never deletes a part.
TEST_F(ErrorTest, APartChangedSinceItWasListedFailsTheJoin) {
    SetTuning(128 * KiB, 1);
    const struct {
        const wchar_t* name;
        unsigned parts;
        size_t partSize, changedTo;
        DWORD error;
        bool deleteFiles;
    } rows[] = {{L"changed.bin", 3, 256 * KiB, 300 * KiB, ERROR_FILE_INVALID, true},
                {L"short.bin", 2, 128 * KiB, 1000, ERROR_HANDLE_EOF, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.name));
        WriteDword(L"DeleteFiles", row.deleteFiles ? 1 : 0);
        const std::wstring whole = dir / row.name;
        for (unsigned i = 1; i <= row.parts; ++i)
            ASSERT_TRUE(WriteWholeFile(PartName(whole, i), MakePattern(row.partSize, i)));
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        ASSERT_EQ(join.State(), OperationState::Running);
        // The last part is not open yet; it changes, as a part still being copied in would.
        ASSERT_TRUE(
            WriteWholeFile(PartName(whole, row.parts), MakePattern(row.changedTo, row.parts)));
        ASSERT_TRUE(RunToEnd(join));
        EXPECT_EQ(join.State(), OperationState::Failed);
        ExpectReported(shown, row.name, ErrorText(L"Error BeginIoPair", row.error));
        EXPECT_FALSE(FileExists(whole));
        EXPECT_FALSE(FileExists(whole + L".partial"));
        join.Abort();
        for (unsigned i = 1; i <= row.parts; ++i)
            EXPECT_TRUE(FileExists(PartName(whole, i)));
    }
}

// The cut to the exact size runs on a handle of its own; when that fails, the part or the output
// would keep the extra bytes of the last rounded write. That must be an error. Here a second
// handle to the file, taken just before it is closed, keeps it open, so the reopen for the cut
// meets a sharing violation.
class HeldOnClose {
public:
    HeldOnClose(OpenRecorder& recorder, const std::wstring& target) {
        recorder.beforeClose = [this, target](const std::wstring& name, HANDLE handle) {
            if (held == nullptr && ::lstrcmpiW(name.c_str(), target.c_str()) == 0)
                ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &held, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS);
        };
    }
    ~HeldOnClose() { Release(); }
    void Release() {
        if (held)
            ::CloseHandle(held);
        held = nullptr;
    }
    bool Held() const { return held != nullptr; }

private:
    HANDLE held = nullptr;
};

TEST_F(ErrorTest, APartThatCannotBeCutToSizeFailsTheSplit) {
    OpenRecorder recorder;
    const std::wstring source = dir / L"uncut.bin";
    ASSERT_TRUE(WritePatternFile(source, 3000, 14));
    HeldOnClose hold(recorder, PartName(source, 2));
    RecordingDisplay shown;
    EXPECT_EQ(Split(source, 1000, shown), OperationState::Failed);
    EXPECT_TRUE(hold.Held());
    ExpectReported(shown, L"uncut.bin", ErrorText(L"Error CompletePart", ERROR_SHARING_VIOLATION));
    hold.Release();
    // The part before it was cut as it should be.
    EXPECT_EQ(FileSize(PartName(source, 1)), 1000);
}

// An output that cannot be cut to its size, or, a whole number of sectors long, cannot be opened
// to go to the disk, fails the join: nothing takes the real name and the parts stay.
TEST_F(ErrorTest, AnOutputThatCannotBeCutOrFlushedFailsTheJoinAndKeepsTheParts) {
    WriteDword(L"DeleteFiles", 1);
    for (const size_t second : {100, 4096}) {
        SCOPED_TRACE(second);
        OpenRecorder recorder;
        const std::wstring name = L"long" + std::to_wstring(second) + L".bin", whole = dir / name;
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), MakePattern(4096, 1)));
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 2), MakePattern(second, 2)));
        HeldOnClose hold(recorder, whole + L".partial");
        RecordingDisplay shown;
        EXPECT_EQ(Join(whole, shown), OperationState::Failed);
        EXPECT_TRUE(hold.Held());
        ExpectReported(shown, name, ErrorText(L"Error Finish", ERROR_SHARING_VIOLATION));
        hold.Release();
        EXPECT_FALSE(FileExists(whole));
        EXPECT_TRUE(FileExists(PartName(whole, 1)));
        EXPECT_TRUE(FileExists(PartName(whole, 2)));
    }
}

TEST_F(ErrorTest, APartCountBeyond32BitsIsRefusedAndNothingIsCreated) {
    const std::wstring source = dir / L"huge.bin";
    // A sparse file: its size costs no disk.
    HANDLE file = ::CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 3000000000LL;
    ASSERT_TRUE(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file));
    ::CloseHandle(file);

    // The count does not fit in 32 bits; then one that does, but not in memory.
    const struct {
        uint64_t partSize;
        const wchar_t* waiting;
        DWORD error;
    } rows[] = {
        {1, L"Click Split button to begin (3000000000 parts will be created).",
         ERROR_ARITHMETIC_OVERFLOW},
        {2, L"Click Split button to begin (1500000000 parts will be created).",
         ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.partSize);
        RecordingDisplay shown;
        shown.partSize = row.partSize;
        SplitOperation split(shown);
        split.Start(Wide(source));
        EXPECT_EQ(shown.statusBar, row.waiting);
        split.OnCommand(kCommandSplit);
        EXPECT_EQ(split.State(), OperationState::Failed);
        ExpectReported(shown, L"huge.bin", ErrorText(L"Error", row.error));
        split.Abort();
        EXPECT_FALSE(FileExists(PartName(source, 1)));
    }
}

// A part listed empty is never opened: another program filling it, or deleting it, while the
// join runs is seen only by a look at the end, which must fail the join and keep everything.
TEST_F(ErrorTest, APartListedEmptyThatFillsUpOrGoesFailsTheJoinAndKeepsEverything) {
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"grew.bin";
    const std::vector<uint8_t> first = MakePattern(4096, 31), last = MakePattern(4096, 33);
    const std::vector<uint8_t> late = MakePattern(700, 32);
    for (bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "filled");
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), first));
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 2), last));
        ASSERT_TRUE(WriteWholeFile(PartName(whole, 3), {}));
        RecordingDisplay shown;
        JoinOperation join(shown);
        join.Start(Wide(PartName(whole, 1)));
        ASSERT_EQ(join.State(), OperationState::Running) << Narrow(shown.statusBar);
        ASSERT_TRUE(deleted ? ::DeleteFileW(PartName(whole, 3).c_str())
                            : WriteWholeFile(PartName(whole, 3), late));
        ASSERT_TRUE(RunToEnd(join));
        EXPECT_EQ(join.State(), OperationState::Failed);
        ExpectReported(shown, L"grew.bin", ErrorText(L"Error Finish", ERROR_FILE_INVALID));
        join.Abort();
        EXPECT_TRUE(Holds(PartName(whole, 1), first));
        EXPECT_TRUE(Holds(PartName(whole, 2), last));
        EXPECT_EQ(Holds(PartName(whole, 3), late), !deleted);
        // Nothing the parts no longer hold is left as the output.
        EXPECT_FALSE(FileExists(whole));
        EXPECT_FALSE(FileExists(whole + L".partial"));
    }
}

TEST_F(ErrorTest, APartThatShrankAfterItWasReadFailsTheJoin) {
    SetTuning(128 * KiB, 1);
    WriteDword(L"DeleteFiles", 1);
    const std::wstring whole = dir / L"shrank.bin";
    ASSERT_TRUE(WritePatternFile(PartName(whole, 1), 4 * MiB, 34));
    ASSERT_TRUE(WritePatternFile(PartName(whole, 2), 4 * MiB, 35));
    RecordingDisplay shown;
    JoinOperation join(shown);
    join.Start(Wide(PartName(whole, 1)));
    ASSERT_EQ(join.State(), OperationState::Running) << Narrow(shown.statusBar);
    // Part 1 is closed once all of it is written; then it is cut short behind the join's back.
    ASSERT_TRUE(RunUntil(
        [&] { return join.DoneSize() >= 4 * MiB || join.State() != OperationState::Running; }));
    ASSERT_EQ(join.State(), OperationState::Running);
    ASSERT_TRUE(WriteWholeFile(PartName(whole, 1), MakePattern(10, 34)));
    ASSERT_TRUE(RunToEnd(join));
    EXPECT_EQ(join.State(), OperationState::Failed);
    ExpectReported(shown, L"shrank.bin", ErrorText(L"Error Finish", ERROR_FILE_INVALID));
    join.Abort();
    EXPECT_EQ(FileSize(PartName(whole, 1)), 10);
    EXPECT_EQ(FileSize(PartName(whole, 2)), int64_t(4 * MiB));
}

TEST_F(ErrorTest, AShareRootGivesTheSectorSize) {
    // A path that does not start with a drive letter: its root is asked for the sector size.
    const std::wstring source = dir / L"unc.bin";
    ASSERT_TRUE(WriteWholeFile(source, MakePattern(2000, 15)));
    const std::wstring longForm = L"\\\\?\\" + source;
    RecordingDisplay shown;
    shown.partSize = 1500;
    SplitOperation split(shown);
    split.Start(Wide(longForm));
    ASSERT_EQ(split.State(), OperationState::Waiting) << Narrow(shown.statusBar);
    EXPECT_EQ(split.SectorSize(), 512u);
    split.OnCommand(kCommandSplit);
    ASSERT_TRUE(RunToEnd(split));
    ASSERT_EQ(split.State(), OperationState::Done) << Narrow(shown.statusBar);
    split.Abort();
    EXPECT_EQ(FileSize(PartName(source, 2)), 500);
}

} // namespace
} // namespace ops_tests

namespace ops_tests {
namespace {

// Offers a host folder to Wine as a drive letter through its mount manager, as Wine's own
// configuration tool adds drives; with no folder the letter goes away again. False where there
// is no such manager.
bool DefineWineDrive(wchar_t letter, const char* unixFolder) {
    struct UnixDrive {
        ULONG size;
        ULONG type;
        ULONG fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset;
        USHORT deviceOffset;
        USHORT labelOffset;
    };
    constexpr DWORD kDefineUnixDrive =
        CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    HANDLE manager =
        ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> request(sizeof(UnixDrive) + MAX_PATH, 0);
    auto* drive = reinterpret_cast<UnixDrive*>(request.data());
    const size_t length = unixFolder ? strlen(unixFolder) + 1 : 0;
    drive->size = static_cast<ULONG>(sizeof(UnixDrive) + length);
    drive->type = DRIVE_FIXED;
    drive->letter = letter;
    if (unixFolder) {
        drive->mountPointOffset = sizeof(UnixDrive);
        memcpy(request.data() + sizeof(UnixDrive), unixFolder, length);
    }
    DWORD returned = 0;
    BOOL done = ::DeviceIoControl(manager, kDefineUnixDrive, request.data(), drive->size, nullptr,
                                  0, &returned, nullptr);
    ::CloseHandle(manager);
    return done != FALSE;
}

// A drive that cannot tell its sector size: the join must not guess, and the drive appearing while
// the join lists its parts changes nothing: the first answer, a failure, is the one that counts.
TEST_F(ErrorTest, TheJoinReportsTheFirstFailureEvenWhenTheDriveAnswersLater) {
    ASSERT_EQ(::GetDriveTypeW(L"R:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    const std::string folder = "/tmp/brindlecot-r-" + std::to_string(::GetCurrentProcessId());
    const std::wstring hostFolder = L"Z:" + std::wstring(folder.begin(), folder.end());
    ASSERT_TRUE(::CreateDirectoryW(hostFolder.c_str(), nullptr));
    struct Removed {
        std::wstring path;
        ~Removed() { RemoveTree(path); }
    } removed{hostFolder};
    ASSERT_TRUE(WriteWholeFile(hostFolder + L"\\rest.bin.001", MakePattern(5000, 3)));
    StepOnStatusDisplay shown;
    bool defined = false;
    shown.at = L"Initializing";
    shown.then = [&] { defined = DefineWineDrive(L'r', folder.c_str()); };
    JoinOperation join(shown);
    join.Start(Wide(L"R:\\rest.bin.001"));
    if (!defined) {
        GTEST_SKIP() << "no mount manager to add a drive with";
    }
    EXPECT_TRUE(DefineWineDrive(L'r', nullptr));
    EXPECT_EQ(join.State(), OperationState::Failed);
    EXPECT_EQ(shown.status, L"Error occurred !");
    EXPECT_EQ(shown.statusBar, ErrorText(L"Error reading the sector size of R:\\rest.bin.001",
                                         ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(shown.actionId, kCommandExit);
    join.Abort();
    EXPECT_FALSE(FileExists(hostFolder + L"\\rest.bin"));
}

} // namespace
} // namespace ops_tests
