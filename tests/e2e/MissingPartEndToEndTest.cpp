#include "ConsoleRun.h"
#include "EndToEndSupport.h"

#include "support/FolderPicker.h"

#include "app/ProgramInfo.h"

using namespace testing_support;

namespace e2e {
namespace {

constexpr size_t kPart = 256 * 1024;
constexpr int kNowhere = 3, kDamaged = 4; // a part's folder: none, or folder 1 with other bytes
constexpr int kRetry = -1, kCancel = -2;  // an answer, else the folder browsed to

// Nine parts and their list over three folders, joined from the first with the answers given at
// each prompt.
class MissingPartEndToEndTest : public CleanSettingsTest {};

TEST_F(MissingPartEndToEndTest, ASetSpreadOverFoldersIsJoinedByAnsweringThePrompt) {
    struct Case {
        int where[9];
        std::vector<std::pair<unsigned, int>> answers; // the part asked for, the answer
        std::wstring said;                             // the status bar's start on failure
        DWORD exitCode;
        size_t leftover; // the bytes of the output that an earlier join, ended from outside, left
        int recovery;    // the split's recovery data, in percent
        bool listed = true;
    } const cases[] = {
        {{0, 0, 0, 1, 1, 1, 2, 2, 2}, {{4, 1}, {7, 2}}, L"", 0, 6 * kPart, 0},
        {{0, 0, 0, 1, 1, 1, 1, 1, 1}, {{4, kRetry}}, L"", 0, 0, 0},
        {{0, 0, 0, 3, 3, 3, 3, 3, 3},
         {{4, kCancel}},
         L"Part trip.avi.004 is missing: #2 ",
         2,
         0,
         0},
        {{0, 0, 0, 1, 4, 1, 1, 1, 1}, {{4, 1}}, L"Part trip.avi.005 is damaged: #23 ", 3, 0, 0},
        // Recovery data that can't make up for a second disc leaves its parts to be asked for.
        {{0, 0, 0, 1, 1, 1, 1, 1, 1}, {{4, 1}}, L"", 0, 0, 10},
        {{0, 0, 0, 1, 1, 1, 1, 1, 1}, {{4, 1}}, L"", 0, 0, 10, false}, // the set alone names them
        // A disc lost, which the recovery data makes up for once the discs after it are found;
        // a damaged part on another disc, which it checks and rebuilds.
        {{0, 0, 0, 3, 3, 2, 2, 2, 2}, {{4, 2}}, L"trip.avi.004 and 1 more rebuilt; ", 0, 0, 20},
        {{0, 0, 0, 1, 4, 1, 1, 1, 1}, {{4, 1}}, L"trip.avi.005 rebuilt; ", 0, 0, 20},
    };
    ASSERT_TRUE(WriteDword(L"DeleteFiles", 1));
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.said));
        TempDir dir{L"e2e"};
        std::wstring at[3];
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(::CreateDirectoryW((at[i] = dir / std::to_wstring(i) + L"\\").c_str(), 0));
        const std::wstring whole = at[0] + L"trip.avi";
        const std::vector<uint8_t> all = MakePattern(9 * kPart - 1000, 31);
        ASSERT_TRUE(WriteWholeFile(whole, all));
        const std::wstring split = L"split --size 256K --recovery " + std::to_wstring(c.recovery);
        ASSERT_EQ(RunConsole(split + L" \"" + whole + L"\"").exitCode, 0u);
        ASSERT_TRUE(::DeleteFileW(whole.c_str()) &&
                    (c.listed || ::DeleteFileW((whole + L".sha256").c_str())));
        for (unsigned i = 1; i <= 9; ++i) {
            const int folder = c.where[i - 1] == kDamaged ? 1 : c.where[i - 1];
            const std::wstring part = PartName(whole, i);
            const std::wstring moved = PartName(at[folder % 3] + L"trip.avi", i);
            ASSERT_TRUE(folder == 0 ||
                        (folder == kNowhere ? ::DeleteFileW(part.c_str())
                                            : ::MoveFileW(part.c_str(), moved.c_str())));
            ASSERT_TRUE(c.where[i - 1] != kDamaged || WriteWholeFile(moved, MakePattern(kPart, 5)));
        }
        ASSERT_TRUE(WriteWholeFile(whole + L".partial", std::vector<uint8_t>(c.leftover, 1)));

        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        std::wstring asked = at[0];
        for (const auto& [part, answer] : c.answers) {
            const HWND prompt = run.Program().WaitForDialog(kProgramCaption, 60000);
            ASSERT_NE(prompt, nullptr) << part;
            const std::wstring name = L"trip.avi.00" + std::to_wstring(part);
            EXPECT_EQ(ControlText(prompt, IDC_MISSING_TEXT),
                      name + L" is not in " + asked.substr(0, asked.size() - 1) +
                          L". Insert the disc or stick that holds it, or find it.");
            // Retry: the first disc's parts make way for the second's, in the same drive.
            for (unsigned i = 1; answer == kRetry && i <= 9; ++i) {
                const std::wstring elsewhere = PartName(at[i < part ? 2 : 1] + L"trip.avi", i);
                ASSERT_TRUE(i < part ? ::MoveFileW(PartName(whole, i).c_str(), elsewhere.c_str())
                                     : ::MoveFileW(elsewhere.c_str(), PartName(whole, i).c_str()));
            }
            ::PostMessageW(prompt, WM_COMMAND,
                           answer == kRetry    ? IDRETRY
                           : answer == kCancel ? IDCANCEL
                                               : IDC_MISSING_BROWSE,
                           0);
            if (answer >= 0) {
                asked = at[answer];
                const HWND picker = run.Program().WaitForDialog((L"Find " + name).c_str(), 20000);
                EXPECT_TRUE(picker && ChooseInFolderPicker(picker, asked));
            }
            for (int i = 0; i < 600 && ::IsWindow(prompt); ++i)
                ::Sleep(50);
        }
        const std::wstring ending = c.exitCode == 0 ? L"trip.avi joined !" : L"Error occurred !";
        EXPECT_EQ(run.WaitForStatus(ending), ending);
        EXPECT_EQ(run.StatusBar().rfind(c.said, 0), 0u) << Narrow(run.StatusBar());
        // The parts are deleted where they still are; those that went with a disc are gone.
        EXPECT_EQ(run.StatusBar().find(L"Error deleting"), std::wstring::npos);
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), c.exitCode);
        EXPECT_EQ(Holds(whole, all), c.exitCode == 0);
        EXPECT_FALSE(FileExists(whole + L".partial"));
    }
}

} // namespace
} // namespace e2e
