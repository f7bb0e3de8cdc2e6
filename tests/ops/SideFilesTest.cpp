#include "OpsTestSupport.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "ops/SplitOperation.h"

using namespace testing_support;
using namespace ops_tests;

namespace {

class SideFilesTest : public OperationTest {
protected:
    ShellRecorder shell;
};

} // namespace

// The checksum list, the join scripts and the recovery set, all asked for: made before any part
// and all gone with a split aborted as it began or refused by a name one of them takes; once the
// split is done, selected after the parts in the order they were made.
TEST_F(SideFilesTest, AllKindsLiveAlike) {
    WriteDword(L"WriteChecksums", 1);
    WriteDword(L"WriteJoinScript", 1);
    WriteDword(L"RecoveryPercent", 20);
    WriteDword(L"SelectFiles", 1);
    const std::wstring source = dir / L"s.bin";
    ASSERT_TRUE(WritePatternFile(source, 3 * MiB, 3));
    std::vector<std::wstring> made = {PartName(source, 1), PartName(source, 2),
                                      PartName(source, 3)};
    for (const wchar_t* tail : {L".sha256", L".join.cmd", L".join.txt", L".par2", L".vol0+1.par2"})
        made.push_back(source + tail);
    const struct {
        const wchar_t* taken;
        OperationState at; // when the split is aborted
    } cases[] = {{L".join.txt", OperationState::Failed},
                 {nullptr, OperationState::Running},
                 {nullptr, OperationState::Done}};
    for (const auto& c : cases) {
        const std::wstring taken = c.taken ? source + c.taken : L"";
        ASSERT_TRUE(!c.taken || WriteText(taken, "mine"));
        RecordingDisplay shown;
        shown.partSize = MiB;
        SplitOperation split(shown);
        split.Start(Wide(source));
        split.OnCommand(kCommandSplit);
        ASSERT_TRUE(c.at != OperationState::Done || RunToEnd(split));
        ASSERT_EQ(split.State(), c.at) << Narrow(shown.statusBar);
        if (c.taken) {
            EXPECT_EQ(shown.statusBar, ErrorText(L"Error opening " + taken, ERROR_FILE_EXISTS));
        } else if (c.at == OperationState::Running) {
            EXPECT_TRUE(FileExists(made.back()));
        }
        split.Abort();
        std::vector<std::wstring> left = {L"s.bin"};
        if (c.taken)
            left.push_back(L"s.bin.join.txt");
        if (c.at == OperationState::Done) {
            EXPECT_EQ(ShellRecorder::selected, made);
            continue;
        }
        EXPECT_EQ(FilesIn(dir.Path() + L"\\"), left);
        EXPECT_TRUE(!c.taken || (ReadText(taken) == "mine" && ::DeleteFileW(taken.c_str())));
    }
}
