#include "EndToEndSupport.h"

#include "support/Screenshot.h"

#include <cstdio>

using namespace testing_support;

namespace e2e {
namespace {

// The README's main job: the real program splits a sample file in its window and joins it back,
// as a person would, telling what it does and how long it takes. Run by scripts/run.sh, which
// makes the sample (BRINDLECOT_SAMPLE) and checks the joined file against it afterwards.
class DISABLED_Demo : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t text[MAX_PATH] = {};
        if (!::GetEnvironmentVariableW(L"BRINDLECOT_SAMPLE", text, MAX_PATH))
            GTEST_SKIP() << "run through scripts/run.sh";
        sample = text;
        if (::GetEnvironmentVariableW(L"BRINDLECOT_SCREENSHOT_DIR", text, MAX_PATH))
            shots = text;
        RemoveSettingsKey();
    }
    void Shot(HWND window, const wchar_t* name) {
        if (!shots.empty())
            SaveWindowScreenshot(window, shots + L"\\" + name + L".bmp");
    }
    // Waits for the status line, catching one picture of the window while the data moves.
    double WaitDone(MainWindowRun& run, const std::wstring& done, const wchar_t* shotName) {
        DWORD start = ::GetTickCount();
        bool shot = false;
        while (run.Status() != done && ::GetTickCount() - start < 600000) {
            if (!shot && run.Caption().find(L" [") != std::wstring::npos &&
                ::GetTickCount() - start > 1000) {
                Shot(run.Window(), shotName);
                shot = true;
            }
            ::Sleep(20);
        }
        return (::GetTickCount() - start) / 1000.0;
    }
    std::wstring sample;
    std::wstring shots;
};

TEST_F(DISABLED_Demo, SplitAndJoinASample) {
    const int64_t size = FileSize(sample);
    ASSERT_GT(size, 0);
    const double mib = size / (1024.0 * 1024.0);
    const std::wstring name = sample.substr(sample.find_last_of(L'\\') + 1);

    printf("brindlecot /s \"%s\"\n", Narrow(sample).c_str());
    MainWindowRun split(L" /s \"" + sample + L"\"");
    ASSERT_TRUE(split.Found());
    printf("  window \"%s\": %s / %s\n", Narrow(split.Caption()).c_str(),
           Narrow(split.Status()).c_str(), Narrow(split.StatusBar()).c_str());
    split.TypePartSize(L"50", 2);
    printf("  typed 50 MB: %s\n", Narrow(split.StatusBar()).c_str());
    Shot(split.Window(), L"1-split-waiting");
    split.PressAction();
    double seconds = WaitDone(split, name + L" splited !", L"2-split-running");
    ASSERT_EQ(split.Status(), name + L" splited !");
    Shot(split.Window(), L"3-split-done");
    printf("  %s in %.2f s (%.1f MiB/s)\n", Narrow(split.Status()).c_str(), seconds, mib / seconds);
    split.Choose(kCommandExit);
    ASSERT_EQ(split.Program().WaitForExit(10000), 0u);

    // The join makes the whole file anew, so the sample steps aside.
    ASSERT_TRUE(::MoveFileW(sample.c_str(), (sample + L".orig").c_str()));
    printf("brindlecot /j \"%s\"\n", Narrow(PartName(sample, 1)).c_str());
    MainWindowRun join(L" /j \"" + PartName(sample, 1) + L"\"");
    ASSERT_TRUE(join.Found());
    seconds = WaitDone(join, name + L" joined !", L"4-join-running");
    ASSERT_EQ(join.Status(), name + L" joined !");
    Shot(join.Window(), L"5-join-done");
    printf("  %s in %.2f s (%.1f MiB/s)\n", Narrow(join.Status()).c_str(), seconds, mib / seconds);
    join.Close();
    ASSERT_EQ(join.Program().WaitForExit(10000), 0u);
    fflush(stdout);
}

} // namespace
} // namespace e2e
