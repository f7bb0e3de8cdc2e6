#include "EndToEndSupport.h"

#include "support/FolderPickerDriver.h"

#include "app/ProgramInfo.h"

#include <iterator>
#include <utility>

using namespace testing_support;

namespace e2e {
namespace {

constexpr unsigned kParts = 9;
constexpr size_t kPartSize = 256 * 1024;
constexpr int kNowhere = 3, kDamaged = 4; // a part's folder: none, or folder 1 with other bytes
constexpr int kRetry = -1, kCancel = -2;  // an answer, else the folder browsed to

// A set of nine parts and its list, the parts spread over three folders, joined from the first
// with the answers given at each prompt; Retry comes once the parts of folder 1 are moved into
// the first, as a disc swapped in the same drive.
TEST(MissingPartEndToEndTest, ASetSpreadOverFoldersIsJoinedByAnsweringThePrompt) {
    struct Case {
        int where[kParts];
        std::vector<std::pair<unsigned, int>> answers; // the part asked for, the answer
        std::wstring said;                             // the status bar's start on failure
        DWORD exitCode;
    };
    const Case cases[] = {
        {{0, 0, 0, 1, 1, 1, 2, 2, 2}, {{4, 1}, {7, 2}}, L"", 0},
        {{0, 0, 0, 1, 1, 1, 1, 1, 1}, {{4, kRetry}}, L"", 0},
        {{0, 0, 0, 3, 3, 3, 3, 3, 3}, {{4, kCancel}}, L"Part trip.avi.004 is missing: #2 ", 2},
        {{0, 0, 0, 1, 4, 1, 1, 1, 1}, {{4, 1}}, L"Part trip.avi.005 is damaged: #23 ", 3},
    };
    RemoveSettingsKey();
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.said));
        TempDir dir{L"e2e"};
        std::wstring folders[3];
        for (int i = 0; i < 3; ++i) {
            folders[i] = dir / (L"disc" + std::to_wstring(i + 1));
            ASSERT_TRUE(::CreateDirectoryW(folders[i].c_str(), nullptr));
        }
        const std::wstring whole = folders[0] + L"\\trip.avi";
        const std::vector<uint8_t> all = MakePattern(kParts * kPartSize - 1000, 31);
        for (unsigned i = 0; i < kParts; ++i) {
            const size_t end = std::min(all.size(), (i + 1) * kPartSize);
            std::vector<uint8_t> bytes(all.begin() + i * kPartSize, all.begin() + end);
            if (c.where[i] == kDamaged)
                bytes = MakePattern(bytes.size(), 5);
            const int folder = c.where[i] == kDamaged ? 1 : c.where[i];
            ASSERT_TRUE(folder == kNowhere ||
                        WriteWholeFile(PartName(folders[folder] + L"\\trip.avi", i + 1), bytes));
        }
        ASSERT_TRUE(WriteText(whole + L".sha256", ExpectedChecksumList(whole, all, kPartSize)));

        MainWindowRun run(L" /j \"" + PartName(whole, 1) + L"\"");
        ASSERT_TRUE(run.Found());
        std::wstring asked = folders[0];
        for (const auto& [part, answer] : c.answers) {
            const HWND prompt = run.Program().WaitForDialog(kProgramCaption, 60000);
            ASSERT_NE(prompt, nullptr) << part;
            const std::wstring name = L"trip.avi.00" + std::to_wstring(part);
            EXPECT_EQ(ControlText(prompt, IDC_MISSING_TEXT),
                      name + L" is not in " + asked +
                          L". Insert the disc or stick that holds it, or find it.");
            for (unsigned i = part; answer == kRetry && i <= kParts; ++i)
                ASSERT_TRUE(::MoveFileW(PartName(folders[1] + L"\\trip.avi", i).c_str(),
                                        PartName(whole, i).c_str()));
            const int button = answer == kRetry    ? IDRETRY
                               : answer == kCancel ? IDCANCEL
                                                   : IDC_MISSING_BROWSE;
            ::PostMessageW(prompt, WM_COMMAND, button, 0);
            if (button == IDC_MISSING_BROWSE) {
                EXPECT_TRUE(
                    PickFolderInPicker(run.Program(), (L"Find " + name).c_str(), folders[answer]));
                asked = folders[answer];
            }
            for (int i = 0; i < 600 && ::IsWindow(prompt); ++i)
                ::Sleep(50);
        }
        const std::wstring ending = c.exitCode == 0 ? L"trip.avi joined !" : L"Error occurred !";
        EXPECT_EQ(run.WaitForStatus(ending), ending);
        EXPECT_EQ(run.StatusBar().rfind(c.said, 0), 0u) << Narrow(run.StatusBar());
        run.Close();
        EXPECT_EQ(run.Program().WaitForExit(10000), c.exitCode);
        EXPECT_EQ(Holds(whole, all), c.exitCode == 0);
        EXPECT_FALSE(FileExists(whole + L".partial"));
    }
    RemoveSettingsKey();
}

} // namespace
} // namespace e2e
