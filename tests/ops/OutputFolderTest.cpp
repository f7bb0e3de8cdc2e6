#include "OpsTestSupport.h"
#include "support/SmallVolume.h"

using namespace testing_support;

namespace ops_tests {
namespace {

class OutputFolderTest : public OperationTest {};

// The parts and every side file go to the chosen folder, where a name the split would make
// refuses it before anything is made; the join reads them there, checked by the list beside
// them, and writes to a third folder.
TEST_F(OutputFolderTest, SideFilesGoWithThePartsAndTheJoinWritesWhereAsked) {
    WriteDword(L"WriteJoinScript", 1);
    WriteDword(L"RecoveryPercent", 20);
    const std::wstring source = dir / L"trip.avi", parts = dir / L"parts", out = dir / L"out";
    ASSERT_TRUE(::CreateDirectoryW(parts.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    const std::vector<uint8_t> data = MakePattern(300000, 41);
    ASSERT_TRUE(WriteWholeFile(source, data));
    for (const std::wstring taken : {L"trip.avi.007", L"trip.avi.vol0+1.par2", L""}) {
        RecordingDisplay shown;
        ASSERT_TRUE(taken.empty() || WriteText(parts + L"\\" + taken, "x"));
        EXPECT_EQ(Split(source, 100000, shown, parts),
                  taken.empty() ? OperationState::Done : OperationState::Failed);
        EXPECT_TRUE(taken.empty() || FilesIn(parts + L"\\") == std::vector<std::wstring>{taken});
        ::DeleteFileW((parts + L"\\" + taken).c_str());
    }
    EXPECT_EQ(
        FilesIn(parts + L"\\"),
        (std::vector<std::wstring>{L"trip.avi.001", L"trip.avi.002", L"trip.avi.003",
                                   L"trip.avi.join.cmd", L"trip.avi.join.txt", L"trip.avi.par2",
                                   L"trip.avi.sha256", L"trip.avi.vol0+1.par2"}));
    EXPECT_TRUE(PartsHold(parts + L"\\trip.avi", 3, data));
    EXPECT_EQ(ReadText(parts + L"\\trip.avi.sha256"),
              ExpectedChecksumList(parts + L"\\trip.avi", data, 100000));
    RecordingDisplay joined;
    ASSERT_EQ(Join(parts + L"\\trip.avi", joined, 1, nullptr, out), OperationState::Done);
    EXPECT_EQ(joined.statusBar, L"SHA-256 verified: " + out + L"\\trip.avi");
    EXPECT_TRUE(Holds(out + L"\\trip.avi", data));
    EXPECT_EQ(FilesIn(out + L"\\"), std::vector<std::wstring>{L"trip.avi"});
    EXPECT_EQ(FilesIn(dir.Path() + L"\\"), std::vector<std::wstring>{L"trip.avi"});
}

} // namespace
} // namespace ops_tests
