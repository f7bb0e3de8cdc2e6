#include "OpsTestSupport.h"
#include "support/SettingsValues.h"
#include "support/SmallVolume.h"

#include "ops/JoinOperation.h"
#include "ops/SplitOperation.h"

#include <algorithm>

using namespace testing_support;

namespace ops_tests {
namespace {

constexpr uint64_t kSize = 300000;
constexpr uint64_t kPart = 100000;

std::wstring operator/(const std::wstring& folder, const wchar_t* name) {
    return folder + L"\\" + name;
}

// The source in one folder, the parts in a second, the joined file in a third.
class OutputFolderTest : public OperationTest {
protected:
    void SetUp() override {
        OperationTest::SetUp();
        SetTuning(64 * KiB, 4);
        for (const std::wstring* folder : {&source, &parts, &joined})
            ASSERT_TRUE(::CreateDirectoryW(folder->c_str(), nullptr));
        data = MakePattern(kSize, 41);
        ASSERT_TRUE(WriteWholeFile(source / L"trip.avi", data));
    }

    std::wstring Dir(const wchar_t* name) const { return dir / name; }

    std::wstring source = Dir(L"source");
    std::wstring parts = Dir(L"parts");
    std::wstring joined = Dir(L"joined");
    std::vector<uint8_t> data;
};

TEST_F(OutputFolderTest, PartsAndSideFilesGoTogetherAndTheJoinWritesWhereAsked) {
    WriteDword(L"WriteChecksums", 1);
    WriteDword(L"WriteJoinScript", 1);
    WriteDword(L"RecoveryPercent", 20);
    RecordingDisplay shown;
    ASSERT_EQ(Split(source / L"trip.avi", kPart, shown, parts), OperationState::Done)
        << Narrow(shown.statusBar);
    EXPECT_EQ(FilesIn(source + L"\\"), std::vector<std::wstring>{L"trip.avi"});
    const std::vector<std::wstring> made = FilesIn(parts + L"\\");
    for (const wchar_t* name : {L"trip.avi.001", L"trip.avi.003", L"trip.avi.sha256",
                                L"trip.avi.join.cmd", L"trip.avi.join.txt", L"trip.avi.par2"})
        EXPECT_NE(std::find(made.begin(), made.end(), name), made.end()) << Narrow(name);
    EXPECT_TRUE(PartsHold(parts / L"trip.avi", 3, data));
    EXPECT_EQ(ReadText(parts / L"trip.avi.sha256"),
              ExpectedChecksumList(parts / L"trip.avi", data, kPart));

    // Checked by the list and the recovery set beside the parts, written elsewhere.
    RecordingDisplay join;
    ASSERT_EQ(Join(parts / L"trip.avi", join, 1, nullptr, joined), OperationState::Done)
        << Narrow(join.statusBar);
    EXPECT_TRUE(Holds(joined / L"trip.avi", data));
    EXPECT_EQ(FilesIn(joined + L"\\"), std::vector<std::wstring>{L"trip.avi"});
    EXPECT_EQ(FilesIn(parts + L"\\"), made);
    EXPECT_NE(join.statusBar.find(joined / L"trip.avi"), std::wstring::npos)
        << Narrow(join.statusBar);
}

// A folder given with its closing backslash, or relative to the current one, names the same.
TEST_F(OutputFolderTest, TheFolderMayBeGivenInOtherForms) {
    WriteDword(L"WriteChecksums", 0);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    for (const std::wstring& folder : {parts + L"\\", std::wstring(L"parts")}) {
        SCOPED_TRACE(Narrow(folder));
        EmptyFolder(parts + L"\\");
        RecordingDisplay shown;
        ASSERT_EQ(Split(source / L"trip.avi", kPart, shown, folder), OperationState::Done)
            << Narrow(shown.statusBar);
        EXPECT_TRUE(PartsHold(parts / L"trip.avi", 3, data));
    }
}

// Whatever lies in the chosen folder under the names the split would make refuses it there,
// before anything is made; beside the source the same names would not matter.
TEST_F(OutputFolderTest, NamesTakenInTheFolderRefuseTheSplit) {
    WriteDword(L"WriteChecksums", 1);
    for (const wchar_t* taken :
         {L"trip.avi.002", L"trip.avi.007", L"trip.avi.par2", L"trip.avi.vol0+1.par2"}) {
        SCOPED_TRACE(Narrow(taken));
        EmptyFolder(parts + L"\\");
        ASSERT_TRUE(WriteText(parts / taken, "somebody's"));
        RecordingDisplay shown;
        EXPECT_EQ(Split(source / L"trip.avi", kPart, shown, parts), OperationState::Failed);
        EXPECT_EQ(shown.statusBar,
                  ErrorText(L"Error opening " + (parts / taken), ERROR_FILE_EXISTS));
        EXPECT_EQ(FilesIn(parts + L"\\"), std::vector<std::wstring>{taken});
        EXPECT_EQ(ReadText(parts / taken), "somebody's");
    }
}

TEST_F(OutputFolderTest, AJoinDoesNotReplaceAFileInTheFolder) {
    RecordingDisplay shown;
    ASSERT_EQ(Split(source / L"trip.avi", kPart, shown, parts), OperationState::Done);
    ASSERT_TRUE(WriteText(joined / L"trip.avi", "older"));
    RecordingDisplay join;
    EXPECT_EQ(Join(parts / L"trip.avi", join, 2, nullptr, joined), OperationState::Failed);
    EXPECT_EQ(join.statusBar, ErrorText(L"Error opening trip.avi", ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadText(joined / L"trip.avi"), "older");
    EXPECT_TRUE(PartsHold(parts / L"trip.avi", 3, data));
}

// A folder that is not there, or a file, refuses the work at its start, as refused.
TEST_F(OutputFolderTest, NoFolderThereRefusesBeforeWork) {
    RecordingDisplay made;
    ASSERT_EQ(Split(source / L"trip.avi", kPart, made, parts), OperationState::Done);
    const std::wstring missing = Dir(L"gone");
    const std::wstring file = parts / L"trip.avi.001";
    struct Row {
        std::wstring folder;
        std::wstring text;
    };
    const Row rows[] = {
        {missing, ErrorText(L"Error opening the folder " + missing, ERROR_FILE_NOT_FOUND)},
        {file, ErrorText(L"Error: " + file + L" is not a folder", ERROR_DIRECTORY)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.folder));
        RecordingDisplay shown;
        shown.partSize = kPart;
        SplitOperation split(shown);
        split.SetOutputFolder(Wide(row.folder));
        split.Start(Wide(source / L"trip.avi"));
        EXPECT_EQ(split.State(), OperationState::Failed);
        EXPECT_EQ(split.Outcome(), OperationOutcome::Refused);
        EXPECT_EQ(shown.statusBar, row.text);
        split.Abort();

        RecordingDisplay join;
        OperationOutcome outcome = OperationOutcome::Done;
        EXPECT_EQ(Join(parts / L"trip.avi", join, 1, &outcome, row.folder), OperationState::Failed);
        EXPECT_EQ(outcome, OperationOutcome::Refused);
        EXPECT_EQ(join.statusBar, row.text);
    }
    EXPECT_FALSE(FileExists(missing));
    EXPECT_EQ(FilesIn(joined + L"\\"), std::vector<std::wstring>{});
    EXPECT_TRUE(PartsHold(parts / L"trip.avi", 3, data));
}

} // namespace
} // namespace ops_tests
