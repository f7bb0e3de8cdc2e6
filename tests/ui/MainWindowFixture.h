#pragma once

#include "UiTestSupport.h"

#include "app/Application.h"
#include "app/Globals.h"
#include "app/ProgramInfo.h"
#include "app/Settings.h"
#include "io/CompletionDispatcher.h"
#include "io/ComputePool.h"
#include "io/IoThread.h"
#include "ops/SplitOperation.h"
#include "res/resource.h"
#include "ui/MainWindow.h"
#include "ui/ShellActions.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ui_tests {

// Answers the exit question with the given button and keeps what it showed.
struct ExitAnswer {
    MessageBoxSeen seen;
    std::unique_ptr<DialogWatcher> watcher;

    ExitAnswer(HWND mainWindow, int button) {
        watcher =
            std::make_unique<DialogWatcher>(kProgramCaption, mainWindow, [this, button](HWND box) {
                seen = ReadMessageBox(box);
                ::SendMessageW(::GetDlgItem(box, button), BM_CLICK, 0, 0);
            });
    }
    bool Wait(HWND mainWindow) {
        PumpDialog(mainWindow, [this] { return watcher->Done(); });
        return watcher->Found();
    }
};

// The process-wide main window on a clean settings key, with a recording operation as the
// current operation.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettingsKey();
        ASSERT_TRUE(gSettings.Open());
        TakeQuitCount();
    }
    void TearDown() override {
        if (gMainWindow.IsBound())
            gMainWindow.Destroy();
        PumpFor(10);
        gOperation.reset();
        gSettings.Close();
        TakeQuitCount();
    }

    static void SetMode(RunMode mode) {
        WideString path;
        gApplication.ParseCommandLine(mode == RunMode::Split ? L"brindlecot.exe /s C:\\file.bin"
                                      : mode == RunMode::Check
                                          ? L"brindlecot.exe /c C:\\file.bin.001"
                                          : L"brindlecot.exe /j C:\\file.bin.001",
                                      path);
    }

    // Makes the window in the given mode; shown unless told otherwise.
    RecordingOperation& Open(RunMode mode, bool show = true) {
        SetMode(mode);
        auto* operation = new RecordingOperation(gMainWindow);
        gOperation.reset(operation);
        EXPECT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr)) << ::GetLastError();
        if (show) {
            gMainWindow.ShowWindow(SW_SHOWNORMAL);
            Pump();
        }
        return *operation;
    }
    // Destroys the window and makes it again in the same mode (the operation stays).
    void Reopen(bool show = true) {
        gMainWindow.Destroy();
        Pump();
        EXPECT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr)) << ::GetLastError();
        if (show) {
            gMainWindow.ShowWindow(SW_SHOWNORMAL);
            Pump();
        }
    }

    static HWND Window() { return gMainWindow.Handle(); }
    static HWND Item(int id) { return ::GetDlgItem(Window(), id); }
    static void Pump(DWORD ms = 30) { PumpFor(ms, Window()); }
    static std::wstring Caption() { return TextOf(Window()); }
    static std::wstring Label() { return TextOf(Item(IDOK)); }
    static std::wstring Status() { return TextOf(Item(IDC_MAIN_STATUS)); }
    static std::wstring StatusBar() { return StatusBarText(Item(IDC_MAIN_STATUSBAR)); }
    static bool Greyed(UINT id) {
        return (::GetMenuState(gMainWindow.ActionMenu(), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    static std::wstring MenuText(int position) {
        wchar_t text[64] = {};
        ::GetMenuStringW(gMainWindow.ActionMenu(), position, text, 64, MF_BYPOSITION);
        return text;
    }
    static UINT DefaultItem() {
        return ::GetMenuDefaultItem(gMainWindow.ActionMenu(), FALSE, GMDI_USEDISABLED);
    }
};

// The real operations in the real window, with the I/O engine running on this thread.
class EngineWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(gDispatcher.Start());
        ASSERT_TRUE(gIoThread.Start());
    }
    void TearDown() override {
        if (gOperation)
            gOperation->Abort();
        MainWindowTest::TearDown();
        // The aborted transfers' completions come back before the engine stops.
        PumpFor(60);
        gComputePool.Stop();
        gDispatcher.Stop();
        gIoThread.Stop();
    }

    // Makes the window with a real operation of the given mode and starts it on `path`; the
    // window is not shown yet.
    template <class RealOperation> RealOperation& Launch(RunMode mode, const std::wstring& path) {
        SetMode(mode);
        auto* operation = new RealOperation(gMainWindow);
        gOperation.reset(operation);
        EXPECT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr)) << ::GetLastError();
        WideString wide;
        wide.Assign(path.c_str(), static_cast<uint32_t>(path.size()));
        operation->Start(wide);
        return *operation;
    }
    // The window as a launch makes it, its queue begun with `path`, and later launches' files.
    void BeginQueue(RunMode mode, const std::wstring& path) {
        SetMode(mode);
        EXPECT_TRUE(gMainWindow.CreateModeless(IDD_MAIN, nullptr)) << ::GetLastError();
        EXPECT_TRUE(gMainWindow.BeginQueue(mode, Wide(path)));
        gMainWindow.ShowWindow(SW_SHOWNORMAL);
        Pump();
    }
    static bool TakeWork(RunMode mode, const std::wstring& path) {
        return gMainWindow.TakeWork(mode, Wide(path));
    }
    static WideString Wide(const std::wstring& text) {
        WideString wide;
        wide.Assign(text.c_str(), static_cast<uint32_t>(text.size()));
        return wide;
    }
    static bool PumpUntilQueueEnded() {
        const WorkQueue& queue = gMainWindow.Queue();
        return PumpDialog(
            Window(), [&] { return queue.Current() < 0 && !queue.HasWaiting(); }, 60000);
    }
    // A split of `path`, shown and waiting for its Split command.
    SplitOperation& StartSplit(const std::wstring& path) {
        SplitOperation& split = Launch<SplitOperation>(RunMode::Split, path);
        gMainWindow.ShowWindow(SW_SHOWNORMAL);
        Pump();
        return split;
    }
};

// The same with the shell's real parsing, and the selections Explorer would be asked for
// counted instead: Explorer must never start from a test.
class ShellWindowTest : public EngineWindowTest {
protected:
    void SetUp() override {
        EngineWindowTest::SetUp();
        ::CoInitialize(nullptr);
        InitShellEntryPoints();
        gOpenFolderAndSelectItems = RecordSelection;
        selections = 0;
    }
    void TearDown() override {
        EngineWindowTest::TearDown();
        gOpenFolderAndSelectItems = nullptr;
        gParseDisplayName = nullptr;
        ::CoUninitialize();
    }
    static HRESULT WINAPI RecordSelection(PCIDLIST_ABSOLUTE, UINT, PCUITEMID_CHILD_ARRAY, DWORD) {
        ++selections;
        return S_OK;
    }
    static inline int selections = 0;
};

} // namespace ui_tests
